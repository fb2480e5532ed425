#include "shell/key_mapping.h"

#include "data/text_encoding.h"
#include "input/key_codes.h"

namespace dravolin::shell {

int virtualKeyOf(int qtKey) {
  if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F12) return input::kKeyF1 + (qtKey - Qt::Key_F1);
  switch (qtKey) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
      return input::kKeyEnter;
    case Qt::Key_ScrollLock:
      return input::kKeyScrollLock;
    case Qt::Key_Backspace:
      return 8;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
      return 9;
    case Qt::Key_Escape:
      return 27;
    case Qt::Key_Space:
      return 32;
    case Qt::Key_PageUp:
      return 33;
    case Qt::Key_PageDown:
      return 34;
    case Qt::Key_End:
      return 35;
    case Qt::Key_Home:
      return 36;
    case Qt::Key_Left:
      return 37;
    case Qt::Key_Up:
      return 38;
    case Qt::Key_Right:
      return 39;
    case Qt::Key_Down:
      return 40;
    case Qt::Key_Insert:
      return 45;
    case Qt::Key_Delete:
      return 46;
    case Qt::Key_Shift:
      return 16;
    case Qt::Key_Control:
      return 17;
    case Qt::Key_Alt:
      return 18;
    default:
      break;
  }
  // Digits and letters have their ASCII upper-case codes.
  if ((qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9) || (qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z)) {
    return qtKey;
  }
  return 0;
}

unsigned modifiersOf(Qt::KeyboardModifiers keys, Qt::MouseButtons buttons) {
  unsigned m = 0;
  if (keys & Qt::ShiftModifier) m |= input::kShift;
  if (keys & Qt::AltModifier) m |= input::kAlt;
  if (keys & Qt::ControlModifier) m |= input::kCtrl;
  if (buttons & Qt::LeftButton) m |= input::kLeftButton;
  if (buttons & Qt::RightButton) m |= input::kRightButton;
  if (buttons & Qt::MiddleButton) m |= input::kMiddleButton;
  return m;
}

std::optional<KeyDown> keyDownOf(const QKeyEvent& event, Qt::MouseButtons buttons) {
  const int vk = virtualKeyOf(event.key());
  if (vk == 0) return std::nullopt;
  return KeyDown{vk, modifiersOf(event.modifiers(), buttons)};
}

char characterByte(char32_t c) {
  if (c < 0x80) return static_cast<char>(c);
  const QString one = QString::fromUcs4(&c, 1);
  const std::string bytes = data::utf8ToCp932(one.toStdString());
  return bytes.empty() ? '?' : bytes.front();
}

std::string charactersOf(const QKeyEvent& event) {
  const int key = event.key();
  if (key == Qt::Key_Delete) return {};
  const Qt::KeyboardModifiers mods = event.modifiers();
  if ((mods & Qt::ControlModifier) && !(mods & Qt::AltModifier) && key >= Qt::Key_A &&
      key <= Qt::Key_Z) {
    return std::string(1, static_cast<char>(key - Qt::Key_A + 1));  // Ctrl+A is 1 ... Ctrl+Z 26
  }
  std::string bytes;
  for (const char32_t c : event.text().toUcs4()) bytes += characterByte(c);
  return bytes;
}

bool isTabKey(const QEvent& event) {
  if (event.type() != QEvent::KeyPress) return false;
  const auto& key = static_cast<const QKeyEvent&>(event);
  return (key.key() == Qt::Key_Tab || key.key() == Qt::Key_Backtab) &&
         !(key.modifiers() & (Qt::ControlModifier | Qt::AltModifier));
}

}  // namespace dravolin::shell
