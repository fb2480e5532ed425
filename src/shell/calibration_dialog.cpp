#include "shell/calibration_dialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "input/device_mapper.h"

namespace dravolin::shell {

namespace {

QString qs(std::string_view utf8) {
  return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

}  // namespace

CalibrationDialog::CalibrationDialog(platform::InputDevices& devices,
                                     const input::ProfileLibrary& profiles,
                                     std::filesystem::path calibrationFolder, QWidget* parent)
    : QDialog(parent),
      devices_(devices),
      profiles_(profiles),
      folder_(std::move(calibrationFolder)) {
  setWindowTitle("USBコントローラーの設定");
  auto* layout = new QVBoxLayout(this);
  auto* form = new QFormLayout;
  device_ = new QComboBox(this);
  device_->setObjectName("device");
  profile_ = new QComboBox(this);
  profile_->setObjectName("profile");
  for (const input::ControllerProfile& p : profiles_.profiles()) {
    profile_->addItem(qs(p.name), qs(p.id));
  }
  form->addRow("コントローラー", device_);
  form->addRow("プロファイル", profile_);
  layout->addLayout(form);

  auto* live = new QGroupBox("現在の状態", this);
  axesLayout_ = new QVBoxLayout(live);
  buttons_ = new QLabel(live);
  buttons_->setObjectName("buttons");
  axesLayout_->addWidget(buttons_);
  layout->addWidget(live);

  auto* walk = new QGroupBox("校正", this);
  auto* walkLayout = new QVBoxLayout(walk);
  prompt_ = new QLabel("ハンドルの各位置を順に測ります。「校正を始める」を押してください。", walk);
  prompt_->setObjectName("prompt");
  prompt_->setWordWrap(true);
  walkLayout->addWidget(prompt_);
  auto* row = new QHBoxLayout;
  start_ = new QPushButton("校正を始める", walk);
  start_->setObjectName("start");
  next_ = new QPushButton("次へ", walk);
  next_->setObjectName("next");
  next_->setEnabled(false);
  row->addWidget(start_);
  row->addWidget(next_);
  row->addStretch();
  walkLayout->addLayout(row);
  layout->addWidget(walk);

  auto* close = new QDialogButtonBox(QDialogButtonBox::Close, this);
  close->button(QDialogButtonBox::Close)->setText("閉じる");
  layout->addWidget(close);
  connect(close, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(start_, &QPushButton::clicked, this, &CalibrationDialog::startWalk);
  connect(next_, &QPushButton::clicked, this, &CalibrationDialog::nextStep);
  connect(device_, &QComboBox::currentIndexChanged, this, &CalibrationDialog::deviceChanged);
  connect(profile_, &QComboBox::currentIndexChanged, this, &CalibrationDialog::profileChanged);

  for (const platform::InputDeviceInfo& d : devices_.devices()) {
    device_->addItem(qs(d.name), d.id);
  }
  if (device_->count() == 0) {
    device_->addItem("（コントローラーがつながっていません）", -1);
    start_->setEnabled(false);
  }
  deviceChanged();
  live_.setInterval(kLivePeriodMs);
  connect(&live_, &QTimer::timeout, this, &CalibrationDialog::refresh);
  live_.start();
  setMinimumWidth(460);
}

int CalibrationDialog::deviceId() const { return device_->currentData().toInt(); }

const input::ControllerProfile* CalibrationDialog::selectedProfile() const {
  return profiles_.find(profile_->currentData().toString().toStdString());
}

void CalibrationDialog::deviceChanged() {
  for (QProgressBar* b : axisBars_) delete b;
  for (QLabel* l : axisLabels_) delete l;
  axisBars_.clear();
  axisLabels_.clear();
  steps_.clear();
  next_->setEnabled(false);
  for (const platform::InputDeviceInfo& d : devices_.devices()) {
    if (d.id != deviceId()) continue;
    const input::DeviceIdentity identity{d.guid, d.name, d.gamepad, d.axes, d.buttons};
    const int index = profile_->findData(qs(profiles_.choose(identity).id));
    if (index >= 0) profile_->setCurrentIndex(index);
    for (int a = 0; a < d.axes && a < input::kMaxAxes; ++a) {
      auto* label = new QLabel(this);
      auto* bar = new QProgressBar(this);
      bar->setRange(input::kAxisMin, input::kAxisMax);
      bar->setTextVisible(false);
      bar->setMaximumHeight(12);
      axesLayout_->insertWidget(axesLayout_->count() - 1, label);
      axesLayout_->insertWidget(axesLayout_->count() - 1, bar);
      axisLabels_.push_back(label);
      axisBars_.push_back(bar);
    }
  }
  refresh();
}

void CalibrationDialog::profileChanged() {
  steps_.clear();
  next_->setEnabled(false);
  refresh();
}

void CalibrationDialog::refresh() {
  const std::vector<int> axes = devices_.axisValues(deviceId());
  const std::vector<bool> buttons = devices_.buttonStates(deviceId());
  const input::ControllerProfile* profile = selectedProfile();
  std::optional<input::DeviceMapper> mapper;
  if (profile != nullptr) {
    mapper.emplace(*profile);
    mapper->settle(axes, buttons);
  }
  for (std::size_t a = 0; a < axisBars_.size() && a < axes.size(); ++a) {
    axisBars_[a]->setValue(axes[a]);
    const int position = mapper ? mapper->axisPosition(static_cast<int>(a)) : 0;
    QString text = QString("軸 %1: %2").arg(a).arg(axes[a]);
    if (position != 0) text += "  → " + qs(input::commandName(position));
    axisLabels_[a]->setText(text);
  }
  QStringList pressed;
  for (std::size_t b = 0; b < buttons.size(); ++b) {
    if (!buttons[b]) continue;
    QString text = QString::number(b);
    if (profile != nullptr) {
      for (const input::ButtonCommand& c : profile->buttons) {
        if (c.button == static_cast<int>(b)) text += "(" + qs(input::commandName(c.line)) + ")";
      }
    }
    pressed << text;
  }
  buttons_->setText("押されているボタン: " + (pressed.isEmpty() ? "なし" : pressed.join(" ")));
}

void CalibrationDialog::startWalk() {
  const input::ControllerProfile* profile = selectedProfile();
  steps_.clear();
  step_ = 0;
  if (profile == nullptr) return;
  for (const input::AxisMap& a : profile->axes) {
    for (const input::NotchRange& n : a.notches) steps_.push_back({a.axis, n.line});
  }
  if (steps_.empty()) {
    prompt_->setText("このプロファイルには校正する軸がありません。");
    return;
  }
  calibration_ = {};
  for (const platform::InputDeviceInfo& d : devices_.devices()) {
    if (d.id == deviceId()) {
      calibration_.guid = d.guid;
      calibration_.deviceName = d.name;
    }
  }
  calibration_.profileId = profile->id;
  next_->setEnabled(true);
  next_->setFocus();
  const Step& s = steps_.front();
  prompt_->setText(QString("ハンドルを %1 に合わせて「次へ」を押してください（軸 %2、1/%3）")
                       .arg(qs(input::commandName(s.line)))
                       .arg(s.axis)
                       .arg(steps_.size()));
}

void CalibrationDialog::nextStep() {
  if (step_ >= steps_.size()) return;
  const std::vector<int> axes = devices_.axisValues(deviceId());
  const Step& s = steps_[step_];
  if (s.axis >= static_cast<int>(axes.size())) {
    prompt_->setText("コントローラーが外れました。校正をやめました。");
    next_->setEnabled(false);
    return;
  }
  const int raw = axes[static_cast<std::size_t>(s.axis)];
  for (const input::CalibrationPoint& p : calibration_.points) {
    if (p.axis == s.axis && p.raw == raw) {
      prompt_->setText(
          QString("ハンドルが %1 と同じ位置です。%2 に合わせて「次へ」を押してください")
              .arg(qs(input::commandName(p.line)))
              .arg(qs(input::commandName(s.line))));
      return;
    }
  }
  calibration_.points.push_back({s.axis, s.line, raw});
  if (++step_ < steps_.size()) {
    const Step& n = steps_[step_];
    prompt_->setText(QString("ハンドルを %1 に合わせて「次へ」を押してください（軸 %2、%3/%4）")
                         .arg(qs(input::commandName(n.line)))
                         .arg(n.axis)
                         .arg(step_ + 1)
                         .arg(steps_.size()));
    return;
  }
  next_->setEnabled(false);
  const std::string error = input::saveCalibration(calibration_, folder_);
  if (!error.empty()) {
    prompt_->setText("保存できませんでした: " + qs(error));
    return;
  }
  prompt_->setText("校正を保存しました。次からもこの校正を使います。");
  Q_EMIT saved(deviceId());
}

}  // namespace dravolin::shell
