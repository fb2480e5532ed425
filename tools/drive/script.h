// The script of a headless drive: one event a line, "T EVENT [ARGUMENT]", T a whole millisecond
// >= 1 that never decreases. Blank lines and lines starting with "#" are ignored.
//
//   start                 the Start / pause / resume command
//   char C                one printable ASCII character, or the word "space"
//   key VK [shift]        a key-down with its virtual key code, no modifier or Shift alone
//   wheel down | up       one mouse-wheel step
//   serial TEXT           one receive event of the controller box (escapes \r, \n, \\)
//   station N             the "Move" menu entry "StaN"
//   device add PROFILE    a USB controller plugged in, worked through PROFILE: a built-in
//                         profile's name (one-handle, two-handle, buttons, gamepad) or a
//                         profile file (a name ending in ".profile", from the script's folder)
//   device remove         the controller pulled out; the handles stay where they are
//   axis N VALUE          its axis N (0 to 63) moved to VALUE (-32768 to 32767)
//   button N down | up    its button N (0 to 1023) pressed or released
// The events of one millisecond are one report of the device.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace dravolin::tools {

enum class ScriptEventKind {
  Start,
  Char,
  Key,
  WheelDown,
  WheelUp,
  Serial,
  Station,
  DeviceAdd,
  DeviceRemove,
  Axis,
  Button
};

struct ScriptEvent {
  int timeMs = 0;
  ScriptEventKind kind = ScriptEventKind::Start;
  char character = 0;   // Char
  int virtualKey = 0;   // Key
  bool shift = false;   // Key: Shift alone
  std::string bytes;    // Serial: the received bytes
  int station = 0;      // Station: the station index of the "StaN" entry
  std::string profile;  // DeviceAdd: the profile's name or file
  int index = 0;        // Axis, Button: the axis or button number
  int value = 0;        // Axis: the raw value; Button: 1 down, 0 up
  int line = 0;         // line of the script, from 1
  std::string text;     // the event as its script line gives it after the time; empty when made
};

// Parses a whole script. On a fault returns nullopt and sets `error` to a message naming the
// line ("line 3: unknown event 'jump'").
std::optional<std::vector<ScriptEvent>> parseScript(std::string_view text, std::string& error);

// One event as a script line (without the line end) that parseScript reads back as the same
// event: its time and its text when it was read from a script, else made from its fields.
std::string formatScriptEvent(const ScriptEvent& e);

}  // namespace dravolin::tools
