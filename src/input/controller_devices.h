// The USB controllers of one drive: each device plugged in gets its profile (and its saved
// calibration) and a mapper, and its events become the controller box's commands. Plugging in
// and pulling out are told in the status line; a device pulled out leaves the handles where
// they are. The drive only sees the commands, never which device gave them.
#pragma once

#include <filesystem>
#include <functional>
#include <map>
#include <string>

#include "input/device_mapper.h"
#include "input/profile_library.h"
#include "platform/input_devices.h"

namespace dravolin::input {

class ControllerDevices {
 public:
  using CommandSink = std::function<void(int line)>;
  using StatusSink = std::function<void(const std::string& text)>;

  // Takes over the service's handlers until destroyed; the devices already plugged in are
  // taken up at once (without a status message and without a command).
  ControllerDevices(platform::InputDevices& devices, const ProfileLibrary& library,
                    std::filesystem::path calibrationFolder, CommandSink command,
                    StatusSink status);
  ~ControllerDevices();
  ControllerDevices(const ControllerDevices&) = delete;
  ControllerDevices& operator=(const ControllerDevices&) = delete;

  // Chooses the device's profile again (after a calibration was saved); its present state is
  // the new starting point.
  void reload(int id);
  // The profile a device works with (nullptr for an unknown id).
  const ControllerProfile* profile(int id) const;

 private:
  void take(const platform::InputDeviceInfo& info, bool announce);
  void perform(const std::vector<int>& lines);

  platform::InputDevices& devices_;
  const ProfileLibrary& library_;
  std::filesystem::path calibrationFolder_;
  CommandSink command_;
  StatusSink status_;
  std::map<int, DeviceMapper> mappers_;
  std::map<int, std::string> names_;
};

// Status-line texts.
std::string deviceAddedText(const std::string& device, const std::string& profile);
std::string deviceRemovedText(const std::string& device);

}  // namespace dravolin::input
