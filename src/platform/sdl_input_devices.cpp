#include "platform/sdl_input_devices.h"

#include <SDL.h>

#include <set>

namespace dravolin::platform {

namespace {

// Hat positions as four buttons each: up, right, down, left.
constexpr unsigned kHatBits[4] = {SDL_HAT_UP, SDL_HAT_RIGHT, SDL_HAT_DOWN, SDL_HAT_LEFT};
// After a change in the device folder: SDL looks again now and a little later, when the new
// node's permissions have been set.
constexpr int kRescanDelaysMs[] = {0, 300, 1500};

}  // namespace

SdlInputDevices::SdlInputDevices(const QString& deviceFolder, QObject* parent) : QObject(parent) {
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  // Devices are read whether or not a window of the program has the focus.
  SDL_SetHint(SDL_HINT_JOYSTICK_ALLOW_BACKGROUND_EVENTS, "1");
  if (SDL_InitSubSystem(SDL_INIT_JOYSTICK | SDL_INIT_GAMECONTROLLER) != 0) {
    error_ = std::string("SDL: ") + SDL_GetError();
    return;
  }
  started_ = true;
  readTimer_.setInterval(kReadPeriodMs);
  connect(&readTimer_, &QTimer::timeout, this, [this] { pump(); });
  if (deviceFolder.isEmpty()) return;
  // Without the device folder yet, its parent is watched until it appears.
  if (!watcher_.addPath(deviceFolder)) {
    const QString parentFolder = deviceFolder.section('/', 0, -2);
    watcher_.addPath(parentFolder.isEmpty() ? QString("/") : parentFolder);
  }
  connect(&watcher_, &QFileSystemWatcher::directoryChanged, this, [this, deviceFolder] {
    if (!watcher_.directories().contains(deviceFolder) && watcher_.addPath(deviceFolder)) {
      for (const QString& d : watcher_.directories()) {
        if (d != deviceFolder) watcher_.removePath(d);
      }
    }
    for (int delay : kRescanDelaysMs) QTimer::singleShot(delay, this, [this] { pump(); });
  });
}

SdlInputDevices::~SdlInputDevices() {
  if (!started_) return;
  while (!devices_.empty()) {
    Device& d = devices_.begin()->second;
    if (d.controller != nullptr) {
      SDL_GameControllerClose(d.controller);
    } else {
      SDL_JoystickClose(d.joystick);
    }
    devices_.erase(devices_.begin());
  }
  SDL_QuitSubSystem(SDL_INIT_JOYSTICK | SDL_INIT_GAMECONTROLLER);
}

std::vector<InputDeviceInfo> SdlInputDevices::devices() const {
  std::vector<InputDeviceInfo> out;
  for (const auto& [id, d] : devices_) out.push_back(d.info);
  return out;
}

std::vector<int> SdlInputDevices::axisValues(int id) const {
  std::vector<int> out;
  const auto it = devices_.find(id);
  if (it == devices_.end()) return out;
  const Device& d = it->second;
  for (int a = 0; a < d.info.axes; ++a) {
    out.push_back(
        d.controller != nullptr
            ? SDL_GameControllerGetAxis(d.controller, static_cast<SDL_GameControllerAxis>(a))
            : SDL_JoystickGetAxis(d.joystick, a));
  }
  return out;
}

std::vector<bool> SdlInputDevices::buttonStates(int id) const {
  std::vector<bool> out;
  const auto it = devices_.find(id);
  if (it == devices_.end()) return out;
  const Device& d = it->second;
  for (int b = 0; b < d.plainButtons; ++b) {
    out.push_back(d.controller != nullptr
                      ? SDL_GameControllerGetButton(d.controller,
                                                    static_cast<SDL_GameControllerButton>(b)) != 0
                      : SDL_JoystickGetButton(d.joystick, b) != 0);
  }
  for (unsigned h : d.hats) {
    for (unsigned bit : kHatBits) out.push_back((h & bit) != 0);
  }
  return out;
}

void SdlInputDevices::open(int index) {
  Device d;
  if (SDL_IsGameController(index) == SDL_TRUE) {
    d.controller = SDL_GameControllerOpen(index);
    if (d.controller == nullptr) return;
    d.joystick = SDL_GameControllerGetJoystick(d.controller);
    d.info.gamepad = true;
    d.info.axes = SDL_CONTROLLER_AXIS_MAX;
    d.plainButtons = SDL_CONTROLLER_BUTTON_MAX;
  } else {
    d.joystick = SDL_JoystickOpen(index);
    if (d.joystick == nullptr) return;
    d.info.axes = std::max(0, SDL_JoystickNumAxes(d.joystick));
    d.plainButtons = std::max(0, SDL_JoystickNumButtons(d.joystick));
    d.hats.assign(static_cast<std::size_t>(std::max(0, SDL_JoystickNumHats(d.joystick))),
                  SDL_HAT_CENTERED);
  }
  d.info.id = SDL_JoystickInstanceID(d.joystick);
  if (devices_.count(d.info.id) != 0) {  // reported twice: keep the first
    if (d.controller != nullptr) {
      SDL_GameControllerClose(d.controller);
    } else {
      SDL_JoystickClose(d.joystick);
    }
    return;
  }
  const char* name = SDL_JoystickName(d.joystick);
  d.info.name = name != nullptr ? name : "";
  char guid[33] = {};
  SDL_JoystickGetGUIDString(SDL_JoystickGetGUID(d.joystick), guid, sizeof guid);
  d.info.guid = guid;
  d.info.buttons = d.plainButtons + 4 * static_cast<int>(d.hats.size());
  const InputDeviceInfo info = d.info;
  devices_.emplace(info.id, std::move(d));
  readTimer_.start();
  if (handlers_.added) handlers_.added(info);
}

void SdlInputDevices::close(int id) {
  const auto it = devices_.find(id);
  if (it == devices_.end()) return;
  if (it->second.controller != nullptr) {
    SDL_GameControllerClose(it->second.controller);
  } else {
    SDL_JoystickClose(it->second.joystick);
  }
  devices_.erase(it);
  if (devices_.empty()) readTimer_.stop();
  if (handlers_.removed) handlers_.removed(id);
}

void SdlInputDevices::hat(Device& d, int hat, unsigned value) {
  if (hat < 0 || hat >= static_cast<int>(d.hats.size())) return;
  unsigned& old = d.hats[static_cast<std::size_t>(hat)];
  for (int i = 0; i < 4; ++i) {
    const bool was = (old & kHatBits[i]) != 0, now = (value & kHatBits[i]) != 0;
    if (was != now && handlers_.button)
      handlers_.button(d.info.id, d.plainButtons + 4 * hat + i, now);
  }
  old = value;
}

void SdlInputDevices::pump() {
  if (!started_) return;
  SDL_PumpEvents();
  std::set<int> reported;
  SDL_Event events[64];
  int total = 0;
  while (total < kMaxEventsPerRead) {
    const int n = SDL_PeepEvents(events, 64, SDL_GETEVENT, SDL_FIRSTEVENT, SDL_LASTEVENT);
    if (n <= 0) break;
    total += n;
    for (int i = 0; i < n; ++i) {
      const SDL_Event& e = events[i];
      // SDL recentres a device that is pulled out (axes to 0, buttons up) before it reports
      // the removal: those events come from a detached device and are not the driver's.
      auto device = [&](int id) -> Device* {
        const auto it = devices_.find(id);
        if (it == devices_.end() || SDL_JoystickGetAttached(it->second.joystick) != SDL_TRUE) {
          return nullptr;
        }
        return &it->second;
      };
      switch (e.type) {
        case SDL_JOYDEVICEADDED:
          open(e.jdevice.which);
          break;
        case SDL_JOYDEVICEREMOVED:
          close(e.jdevice.which);
          reported.erase(e.jdevice.which);
          break;
        case SDL_JOYAXISMOTION:
          if (Device* d = device(e.jaxis.which); d != nullptr && d->controller == nullptr) {
            if (handlers_.axis) handlers_.axis(d->info.id, e.jaxis.axis, e.jaxis.value);
            reported.insert(d->info.id);
          }
          break;
        case SDL_JOYBUTTONDOWN:
        case SDL_JOYBUTTONUP:
          if (Device* d = device(e.jbutton.which); d != nullptr && d->controller == nullptr) {
            if (handlers_.button) {
              handlers_.button(d->info.id, e.jbutton.button, e.jbutton.state == SDL_PRESSED);
            }
            reported.insert(d->info.id);
          }
          break;
        case SDL_JOYHATMOTION:
          if (Device* d = device(e.jhat.which); d != nullptr && d->controller == nullptr) {
            hat(*d, e.jhat.hat, e.jhat.value);
            reported.insert(d->info.id);
          }
          break;
        case SDL_CONTROLLERAXISMOTION:
          if (Device* d = device(e.caxis.which); d != nullptr && d->controller != nullptr) {
            if (handlers_.axis) handlers_.axis(d->info.id, e.caxis.axis, e.caxis.value);
            reported.insert(d->info.id);
          }
          break;
        case SDL_CONTROLLERBUTTONDOWN:
        case SDL_CONTROLLERBUTTONUP:
          if (Device* d = device(e.cbutton.which); d != nullptr && d->controller != nullptr) {
            if (handlers_.button) {
              handlers_.button(d->info.id, e.cbutton.button, e.cbutton.state == SDL_PRESSED);
            }
            reported.insert(d->info.id);
          }
          break;
        default:
          break;  // everything else SDL queues is of no use here
      }
    }
  }
  for (int id : reported) {
    if (devices_.count(id) != 0 && handlers_.reportEnd) handlers_.reportEnd(id);
  }
}

}  // namespace dravolin::platform
