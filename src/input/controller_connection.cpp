#include "input/controller_connection.h"

#include <utility>

#include "platform/message_ids.h"

namespace dravolin::input {

ControllerConnection::ControllerConnection(platform::SerialPort& port, MessageSink show)
    : port_(port), show_(std::move(show)) {
  port_.setOpenedHandler(
      [this] { show_(msg::controllerConnected().text(), MessageKind::Information); });
  port_.setClosingHandler(
      [this] { show_(msg::controllerDisconnected().text(), MessageKind::Information); });
}

ControllerConnection::~ControllerConnection() {
  port_.setOpenedHandler(nullptr);
  port_.setClosingHandler(nullptr);
}

void ControllerConnection::showError() { show_(port_.lastError(), MessageKind::Error); }

void ControllerConnection::choosePort(const std::string& name) {
  // A failed reopen on the new name leaves the port closed; its error ends the command.
  if (!port_.setPortName(name)) {
    showError();
    return;
  }
  Connect1Click();
}

void ControllerConnection::Setup1Click() {
  if (!port_.showSetupDialog()) showError();
}

void ControllerConnection::Connect1Click() {
  if (port_.connected()) {
    port_.close();
  } else if (!port_.open()) {
    showError();
  }
}

}  // namespace dravolin::input
