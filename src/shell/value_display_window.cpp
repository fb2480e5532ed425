#include "shell/value_display_window.h"

#include <QCloseEvent>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>

#include "shell/key_mapping.h"

namespace dravolin::shell {

namespace {

struct Row {
  const char* title;
  int valueLabel;  // number of the value label (Label1 .. Label37)
  int left;        // value label's left edge; for right-edge rows, the right edge
  int top;
  int width;
  bool rightEdge;
  const char* initial;
};

constexpr Row kRows[] = {
    {"Speed", 1, 144, 16, 84, false, "0 km/h"},
    {"Accelaration", 6, 144, 32, 84, false, "0 km/h/s"},
    {"Slope", 27, 144, 56, 84, false, "0 Permil"},
    {"Wheel statement", 23, 152, 79, 77, false, "Normal"},
    {"Power", 7, 152, 96, 76, false, "0 N"},
    {"Resistance", 25, 152, 112, 76, false, "0 N"},
    {"Adhesive coefficient", 8, 168, 128, 60, false, "0"},
    {"Adhesive limit(P)", 9, 152, 144, 76, false, "0 N"},
    {"Adhesive limit(B)", 20, 152, 160, 76, false, "0 N"},
    {"BC Pressure", 2, 360, 16, 60, false, "0 kPa"},
    {"SAP Pressure", 3, 360, 32, 60, false, "0 kPa"},
    {"ER Pressure", 4, 360, 48, 60, false, "0 kPa"},
    {"MR Pressure", 5, 360, 64, 60, false, "0 kPa"},
    {"Frame", 30, 528, 16, 60, false, "0"},
    {"Projected", 31, 528, 32, 60, false, "0 km/h"},
    {"Next station", 37, 588, 55, 80, true, "0"},
    {"Remain", 33, 588, 72, 80, true, "0"},
    {"Total", 35, 588, 88, 80, true, "0"},
};

constexpr int kRowHeight = 14;

}  // namespace

ValueDisplayWindow::ValueDisplayWindow(QWidget* parent) : QWidget(parent, Qt::Dialog) {
  setWindowTitle("Value Display");
  setFixedSize(kWidth, kHeight);
  QFont f = font();
  f.setPixelSize(12);
  setFont(f);
  for (const Row& r : kRows) {
    const int left = r.rightEdge ? r.left - r.width : r.left;
    auto* value = new QLabel(r.initial, this);
    value->setGeometry(left, r.top, r.width, kRowHeight);
    value->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    values_.at(static_cast<std::size_t>(r.valueLabel)) = value;
    // The title fills its column up to a few pixels left of its value.
    auto* title = new QLabel(r.title, this);
    const int titleLeft = left < 300 ? 2 : left < 500 ? 236 : 428;
    title->setGeometry(titleLeft, r.top, left - 4 - titleLeft, kRowHeight);
    title->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  }
  auto* scale = new QLabel("Brake               0               Power", this);
  scale->setGeometry(248, 112, 265, kRowHeight);
  for (int i = 0; i < 3; ++i) {
    auto* bar = new QProgressBar(this);
    bar->setGeometry(248, 130 + 16 * i, 265, 9);
    bar->setRange(cab::ValueDisplay::kGaugeMin, cab::ValueDisplay::kGaugeMax);
    bar->setValue(i == 0 ? 0 : cab::ValueDisplay::kGaugeMin);
    bar->setTextVisible(false);
    gauges_.at(static_cast<std::size_t>(i)) = bar;
  }
  move(188, 573);
  setAttribute(Qt::WA_InputMethodEnabled, true);
}

QLabel* ValueDisplayWindow::valueLabel(int n) const {
  return values_.at(static_cast<std::size_t>(n));
}

void ValueDisplayWindow::showValues(const cab::ValueDisplay& v) {
  const QString caption = QString::fromStdString(v.caption);
  if (windowTitle() != caption) setWindowTitle(caption);
  if (v.visible) {
    const std::pair<int, const std::string*> texts[] = {
        {1, &v.Speed},      {6, &v.Acceleration}, {27, &v.Slope},     {23, &v.Wheel},
        {7, &v.Power},      {25, &v.Resistance},  {8, &v.Adhesion},   {9, &v.AdhesionP},
        {20, &v.AdhesionB}, {2, &v.BC},           {3, &v.SAP},        {4, &v.ER},
        {5, &v.MR},         {30, &v.Frame},       {31, &v.Projected}, {37, &v.NextStation},
        {33, &v.Remain},    {35, &v.Total}};
    for (const auto& [n, text] : texts) valueLabel(n)->setText(QString::fromStdString(*text));
    gauge(1)->setValue(v.Gauge1);
    gauge(2)->setValue(v.Gauge2);
    gauge(3)->setValue(v.Gauge3);
    ++refreshes_;
  }
  if (v.visible != isVisible()) setVisible(v.visible);
}

bool ValueDisplayWindow::event(QEvent* event) {
  // Tab is a typed character for the driving window, not a move of the focus.
  if (isTabKey(*event)) {
    keyPressEvent(static_cast<QKeyEvent*>(event));
    return true;
  }
  return QWidget::event(event);
}

void ValueDisplayWindow::keyPressEvent(QKeyEvent* event) {
  if (onKey) onKey(event);
}

void ValueDisplayWindow::inputMethodEvent(QInputMethodEvent* event) {
  if (!event->commitString().isEmpty()) {
    QKeyEvent typed(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, event->commitString());
    keyPressEvent(&typed);
  }
  event->accept();
}

void ValueDisplayWindow::closeEvent(QCloseEvent* event) {
  event->ignore();
  hide();
  if (onClosed) onClosed();
}

}  // namespace dravolin::shell
