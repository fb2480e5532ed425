// The controller box's serial port through Qt SerialPort.
//
// Everything runs on the user-interface thread: QSerialPort reads the device from the event loop
// and the receive event is called from there, so the receive handler never overlaps another
// handler. Bytes that arrive within a short quiet gap of each other are handed over as one
// receive event, so a code that the device or the pseudo-terminal splits into two reads still
// arrives as one message.
//
// Port names: see serialDevicePath() ("COM1" is /dev/ttyS0 unless DRAVOLIN_COM1 names a device).
// A pseudo-terminal takes no parity: Linux clears it silently when the port opens, and setting it
// again on the open port may be refused, so a refused parity on a pseudo-terminal is not an error.
#pragma once

#include <QObject>
#include <QSerialPort>
#include <QTimer>
#include <optional>
#include <vector>

#include "platform/serial_port.h"

namespace dravolin::platform {

class QtSerialPort final : public QObject, public SerialPort {
  Q_OBJECT

 public:
  // Quiet gap after which waiting bytes are handed over: about five character times at 19200
  // baud (one character, 8 data bits with parity, is 0.57 ms).
  static constexpr int kDefaultQuietGapMs = 3;
  // Bytes are handed over at the latest this long after the first of them arrived, however busy
  // the line is.
  static constexpr int kDefaultMaxHoldMs = 20;

  // The setup dialog the port shows: given the current settings and the port names to offer,
  // the settings the user accepted, or std::nullopt when cancelled. The windows that own the
  // port provide it.
  using SetupDialog = std::function<std::optional<SerialSettings>(
      const SerialSettings& current, const std::vector<std::string>& portChoices)>;

  explicit QtSerialPort(QObject* parent = nullptr);
  // Closes an open port without firing the before-close event: by then its handler's owner may be
  // gone. Owners close the port themselves when they want the event.
  ~QtSerialPort() override;

  const SerialSettings& settings() const override { return settings_; }
  bool setSettings(const SerialSettings& settings) override;
  std::string portName() const override { return settings_.portName; }
  bool setPortName(const std::string& name) override;
  bool open() override;
  void close() override;
  bool connected() const override;
  std::string readString(int count) override;
  // Shows the setup dialog given to setSetupDialog(); without one, nothing happens.
  bool showSetupDialog() override;
  void setSetupDialog(SetupDialog dialog) { setupDialog_ = std::move(dialog); }
  std::string lastError() const override { return lastError_; }
  void setOpenedHandler(std::function<void()> handler) override;
  void setClosingHandler(std::function<void()> handler) override;
  void setReceiveHandler(std::function<void(int byteCount)> handler) override;

  // How long the line must stay quiet before waiting bytes are handed over, and the longest they
  // are held (milliseconds). A quiet gap of 0 hands over every read at once.
  void setReceiveCoalescing(int quietGapMs, int maxHoldMs);
  // The device the port is (or would be) opened on.
  std::string devicePath() const;

 private:
  void onReadyRead();
  void deliver();
  void onError(QSerialPort::SerialPortError error);
  // Applies one setting to the open port; true when the device took it or may ignore it.
  bool applyToOpenPort(const SerialSettings& wanted);
  bool isPseudoTerminal() const;

  SetupDialog setupDialog_;
  QSerialPort port_;
  SerialSettings settings_;
  std::string lastError_;
  QTimer quietTimer_;
  QTimer holdTimer_;
  int quietGapMs_ = kDefaultQuietGapMs;
  bool inReceiveHandler_ = false;
  bool deliverAgain_ = false;
  bool closing_ = false;
  bool closeQueued_ = false;
  long openCount_ = 0;  // successful opens, to tell one open period from the next
  std::function<void()> onOpened_;
  std::function<void()> onClosing_;
  std::function<void(int)> onReceive_;
};

}  // namespace dravolin::platform
