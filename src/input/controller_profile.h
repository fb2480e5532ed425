// Controller profiles: how the axes and buttons of one kind of USB controller, gamepad or
// joystick become the controller box's commands (the code lines of "mascon.dat": power notches,
// brake steps, emergency, reverser, ATS confirmation, horn, call-out). A profile is a small text
// file; the README describes its format. Plain C++: the device library is not needed here.
//
// Sections: command names; the profile; parsing.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace dravolin::input {

// --- command names ---

// The box's command lines a device can produce (1 to 22).
inline constexpr int kLineP1 = 1;       // 1 to 6: P1 to P6
inline constexpr int kLineNeutral = 7;  // both handles off
inline constexpr int kLineB1 = 8;       // 8 to 15: B1 to B8
inline constexpr int kLineEmergency = 16;
inline constexpr int kLineForward = 17;  // reverser forward
inline constexpr int kLineReverserNeutral = 18;
inline constexpr int kLineReverse = 19;
inline constexpr int kLineAtsButton = 20;  // ATS confirmation (space)
inline constexpr int kLineHorn = 21;       // horn ("3")
inline constexpr int kLineCallOut = 22;    // call-out (Enter)

// The name of a command line in profiles and traces: "P1".."P6", "N", "B1".."B8", "EB",
// "FORWARD", "NEUTRAL", "REVERSE", "ATS", "HORN", "CALLOUT". Empty outside 1 to 22.
std::string_view commandName(int line);
// The line a command name stands for, or 0.
int commandLine(std::string_view name);

// --- the profile ---

// Raw axis values as the device library reports them.
inline constexpr int kAxisMin = -32768;
inline constexpr int kAxisMax = 32767;
// Device state beyond these is ignored: no profile may name it.
inline constexpr int kMaxAxes = 64;
inline constexpr int kMaxButtons = 1024;
inline constexpr int kDefaultHysteresis = 256;

// The kind of device a profile is written for; each kind has a generic profile.
enum class DeviceKind { OneHandle, TwoHandle, Buttons, Gamepad };
std::string_view deviceKindName(DeviceKind kind);

// Which handle an axis or a button code works.
enum class HandleRole {
  Combined,  // one handle: N, P1..P6, B1..B8, EB
  Power,     // N, P1..P6
  Brake,     // N, B1..B8, EB
  Reverser,  // FORWARD, NEUTRAL, REVERSE
};
std::string_view handleRoleName(HandleRole role);
// Whether `line` is a position of a handle in `role`.
bool positionFits(HandleRole role, int line);

// One position of an axis: the raw values from `low` to `high` (both included).
struct NotchRange {
  int line = 0;
  int low = 0;
  int high = 0;
  bool operator==(const NotchRange&) const = default;
};

struct AxisMap {
  int axis = 0;
  HandleRole role = HandleRole::Combined;
  // Raw units the value must go past a range's end before the axis leaves its position.
  int hysteresis = kDefaultHysteresis;
  std::vector<NotchRange> notches;  // not overlapping; gaps keep the position
  bool operator==(const AxisMap&) const = default;
};

// One combination of an encoding's buttons: '1' pressed, '0' released, 'x' either, one
// character per button in the encoding's order.
struct ButtonCode {
  std::string pattern;
  int line = 0;
  bool operator==(const ButtonCode&) const = default;
};

// Buttons whose combination tells a handle's position (two-handle adapters). A combination
// that matches no code (while the handle moves between positions) keeps the last position.
struct ButtonEncoding {
  HandleRole role = HandleRole::Combined;
  std::vector<int> buttons;
  std::vector<ButtonCode> codes;  // the first that matches counts
  bool operator==(const ButtonEncoding&) const = default;
};

// A button that gives one command when pressed.
struct ButtonCommand {
  int button = 0;
  int line = 0;
  bool operator==(const ButtonCommand&) const = default;
};

struct ControllerProfile {
  std::string id;    // the file name without ".profile"; built-in ones are their kind's name
  std::string name;  // shown to the driver
  DeviceKind kind = DeviceKind::OneHandle;
  std::vector<std::string> guids;  // device GUIDs this profile is for (lower-case hex)
  std::vector<std::string> names;  // parts of device names this profile is for
  std::vector<AxisMap> axes;
  std::vector<ButtonEncoding> encodings;
  std::vector<ButtonCommand> buttons;
  bool operator==(const ControllerProfile&) const = default;

  AxisMap* axisMap(int axis);
  const AxisMap* axisMap(int axis) const;
};

// --- parsing ---

// A profile or calibration file that cannot be used; the message names the file and the line
// ("one.profile:12: ...").
class ProfileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Reads a profile's text. `fileName` names it in messages; `id` becomes the profile's id.
// Throws ProfileError.
ControllerProfile parseControllerProfile(std::string_view text, const std::string& fileName,
                                         const std::string& id);

// The profile as text in the same format (parses back to an equal profile).
std::string formatControllerProfile(const ControllerProfile& profile);

}  // namespace dravolin::input
