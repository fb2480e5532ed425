// The USB controller of a script: its "device", "axis" and "button" events worked through the
// profile named by "device add", as the driving window works a real device, giving the
// controller box's command lines.
#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "drive/script.h"
#include "input/controller_profile.h"
#include "input/device_mapper.h"

namespace dravolin::drive {

// The profiles the script's "device add" events name, by the name as written.
using ScriptProfiles = std::map<std::string, input::ControllerProfile>;

// Finds the profile of every "device add" event: a built-in one by name, or a profile file in
// `folder`. Also checks that axis and button events come while a device is plugged in. Returns
// the message naming the line of the first fault, or empty.
std::string loadScriptProfiles(const std::vector<ScriptEvent>& events,
                               const std::filesystem::path& folder, ScriptProfiles& profiles);

// A controller plugged in starts with every axis at 0 and every button up, and gives commands
// only when a position changes from there.
class ScriptController {
 public:
  explicit ScriptController(const ScriptProfiles& profiles) : profiles_(profiles) {}

  // One event of the script: the command lines it gives (none for the other events, and for a
  // device event whose profile is not among the profiles).
  std::vector<int> handle(const ScriptEvent& event);
  // The end of the device's report of one millisecond: the lines of the button encodings.
  std::vector<int> flush();

 private:
  const ScriptProfiles& profiles_;
  std::optional<input::DeviceMapper> mapper_;
};

}  // namespace dravolin::drive
