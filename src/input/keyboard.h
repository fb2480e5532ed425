// The keyboard: the key-down handler (call-outs, timetable card, value display window, Shift
// adjustments) and the character handler (handles, reverser, horns, doors, one-man
// announcements, ATS buttons, gears).
#pragma once

#include <optional>
#include <string>

#include "input/input_context.h"
#include "input/key_codes.h"

namespace dravolin::input {

// Key-down event: a virtual key code (key_codes.h) and the modifiers held. Works from the moment
// the drive exists, also before the first Start.
void keydowns(InputContext& ctx, int virtualKey, Modifiers modifiers);

// Character event. With the keypad swap on, "2" and "8" are exchanged in `key` first. Before the
// first Start only the EB-device prologue runs.
void AsciiDown(InputContext& ctx, char& key);

// The call-out (Enter, the controller box's call-out button): the sound of the shown sign, of the
// announced speed limit, or of the signal ahead. Only announcements the line has are played.
void callOut(InputContext& ctx);

// The gear indicator's text for a gear: "変" for the converter stage 0, "直1" to "直4" for the
// direct stages (in the program's language); nullopt for any other gear (the text stays as it
// is).
std::optional<std::string> gearCaption(int gear);

}  // namespace dravolin::input
