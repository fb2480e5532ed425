#include "shell/serial_setup_dialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace dravolin::shell {

using platform::serialDevicePath;

namespace {

// Selects the entry whose data is `value`.
void selectData(QComboBox* box, int value) {
  const int index = box->findData(value);
  if (index >= 0) {
    box->setCurrentIndex(index);
  }
}

}  // namespace

SerialSetupDialog::SerialSetupDialog(const SerialSettings& current,
                                     const std::vector<std::string>& portChoices, QWidget* parent)
    : QDialog(parent),
      currentName_(current.portName),
      port_(new QComboBox(this)),
      device_(new QLabel(this)),
      baudRate_(new QComboBox(this)),
      dataBits_(new QComboBox(this)),
      stopBits_(new QComboBox(this)),
      parity_(new QComboBox(this)),
      flowControl_(new QComboBox(this)) {
  setWindowTitle("Setup");
  setModal(true);

  port_->setObjectName("port");
  port_->setEditable(true);
  port_->setInsertPolicy(QComboBox::NoInsert);
  for (const std::string& choice : portChoices) {
    port_->addItem(QString::fromStdString(choice));
  }
  port_->setEditText(QString::fromStdString(current.portName));
  device_->setObjectName("device");
  connect(port_, &QComboBox::editTextChanged, this, &SerialSetupDialog::showDevice);
  showDevice();

  baudRate_->setObjectName("baudRate");
  bool standard = false;
  for (int rate : kBaudRates) {
    baudRate_->addItem(QString::number(rate), rate);
    standard = standard || rate == current.baudRate;
  }
  if (!standard && current.baudRate > 0) {
    baudRate_->addItem(QString::number(current.baudRate), current.baudRate);
  }
  selectData(baudRate_, current.baudRate);

  dataBits_->setObjectName("dataBits");
  for (int bits = 5; bits <= 8; ++bits) {
    dataBits_->addItem(QString::number(bits), bits);
  }
  selectData(dataBits_, current.dataBits);

  using StopBits = SerialSettings::StopBits;
  stopBits_->setObjectName("stopBits");
  stopBits_->addItem("1", static_cast<int>(StopBits::One));
  stopBits_->addItem("1.5", static_cast<int>(StopBits::OneAndHalf));
  stopBits_->addItem("2", static_cast<int>(StopBits::Two));
  selectData(stopBits_, static_cast<int>(current.stopBits));

  using Parity = SerialSettings::Parity;
  parity_->setObjectName("parity");
  parity_->addItem("None", static_cast<int>(Parity::None));
  parity_->addItem("Odd", static_cast<int>(Parity::Odd));
  parity_->addItem("Even", static_cast<int>(Parity::Even));
  parity_->addItem("Mark", static_cast<int>(Parity::Mark));
  parity_->addItem("Space", static_cast<int>(Parity::Space));
  selectData(parity_, static_cast<int>(current.parity));

  using FlowControl = SerialSettings::FlowControl;
  flowControl_->setObjectName("flowControl");
  flowControl_->addItem("None", static_cast<int>(FlowControl::None));
  flowControl_->addItem("Hardware (RTS/CTS)", static_cast<int>(FlowControl::Hardware));
  flowControl_->addItem("Software (XON/XOFF)", static_cast<int>(FlowControl::Software));
  selectData(flowControl_, static_cast<int>(current.flowControl));

  auto* form = new QFormLayout;
  form->addRow("Port", port_);
  form->addRow("", device_);
  form->addRow("Baud rate", baudRate_);
  form->addRow("Data bits", dataBits_);
  form->addRow("Stop bits", stopBits_);
  form->addRow("Parity", parity_);
  form->addRow("Flow control", flowControl_);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(buttons);
}

SerialSettings SerialSetupDialog::settings() const {
  SerialSettings s;
  const std::string typed = port_->currentText().trimmed().toStdString();
  s.portName = typed.empty() ? currentName_ : typed;
  s.baudRate = baudRate_->currentData().toInt();
  s.dataBits = dataBits_->currentData().toInt();
  s.stopBits = static_cast<SerialSettings::StopBits>(stopBits_->currentData().toInt());
  s.parity = static_cast<SerialSettings::Parity>(parity_->currentData().toInt());
  s.flowControl = static_cast<SerialSettings::FlowControl>(flowControl_->currentData().toInt());
  return s;
}

QString SerialSetupDialog::deviceText() const { return device_->text(); }

void SerialSetupDialog::showDevice() {
  const std::string typed = port_->currentText().trimmed().toStdString();
  device_->setText(typed.empty() ? QString() : QString::fromStdString(serialDevicePath(typed)));
}

std::optional<SerialSettings> runSerialSetupDialog(const SerialSettings& current,
                                                   const std::vector<std::string>& portChoices,
                                                   QWidget* parent) {
  SerialSetupDialog dialog(current, portChoices, parent);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  return dialog.settings();
}

}  // namespace dravolin::shell
