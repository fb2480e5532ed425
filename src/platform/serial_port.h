// The serial port of the controller box (`ComPort1`).
//
// The box sends short text codes; nothing is ever sent back. The port is opened and closed from
// the Controller menu. Its three events run on the user-interface thread: the after-open event
// (`COMOpened`), the before-close event (`COMClosed`) and the receive event (`RxChar`), which
// reports how many received bytes are waiting.
//
// Failures are reported, not thrown: open() and the calls that may reopen the port return false,
// leave the port closed and keep the text to show in lastError().
//
// The class is an interface; the port-name functions after it belong to the platform library
// (serial_port.cpp).
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace dravolin::platform {

struct SerialSettings {
  enum class Parity { None, Odd, Even, Mark, Space };
  enum class StopBits { One, OneAndHalf, Two };
  enum class FlowControl { None, Hardware, Software };

  // "COM1", "COM2", ... or a device path ("/dev/ttyUSB0"); see serialDevicePath().
  std::string portName = "COM1";
  int baudRate = 19200;  // bits per second
  int dataBits = 8;      // 5 to 8
  Parity parity = Parity::Even;
  StopBits stopBits = StopBits::One;
  FlowControl flowControl = FlowControl::None;

  bool operator==(const SerialSettings&) const = default;
};

class SerialPort {
 public:
  virtual ~SerialPort() = default;

  virtual const SerialSettings& settings() const = 0;
  // Stores the settings. When the port is open they take effect at once, and a new port name
  // reopens the port as setPortName() does. Returns false (the reason in lastError()) when the
  // device refused a setting or the reopen failed.
  virtual bool setSettings(const SerialSettings& settings) = 0;

  virtual std::string portName() const = 0;
  // When the name differs from the current one and the port is open, closes the port (before-close
  // event) and opens it on the new name (after-open event). Returns false when that reopen failed;
  // the port is then closed.
  virtual bool setPortName(const std::string& name) = 0;

  // Opens the port with its settings (DTR and RTS off), then fires the after-open event. An open
  // port stays as it is. On failure returns false, fires nothing, leaves the port closed and sets
  // lastError() to "Unable to open com port (win error code: N)", N the system's error number.
  virtual bool open() = 0;
  // Fires the before-close event, then closes the port. Does nothing when the port is closed.
  virtual void close() = 0;
  virtual bool connected() const = 0;

  // Removes up to `count` received bytes from the port's buffer and returns them.
  virtual std::string readString(int count) = 0;

  // Shows the modal setup dialog (port, baud rate, data bits, stop bits, parity, flow control)
  // and applies what the user accepted as setSettings() does. Returns false when applying failed.
  virtual bool showSetupDialog() = 0;

  // The text of the last failure, for the error box.
  virtual std::string lastError() const = 0;

  virtual void setOpenedHandler(std::function<void()> handler) = 0;
  virtual void setClosingHandler(std::function<void()> handler) = 0;
  // Called with the number of bytes waiting.
  virtual void setReceiveHandler(std::function<void(int byteCount)> handler) = 0;
};

// ---- Port-name rules of the platform library ------------------------------------------------

// Looks up an environment variable; nullptr when it is not set.
using EnvironmentLookup = std::function<const char*(const char*)>;

// The device a port name stands for. "COMn" (any letter case, n >= 1) is the device named by the
// environment variable DRAVOLIN_COMn when that is set and not empty, else /dev/ttyS(n-1): "COM1"
// is /dev/ttyS0 and "COM2" is /dev/ttyS1. A path beginning with "/" is itself; any other name is
// taken under /dev.
std::string serialDevicePath(const std::string& portName, const EnvironmentLookup& env);
// serialDevicePath() with the process environment.
std::string serialDevicePath(const std::string& portName);

// The names the setup dialog offers, from the devices present: "COMn" for every COM name whose
// device is present (a device named by DRAVOLIN_COMn counts when `exists` says so, since
// pseudo-terminals are not listed as serial ports), in number order, then each other present
// device by its path, in path order.
std::vector<std::string> serialPortChoices(const std::vector<std::string>& presentDevices,
                                           const EnvironmentLookup& env,
                                           const std::function<bool(const std::string&)>& exists);

// "Unable to open com port (win error code: N)".
inline std::string serialOpenFailureText(int systemErrorNumber) {
  return "Unable to open com port (win error code: " + std::to_string(systemErrorNumber) + ")";
}

}  // namespace dravolin::platform
