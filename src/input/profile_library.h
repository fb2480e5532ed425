// The profiles the program knows: the generic ones built in (one per device kind, the same
// texts as shipped in the "controllers" folder) and those of the profile folders. Chooses the
// profile of a device by its GUID, then by its name, then the generic one of its kind, and
// applies the device's saved calibration.
#pragma once

#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "input/controller_calibration.h"
#include "input/controller_profile.h"

namespace dravolin::input {

// The texts of the generic profiles, by id ("one-handle", "two-handle", "buttons", "gamepad").
struct ProfileText {
  const char* id;
  const char* text;
};
std::span<const ProfileText> genericProfileTexts();

// What the device library tells of a device.
struct DeviceIdentity {
  std::string guid;  // 32 hexadecimal digits
  std::string name;
  bool gamepad = false;  // known to the game-controller interface
  int axes = 0;
  int buttons = 0;
};

class ProfileLibrary {
 public:
  // Holds the generic profiles.
  ProfileLibrary();

  // Adds every "*.profile" file of `folder` (a missing folder adds none). A profile with the
  // id of one already held replaces it. Returns the message of each file refused.
  std::vector<std::string> addFolder(const std::filesystem::path& folder);
  void add(ControllerProfile profile);

  const ControllerProfile* find(std::string_view id) const;
  const std::vector<ControllerProfile>& profiles() const { return profiles_; }

  // The profile for a device: one naming its GUID, else one naming part of its name (letter
  // case ignored), else the generic one of its kind. `generic` tells which it was.
  const ControllerProfile& choose(const DeviceIdentity& device, bool* generic = nullptr) const;

  // The generic profile of a device kind.
  const ControllerProfile& generic(DeviceKind kind) const;

 private:
  std::vector<ControllerProfile> profiles_;
};

// The profile a device works with: the calibration file of its GUID in `calibrationFolder`
// (when there is one) picks the profile and gives its axes their ranges; otherwise
// ProfileLibrary::choose. Each file refused and each unknown device adds a line to `notes`,
// meant for the status line; the device then works with the profile as chosen.
ControllerProfile profileForDevice(const ProfileLibrary& library, const DeviceIdentity& device,
                                   const std::filesystem::path& calibrationFolder,
                                   std::vector<std::string>& notes);

// Writes a calibration to its file in `folder` (made when missing). Returns an empty text or
// the message of the failure.
std::string saveCalibration(const Calibration& calibration, const std::filesystem::path& folder);

}  // namespace dravolin::input
