// The input devices through SDL2's joystick and game-controller interfaces.
//
// Nothing polls while no device is plugged in: a watch on the device folder (/dev/input, an
// inotify watch through QFileSystemWatcher) wakes the service when a device node comes or goes,
// and only then does SDL look for devices. While a device is open a timer reads it every 10 ms
// (a command reaches the handles well within one 33 ms simulation tick); the timer stops when
// the last device goes. SDL is only ever called on the thread that made this object, and it
// installs no signal handlers of its own.
#pragma once

#include <QFileSystemWatcher>
#include <QObject>
#include <QTimer>
#include <map>

#include "platform/input_devices.h"

struct _SDL_Joystick;
struct _SDL_GameController;

namespace dravolin::platform {

class SdlInputDevices final : public QObject, public InputDevices {
  Q_OBJECT

 public:
  // Reading period while a device is open.
  static constexpr int kReadPeriodMs = 10;
  // Events delivered by one read at most; the rest wait for the next (a flood never stalls the
  // user-interface thread).
  static constexpr int kMaxEventsPerRead = 512;

  // Starts SDL's joystick and game-controller interfaces; `deviceFolder` is watched for
  // hot-plug. The devices already plugged in are reported at the first pump().
  explicit SdlInputDevices(const QString& deviceFolder = "/dev/input", QObject* parent = nullptr);
  ~SdlInputDevices() override;

  void setHandlers(Handlers handlers) override { handlers_ = std::move(handlers); }
  std::vector<InputDeviceInfo> devices() const override;
  std::vector<int> axisValues(int id) const override;
  std::vector<bool> buttonStates(int id) const override;
  void pump() override;
  std::string lastError() const override { return error_; }

  // Whether the reading timer runs (only while a device is open).
  bool reading() const { return readTimer_.isActive(); }

 private:
  struct Device {
    InputDeviceInfo info;
    _SDL_Joystick* joystick = nullptr;
    _SDL_GameController* controller = nullptr;
    int plainButtons = 0;        // buttons before the hats' four each
    std::vector<unsigned> hats;  // last hat positions
  };
  void open(int deviceIndex);
  void close(int id);
  void hat(Device& d, int hat, unsigned value);

  bool started_ = false;
  std::string error_;
  Handlers handlers_;
  std::map<int, Device> devices_;
  QTimer readTimer_;
  QFileSystemWatcher watcher_;
};

}  // namespace dravolin::platform
