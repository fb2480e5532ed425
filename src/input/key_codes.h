// The system's own key codes and modifier states, as the key-down handler receives them. A
// window toolkit maps its events to these before calling the handlers; typed characters reach
// the character handler as they were typed (letters are commands in lower case only).
#pragma once

namespace dravolin::input {

// Virtual key codes.
inline constexpr int kKeyEnter = 13;
inline constexpr int kKeyF1 = 112;
inline constexpr int kKeyF2 = 113;
inline constexpr int kKeyF3 = 114;
inline constexpr int kKeyF5 = 116;
inline constexpr int kKeyF6 = 117;
inline constexpr int kKeyF7 = 118;
inline constexpr int kKeyF8 = 119;
inline constexpr int kKeyF9 = 120;
inline constexpr int kKeyF10 = 121;
inline constexpr int kKeyF11 = 122;
inline constexpr int kKeyF12 = 123;
inline constexpr int kKeyScrollLock = 145;

// The set of modifier keys and mouse buttons held during a key-down event.
using Modifiers = unsigned;
inline constexpr Modifiers kShift = 1u << 0;
inline constexpr Modifiers kAlt = 1u << 1;
inline constexpr Modifiers kCtrl = 1u << 2;
inline constexpr Modifiers kLeftButton = 1u << 3;
inline constexpr Modifiers kRightButton = 1u << 4;
inline constexpr Modifiers kMiddleButton = 1u << 5;

}  // namespace dravolin::input
