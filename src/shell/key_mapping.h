// Qt keyboard events as the driving window's two key handlers receive them: a key-down as a
// virtual key code with the set of modifiers and mouse buttons held, and the typed character.
#pragma once

#include <optional>

#include <QKeyEvent>

namespace dravolin::shell {

struct KeyDown {
  int virtualKey = 0;      // 13 Enter, 112..123 F1..F12, 145 Scroll Lock, 65..90 letters, ...
  unsigned modifiers = 0;  // input::kShift, kAlt, kCtrl, kLeftButton, kRightButton, kMiddleButton
};

// The virtual key code of a Qt key; 0 for a key that has none here.
int virtualKeyOf(int qtKey);
// Modifier and mouse-button set of the input handlers.
unsigned modifiersOf(Qt::KeyboardModifiers keys, Qt::MouseButtons buttons);
// The key-down of an event; std::nullopt when the key has no virtual key code.
std::optional<KeyDown> keyDownOf(const QKeyEvent& event, Qt::MouseButtons buttons);
// The typed character of an event, as typed (letters keep their case); std::nullopt when the
// event types nothing or something outside 7-bit ASCII.
std::optional<char> characterOf(const QKeyEvent& event);

}  // namespace dravolin::shell
