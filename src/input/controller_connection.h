// The Controller menu's logic: which port the controller box is on, and connecting and
// disconnecting it. A menu only calls these; the messages go to the shell, which shows them in a
// message box.
#pragma once

#include <functional>
#include <string>

#include "platform/serial_port.h"

namespace dravolin::input {

// The messages after the port opens and before it closes: msg::controllerConnected() ("Connect to
// controller.") and msg::controllerDisconnected() ("Disconnect from controller.").

class ControllerConnection {
 public:
  enum class MessageKind { Information, Error };
  using MessageSink = std::function<void(const std::string& text, MessageKind kind)>;

  // Installs the port's after-open and before-close events, which show the connect and the
  // disconnect message. The port must outlive this object.
  ControllerConnection(platform::SerialPort& port, MessageSink show);
  ~ControllerConnection();
  ControllerConnection(const ControllerConnection&) = delete;
  ControllerConnection& operator=(const ControllerConnection&) = delete;

  // "COM1", "COM2": the port name, then connect or disconnect. Choosing another name while
  // connected reopens the port on it first (disconnect and connect messages), then closes it.
  void COM11Click() { choosePort("COM1"); }
  void COM21Click() { choosePort("COM2"); }
  void choosePort(const std::string& name);
  // "Setup": the port's setup dialog.
  void Setup1Click();
  // "Connect": opens a closed port, closes an open one, on the current name.
  void Connect1Click();

  bool connected() const { return port_.connected(); }

 private:
  void showError();

  platform::SerialPort& port_;
  MessageSink show_;
};

}  // namespace dravolin::input
