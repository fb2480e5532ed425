// The serial controller box: each received message is matched against the controller map and
// becomes a handle position, a reverser position or a posted key event.
#pragma once

#include <string_view>

#include "input/input_context.h"

namespace dravolin::input {

// The part of a message compared with the codes.
inline constexpr std::size_t kControllerKeyLength = 5;
// The code lines that have a meaning (1 to 22).
inline constexpr int kControllerLines = 22;

// One receive event: `message` is every byte that was waiting, as one text. Sets the value
// display window's caption to it, then acts on each of lines 1 to 22 whose code equals its first
// five characters, in line order. Handle positions are set as the line says, with no regard to
// the train's range, the handle arrangement or the first Start, and leave the holding brake and
// its exit latch clear; the reverser moves only at |Speed| <= 1 km/h and sets its direction
// lamps as the keys do; the buttons post a space, a "3" or an Enter key-down to the drive's
// queue.
void RxChar(InputContext& ctx, std::string_view message);

// One command of a USB controller, gamepad or joystick: line `line` (1 to 22) of the code table
// performed as if its code had been received, after the same prologue, with two differences:
// the caption stays as it is (no text was received), and the handles stay within the train's
// range (power up to its last notch, brake steps up to its last service step, emergency its
// own). Lines outside 1 to 22 do nothing.
void deviceCommand(InputContext& ctx, int line);

// Handles every posted event in order: characters through AsciiDown, key-downs through
// keydowns. Events posted meanwhile are handled too, after those already waiting.
void drainPostedEvents(InputContext& ctx, PostedEvents& events);

}  // namespace dravolin::input
