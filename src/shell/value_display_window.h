// The value display window: the simulation's quantities as numbers and three bar gauges of
// forces. It lives for the whole program; a drive shows its values here while the window is
// visible. Keys typed in it go on to the driving window.
#pragma once

#include <QWidget>
#include <array>
#include <functional>

#include "cab/value_display.h"

class QLabel;
class QProgressBar;

namespace dravolin::shell {

class ValueDisplayWindow final : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kWidth = 604;   // client area, px
  static constexpr int kHeight = 195;  // client area, px

  explicit ValueDisplayWindow(QWidget* parent = nullptr);

  // Shows the texts and gauges (only while the model says the window is visible), the caption,
  // and shows or hides the window as the model says.
  void showValues(const cab::ValueDisplay& values);

  // Receives the key events typed here (key-down and character, as the driving window takes
  // them; Tab included, and an input method's committed text as a key event of that text);
  // nothing is done with them here.
  std::function<void(QKeyEvent*)> onKey;
  // Called when the user closes the window with its close box (it is hidden, not destroyed).
  std::function<void()> onClosed;

  QLabel* valueLabel(int n) const;  // Label1 .. Label9, Label20, Label23, Label25, Label27, ...
  QProgressBar* gauge(int n) const { return gauges_.at(static_cast<std::size_t>(n - 1)); }
  // How many times the texts were set.
  long refreshes() const { return refreshes_; }

 protected:
  bool event(QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void inputMethodEvent(QInputMethodEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  std::array<QLabel*, 38> values_{};  // by the label's number
  std::array<QProgressBar*, 3> gauges_{};
  long refreshes_ = 0;
};

}  // namespace dravolin::shell
