// USB controllers, gamepads and joysticks: the devices plugged in, their axes and buttons, and
// hot-plug. Everything is delivered on the user-interface thread; the owner turns the events
// into commands (input::DeviceMapper).
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace dravolin::platform {

struct InputDeviceInfo {
  int id = 0;  // stays the same while the device is plugged in
  std::string name;
  std::string guid;      // 32 hexadecimal digits: the kind of device
  bool gamepad = false;  // axes and buttons numbered as the game-controller interface names them
  int axes = 0;
  int buttons = 0;
};

class InputDevices {
 public:
  struct Handlers {
    std::function<void(const InputDeviceInfo&)> added;
    std::function<void(int id)> removed;
    std::function<void(int id, int axis, int value)> axis;  // value -32768 to 32767
    std::function<void(int id, int button, bool down)> button;
    // The end of the events that came together from one device (one report).
    std::function<void(int id)> reportEnd;
  };

  virtual ~InputDevices() = default;
  virtual void setHandlers(Handlers handlers) = 0;
  // The devices plugged in now.
  virtual std::vector<InputDeviceInfo> devices() const = 0;
  // A device's present axis values and button states (empty for an unknown id).
  virtual std::vector<int> axisValues(int id) const = 0;
  virtual std::vector<bool> buttonStates(int id) const = 0;
  // Reads what the devices sent and delivers it. A real service does this by itself.
  virtual void pump() = 0;
  // Why no device can be read (the library could not start), or empty.
  virtual std::string lastError() const = 0;
};

// No devices ever.
class NullInputDevices final : public InputDevices {
 public:
  void setHandlers(Handlers) override {}
  std::vector<InputDeviceInfo> devices() const override { return {}; }
  std::vector<int> axisValues(int) const override { return {}; }
  std::vector<bool> buttonStates(int) const override { return {}; }
  void pump() override {}
  std::string lastError() const override { return {}; }
};

}  // namespace dravolin::platform
