// The driving window in full screen: the cab widget moves into a black frame that fills the
// screen and keeps it centred, shown at the largest whole factor that fits, so that every
// picture is enlarged by whole pixels and nothing blurs; the line video is scaled afresh to the
// pixels of that factor.
#include <QLayout>
#include <QMenuBar>
#include <QPainter>
#include <QScreen>

#include "shell/cab_widget.h"
#include "shell/driving_window.h"
#include "shell/screen_fit.h"

namespace dravolin::shell {

namespace {

class FullScreenFrame final : public QWidget {
 public:
  FullScreenFrame(QWidget* cab, QWidget* parent) : QWidget(parent), cab_(cab) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    cab_->setParent(this);
    cab_->show();
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    p.fillRect(rect(), Qt::black);
  }
  void resizeEvent(QResizeEvent*) override { cab_->setGeometry(centredIn(cab_->size(), rect())); }

 private:
  QWidget* cab_;
};

}  // namespace

void DrivingWindow::setCabFullScreen(bool on) {
  if (on == cabFullScreen()) return;
  if (on) {
    windowedPosition_ = geometry().topLeft();  // the client area's, which full screen keeps
    const QScreen* s = screen();
    const QSize area = s != nullptr ? s->geometry().size() : size();
    const int factor = fullScreenFactor(area, QSize(CabWidget::kWidth, CabWidget::kHeight));
    takeCentralWidget();  // the cab, kept
    cab_->setScale(factor);
    placeBackButton(factor);
    updateVideoView();
    fullScreenFrame_ = new FullScreenFrame(cab_, this);
    setCentralWidget(fullScreenFrame_);
    menuBar()->hide();
    layout()->setSizeConstraint(QLayout::SetDefaultConstraint);
    setMinimumSize(0, 0);
    setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    showFullScreen();
  } else {
    QWidget* frame = takeCentralWidget();
    fullScreenFrame_ = nullptr;
    cab_->setScale(context_.scale);
    placeBackButton(context_.scale);
    updateVideoView();
    setCentralWidget(cab_);  // takes the cab out of the frame
    delete frame;
    menuBar()->show();
    showNormal();
    layout()->setSizeConstraint(QLayout::SetFixedSize);
    setGeometry(QRect(windowedPosition_, size()));
  }
  activateWindow();
  setFocus();
}

}  // namespace dravolin::shell
