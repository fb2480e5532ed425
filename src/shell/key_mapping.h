// Qt keyboard events as the driving window's two key handlers receive them: a key-down as a
// virtual key code with the set of modifiers and mouse buttons held, and the typed character.
#pragma once

#include <QKeyEvent>
#include <optional>
#include <string>

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
// The character handler's byte for one typed character: ASCII as it is (control characters
// included), any other character its first byte in code page 932 (a half-width kana is one
// byte, 0xA1 to 0xDF; a character the code page lacks is "?").
char characterByte(char32_t c);
// What an event types, one byte per character, as typed (letters keep their case): the text of
// the event (several characters when an input method commits them), the control character of
// Ctrl+letter whatever text the platform gives it, nothing for Delete, which types nothing.
std::string charactersOf(const QKeyEvent& event);
// Whether an event is a press of Tab or Shift+Tab without Ctrl or Alt, which a window would
// take to move the focus; the driving window and the windows that pass their keys on type it.
bool isTabKey(const QEvent& event);

}  // namespace dravolin::shell
