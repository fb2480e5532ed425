#include "input/controller_devices.h"

#include "platform/message_ids.h"

namespace dravolin::input {

std::string deviceAddedText(const std::string& device, const std::string& profile) {
  return msg::deviceAdded(device, profile).text();
}

std::string deviceRemovedText(const std::string& device) {
  return msg::deviceRemoved(device).text();
}

ControllerDevices::ControllerDevices(platform::InputDevices& devices, const ProfileLibrary& library,
                                     std::filesystem::path calibrationFolder, CommandSink command,
                                     StatusSink status)
    : devices_(devices),
      library_(library),
      calibrationFolder_(std::move(calibrationFolder)),
      command_(std::move(command)),
      status_(std::move(status)) {
  platform::InputDevices::Handlers h;
  h.added = [this](const platform::InputDeviceInfo& info) { take(info, true); };
  h.removed = [this](int id) {
    const auto it = mappers_.find(id);
    if (it == mappers_.end()) return;
    mappers_.erase(it);
    if (status_) status_(deviceRemovedText(names_[id]));
    names_.erase(id);
  };
  h.axis = [this](int id, int axis, int value) {
    if (auto it = mappers_.find(id); it != mappers_.end()) perform(it->second.axis(axis, value));
  };
  h.button = [this](int id, int button, bool down) {
    if (auto it = mappers_.find(id); it != mappers_.end()) {
      perform(it->second.button(button, down));
    }
  };
  h.reportEnd = [this](int id) {
    if (auto it = mappers_.find(id); it != mappers_.end()) perform(it->second.flush());
  };
  devices_.setHandlers(std::move(h));
  for (const platform::InputDeviceInfo& info : devices_.devices()) take(info, false);
}

ControllerDevices::~ControllerDevices() { devices_.setHandlers({}); }

void ControllerDevices::take(const platform::InputDeviceInfo& info, bool announce) {
  const DeviceIdentity identity{info.guid, info.name, info.gamepad, info.axes, info.buttons};
  std::vector<std::string> notes;
  ControllerProfile profile = profileForDevice(library_, identity, calibrationFolder_, notes);
  const std::string profileName = profile.name;
  DeviceMapper mapper(std::move(profile));
  mapper.settle(devices_.axisValues(info.id), devices_.buttonStates(info.id));
  mappers_.erase(info.id);
  mappers_.emplace(info.id, std::move(mapper));
  names_[info.id] = info.name;
  // One message: the status line shows the last one only.
  std::string text = announce ? deviceAddedText(info.name, profileName) : std::string();
  for (const std::string& n : notes) text += (text.empty() ? "" : "\n") + n;
  if (status_ && !text.empty()) status_(text);
}

void ControllerDevices::reload(int id) {
  for (const platform::InputDeviceInfo& info : devices_.devices()) {
    if (info.id == id) take(info, false);
  }
}

const ControllerProfile* ControllerDevices::profile(int id) const {
  const auto it = mappers_.find(id);
  return it == mappers_.end() ? nullptr : &it->second.profile();
}

void ControllerDevices::perform(const std::vector<int>& lines) {
  for (int line : lines) {
    if (command_) command_(line);
  }
}

}  // namespace dravolin::input
