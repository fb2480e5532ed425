// The serial port's setup dialog: port, baud rate, data bits, stop bits, parity and flow control.
// The port is chosen from the ports present or typed in (a device path such as /dev/pts/3, since
// pseudo-terminals are not listed); the line under it names the device the choice stands for.
#pragma once

#include <QDialog>
#include <optional>
#include <string>
#include <vector>

#include "platform/serial_port.h"

class QComboBox;
class QLabel;

namespace dravolin::shell {

using platform::SerialSettings;

class SerialSetupDialog final : public QDialog {
  Q_OBJECT

 public:
  // Standard baud rates offered; a current rate that is not among them is offered as well.
  static constexpr int kBaudRates[] = {300,  600,   1200,  2400,  4800,
                                       9600, 19200, 38400, 57600, 115200};

  SerialSetupDialog(const SerialSettings& current, const std::vector<std::string>& portChoices,
                    QWidget* parent = nullptr);

  // The settings as the dialog shows them now. An empty port entry keeps the current name.
  SerialSettings settings() const;

  QComboBox* portBox() const { return port_; }
  QComboBox* baudRateBox() const { return baudRate_; }
  QComboBox* dataBitsBox() const { return dataBits_; }
  QComboBox* stopBitsBox() const { return stopBits_; }
  QComboBox* parityBox() const { return parity_; }
  QComboBox* flowControlBox() const { return flowControl_; }
  // The device the port entry stands for, as shown under it.
  QString deviceText() const;

 private:
  void showDevice();

  std::string currentName_;
  QComboBox* port_;
  QLabel* device_;
  QComboBox* baudRate_;
  QComboBox* dataBits_;
  QComboBox* stopBits_;
  QComboBox* parity_;
  QComboBox* flowControl_;
};

// Shows the dialog modally over `parent`; the settings the user accepted, or std::nullopt when
// cancelled. This is what the driving window gives its serial port as the setup dialog.
std::optional<SerialSettings> runSerialSetupDialog(const SerialSettings& current,
                                                   const std::vector<std::string>& portChoices,
                                                   QWidget* parent);

}  // namespace dravolin::shell
