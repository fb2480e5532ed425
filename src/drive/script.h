// The script of a headless drive: one event a line, "T EVENT [ARGUMENT]", T a whole millisecond
// from 1 to kLongestScriptMs that never decreases. Blank lines and lines starting with "#" are
// ignored.
//
//   start                 the Start / pause / resume command
//   char C                one typed byte: a printable ASCII character, the word "space", or an
//                         escape (\r, \n, \\, \xHH) for any other byte: Enter's \r, Escape's
//                         \x1b, Ctrl+letters and the code page 932 bytes an input method types
//   key VK [MODS]         a key-down with its virtual key code; MODS the keys and mouse buttons
//                         held, joined by "+": shift, alt, ctrl, left, right, middle
//   wheel down | up       one mouse-wheel step
//   serial TEXT           one receive event of the controller box (escapes \r, \n, \\ and \xHH)
//   station N             the "Move" menu entry "StaN"
//   device add PROFILE    a USB controller plugged in, worked through PROFILE: a built-in
//                         profile's name (one-handle, two-handle, buttons, gamepad) or a
//                         profile file (a name ending in ".profile", from the script's folder)
//   device remove         the controller pulled out; the handles stay where they are
//   axis N VALUE          its axis N (0 to 63) moved to VALUE (-32768 to 32767)
//   button N down | up    its button N (0 to 1023) pressed or released
//   controller N          one command of a USB controller as its profile made it: the code
//                         line N (1 to 22) of the controller box; the driving window records
//                         its controllers' commands this way, independent of their profiles
//   values closed         the value display window closed by its own close box
//   end                   the drive ends here (the window was closed): the closing steps run
//                         and nothing after it is read
// The device events of one millisecond are one report of the device.
//
// A recording of a window drive is such a script with a header of comment lines (see
// drive/recording.h).
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace dravolin::drive {

class Drive;

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
  Button,
  Controller,
  ValuesClosed,
  End
};

// The latest time a script may give an event: a day of driving. A later time is refused, so
// that no script or recording keeps a replay going for weeks.
inline constexpr int kLongestScriptMs = 24 * 3600 * 1000;

// The events of a script, one row a kind: the word that begins it and the fixed word after it
// (for the kinds that share a word, such as "wheel down" and "wheel up"). The script reader
// takes its events from this table, and the recorder and formatScriptEvent write them from it.
struct ScriptEventWords {
  ScriptEventKind kind;
  std::string_view word;
  std::string_view fixedArgument;  // empty when the argument varies or there is none
  std::string_view argument;       // what follows the fixed word, as messages name it
};
std::span<const ScriptEventWords> scriptEventWords();
// The row of a kind.
const ScriptEventWords& scriptEventWords(ScriptEventKind kind);

// The longest form of one byte in a char or serial argument.
inline constexpr std::size_t kMaxEscapedByte = 4;
// Writes one byte of a char or serial argument as the reader reads it back: printable ASCII
// other than blank and "\" as itself, "\r", "\n" and "\\", and "\xHH" for any other byte
// (blanks too, which a line's ends would lose). Returns the length written (1 to 4).
std::size_t escapeByte(char c, char* out);
// Writes the argument of a char event: "space", or the byte as escapeByte writes it. Returns
// the length written (at most 5).
std::size_t charArgument(char c, char* out);

struct ScriptEvent {
  int timeMs = 0;
  ScriptEventKind kind = ScriptEventKind::Start;
  char character = 0;      // Char
  int virtualKey = 0;      // Key
  unsigned modifiers = 0;  // Key: input::kShift, kAlt, ... held
  std::string bytes;       // Serial: the received bytes
  int station = 0;         // Station: the station index of the "StaN" entry
  std::string profile;     // DeviceAdd: the profile's name or file
  int index = 0;           // Axis, Button: the axis or button number; Controller: the code line
  int value = 0;           // Axis: the raw value; Button: 1 down, 0 up
  int line = 0;            // line of the script, from 1
  std::string text;        // the event as written, without its time (shown during a replay)
};

// Parses a whole script. On a fault returns nullopt and sets `error` to a message naming the
// line ("line 3: unknown event 'jump'").
// The words of the modifier set `modifiers` joined by "+" ("shift+ctrl"), written into `out`
// (room for every word); returns the length written, 0 for none.
std::size_t formatModifiers(unsigned modifiers, char* out);

std::optional<std::vector<ScriptEvent>> parseScript(std::string_view text, std::string& error);

// One event as a script line (without the line end) that parseScript reads back as the same
// event: its time and its text when it was read from a script, else made from its fields.
std::string formatScriptEvent(const ScriptEvent& e);

// Hands one event to the drive's handler for it. End runs the drive's closing steps.
void applyScriptEvent(Drive& drive, const ScriptEvent& event);

// The time of the script's "end" event, or nullopt when it has none.
std::optional<int> scriptEndMs(const std::vector<ScriptEvent>& events);

}  // namespace dravolin::drive
