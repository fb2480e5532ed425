// Sections: open failure numbers; construction; settings and port name; open and close;
// receiving; errors from the device; setup dialog.
#include "platform/qt_serial_port.h"

#include "platform/message_ids.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <QFileInfo>
#include <QSerialPortInfo>
#include <cerrno>
#include <climits>
#include <cstdlib>

namespace dravolin::platform {

namespace {

// ---- Open failure numbers -------------------------------------------------------------------

// The system error number of a failed open: errno as the failed open left it, checked against the
// kind of failure Qt reports. Qt fails without a system call when another program holds the
// device's lock file; that is reported as EBUSY.
int openErrorNumber(QSerialPort::SerialPortError kind, int err) {
  switch (kind) {
    case QSerialPort::DeviceNotFoundError:
      return (err == ENOENT || err == ENODEV || err == ENXIO) ? err : ENOENT;
    case QSerialPort::PermissionError:
      return (err == EACCES || err == EPERM || err == EBUSY) ? err : EBUSY;
    default:
      return err != 0 ? err : EIO;
  }
}

QSerialPort::Parity toQt(SerialSettings::Parity p) {
  switch (p) {
    case SerialSettings::Parity::None:
      return QSerialPort::NoParity;
    case SerialSettings::Parity::Odd:
      return QSerialPort::OddParity;
    case SerialSettings::Parity::Even:
      return QSerialPort::EvenParity;
    case SerialSettings::Parity::Mark:
      return QSerialPort::MarkParity;
    case SerialSettings::Parity::Space:
      return QSerialPort::SpaceParity;
  }
  return QSerialPort::EvenParity;
}

QSerialPort::StopBits toQt(SerialSettings::StopBits s) {
  switch (s) {
    case SerialSettings::StopBits::One:
      return QSerialPort::OneStop;
    case SerialSettings::StopBits::OneAndHalf:
      return QSerialPort::OneAndHalfStop;
    case SerialSettings::StopBits::Two:
      return QSerialPort::TwoStop;
  }
  return QSerialPort::OneStop;
}

QSerialPort::FlowControl toQt(SerialSettings::FlowControl f) {
  switch (f) {
    case SerialSettings::FlowControl::None:
      return QSerialPort::NoFlowControl;
    case SerialSettings::FlowControl::Hardware:
      return QSerialPort::HardwareControl;
    case SerialSettings::FlowControl::Software:
      return QSerialPort::SoftwareControl;
  }
  return QSerialPort::NoFlowControl;
}

bool validSettings(const SerialSettings& s) {
  return s.baudRate > 0 && s.dataBits >= 5 && s.dataBits <= 8 && !s.portName.empty();
}

}  // namespace

// ---- Construction ---------------------------------------------------------------------------

QtSerialPort::QtSerialPort(QObject* parent) : QObject(parent) {
  quietTimer_.setSingleShot(true);
  quietTimer_.setTimerType(Qt::PreciseTimer);
  holdTimer_.setSingleShot(true);
  holdTimer_.setTimerType(Qt::PreciseTimer);
  holdTimer_.setInterval(kDefaultMaxHoldMs);
  connect(&quietTimer_, &QTimer::timeout, this, &QtSerialPort::deliver);
  connect(&holdTimer_, &QTimer::timeout, this, &QtSerialPort::deliver);
  connect(&port_, &QSerialPort::readyRead, this, &QtSerialPort::onReadyRead);
  connect(&port_, &QSerialPort::errorOccurred, this, &QtSerialPort::onError);
}

QtSerialPort::~QtSerialPort() {
  onClosing_ = nullptr;
  if (port_.isOpen()) {
    port_.close();
  }
}

void QtSerialPort::setOpenedHandler(std::function<void()> handler) {
  onOpened_ = std::move(handler);
}
void QtSerialPort::setClosingHandler(std::function<void()> handler) {
  onClosing_ = std::move(handler);
}
void QtSerialPort::setReceiveHandler(std::function<void(int)> handler) {
  onReceive_ = std::move(handler);
}

void QtSerialPort::setReceiveCoalescing(int quietGapMs, int maxHoldMs) {
  quietGapMs_ = quietGapMs < 0 ? 0 : quietGapMs;
  holdTimer_.setInterval(maxHoldMs < quietGapMs_ ? quietGapMs_ : maxHoldMs);
}

std::string QtSerialPort::devicePath() const { return serialDevicePath(settings_.portName); }

// ---- Settings and port name -----------------------------------------------------------------

bool QtSerialPort::setSettings(const SerialSettings& wanted) {
  if (!validSettings(wanted)) {
    lastError_ = msg::serialSetupFailed(msg::serialInvalidSetting()).text();
    return false;
  }
  SerialSettings kept = wanted;
  kept.portName = settings_.portName;
  bool ok = true;
  if (port_.isOpen() && wanted.portName == settings_.portName) {
    ok = applyToOpenPort(kept);
  }
  settings_ = kept;
  // A new name on an open port reopens it, which sets the new settings up before opening.
  return setPortName(wanted.portName) && ok;
}

bool QtSerialPort::applyToOpenPort(const SerialSettings& wanted) {
  bool ok = true;
  auto check = [&](bool applied, bool mayBeIgnored) {
    if (!applied && !mayBeIgnored) {
      lastError_ = msg::serialSetupFailed(port_.errorString().toStdString()).text();
      ok = false;
    }
    port_.clearError();
  };
  // Every setting is applied, changed or not, so the device ends up as the settings say.
  check(port_.setBaudRate(wanted.baudRate), false);
  check(port_.setDataBits(static_cast<QSerialPort::DataBits>(wanted.dataBits)), false);
  // A pseudo-terminal has no parity: Linux drops it, and QSerialPort may then report the setting
  // as refused.
  check(port_.setParity(toQt(wanted.parity)), isPseudoTerminal());
  check(port_.setStopBits(toQt(wanted.stopBits)), false);
  check(port_.setFlowControl(toQt(wanted.flowControl)), false);
  return ok;
}

bool QtSerialPort::setPortName(const std::string& name) {
  if (name == settings_.portName) {
    return true;
  }
  settings_.portName = name;
  if (!port_.isOpen()) {
    return true;
  }
  close();
  return open();
}

bool QtSerialPort::isPseudoTerminal() const {
  struct stat st {};
  if (!port_.isOpen() || ::fstat(static_cast<int>(port_.handle()), &st) != 0 ||
      !S_ISCHR(st.st_mode)) {
    return false;
  }
  const unsigned int m = major(st.st_rdev);
  return (m >= 136 && m <= 143) || m == 3;  // Unix98 and legacy pseudo-terminal slaves
}

// ---- Open and close -------------------------------------------------------------------------

bool QtSerialPort::open() {
  if (port_.isOpen()) {
    return true;
  }
  // Everything is set up before opening: QSerialPort applies it in the same call that configures
  // the device, which a pseudo-terminal accepts (dropping the parity) where a later parity
  // change is refused.
  port_.setPortName(QString::fromStdString(devicePath()));
  port_.setBaudRate(settings_.baudRate);
  port_.setDataBits(static_cast<QSerialPort::DataBits>(settings_.dataBits));
  port_.setParity(toQt(settings_.parity));
  port_.setStopBits(toQt(settings_.stopBits));
  port_.setFlowControl(toQt(settings_.flowControl));
  port_.clearError();

  errno = 0;
  if (!port_.open(QIODevice::ReadWrite)) {
    const int err = errno;
    lastError_ = serialOpenFailureText(openErrorNumber(port_.error(), err));
    port_.clearError();
    return false;
  }
  ++openCount_;
  // DTR and RTS off. A pseudo-terminal has no modem lines and refuses both; with hardware flow
  // control the driver owns RTS. Neither is a reason not to use the port.
  if (settings_.flowControl != SerialSettings::FlowControl::Hardware) {
    port_.setRequestToSend(false);
  }
  port_.setDataTerminalReady(false);
  port_.clearError();

  if (onOpened_) {
    onOpened_();
  }
  return true;
}

void QtSerialPort::close() {
  if (!port_.isOpen() || closing_) {
    return;
  }
  closing_ = true;
  quietTimer_.stop();
  holdTimer_.stop();
  struct Reset {
    bool& flag;
    ~Reset() { flag = false; }
  } reset{closing_};
  if (onClosing_) {
    onClosing_();
  }
  port_.close();
}

bool QtSerialPort::connected() const { return port_.isOpen(); }

// ---- Receiving ------------------------------------------------------------------------------

std::string QtSerialPort::readString(int count) {
  if (count <= 0 || !port_.isOpen()) {
    return {};
  }
  const QByteArray data = port_.read(count);
  return std::string(data.constData(), static_cast<std::size_t>(data.size()));
}

void QtSerialPort::onReadyRead() {
  if (quietGapMs_ <= 0) {
    deliver();
    return;
  }
  quietTimer_.start(quietGapMs_);
  if (!holdTimer_.isActive()) {
    holdTimer_.start();
  }
}

void QtSerialPort::deliver() {
  quietTimer_.stop();
  holdTimer_.stop();
  if (inReceiveHandler_) {
    // The handler is waiting in a nested event loop; hand these bytes over after it returns.
    deliverAgain_ = true;
    return;
  }
  if (!port_.isOpen() || !onReceive_) {
    return;
  }
  const qint64 waiting = port_.bytesAvailable();
  if (waiting <= 0) {
    return;
  }
  {
    inReceiveHandler_ = true;
    struct Reset {
      bool& flag;
      ~Reset() { flag = false; }
    } reset{inReceiveHandler_};
    onReceive_(waiting > INT_MAX ? INT_MAX : static_cast<int>(waiting));
  }
  if (deliverAgain_) {
    deliverAgain_ = false;
    if (port_.isOpen() && port_.bytesAvailable() > 0) {
      onReadyRead();
    }
  }
}

// ---- Errors from the device -----------------------------------------------------------------

void QtSerialPort::onError(QSerialPort::SerialPortError error) {
  if ((error != QSerialPort::ResourceError && error != QSerialPort::ReadError) || !port_.isOpen() ||
      closeQueued_) {
    return;
  }
  // The device went away (a USB adapter pulled out, the other end of a pseudo-terminal closed).
  // QSerialPort then either stops reading or keeps reporting the failed read, so the port is of
  // no further use: close it, with its before-close event, once the current call has returned.
  closeQueued_ = true;
  const long opened = openCount_;
  QMetaObject::invokeMethod(
      this,
      [this, opened] {
        closeQueued_ = false;
        if (openCount_ == opened) {
          close();
        }
      },
      Qt::QueuedConnection);
}

// ---- Setup dialog ---------------------------------------------------------------------------

bool QtSerialPort::showSetupDialog() {
  if (!setupDialog_) return true;
  std::vector<std::string> present;
  for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
    present.push_back(info.systemLocation().toStdString());
  }
  const auto choices = serialPortChoices(
      present, [](const char* name) { return std::getenv(name); },
      [](const std::string& path) { return QFileInfo::exists(QString::fromStdString(path)); });
  const std::optional<SerialSettings> chosen = setupDialog_(settings_, choices);
  if (!chosen) {
    return true;
  }
  return setSettings(*chosen);
}

}  // namespace dravolin::platform
