// The setup dialog shows the port's settings and returns what the user chose.
#include "shell/serial_setup_dialog.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <cstdlib>

namespace dravolin::testing {
namespace {

using platform::SerialSettings;
using shell::SerialSetupDialog;
using Parity = SerialSettings::Parity;
using StopBits = SerialSettings::StopBits;
using Flow = SerialSettings::FlowControl;

TEST(SerialSetupDialog, ShowsAndReturnsEverySetting) {
  const std::vector<SerialSettings> cases = {
      SerialSettings{},
      {"COM2", 9600, 7, Parity::Odd, StopBits::Two, Flow::Hardware},
      {"/dev/pts/5", 115200, 5, Parity::Mark, StopBits::OneAndHalf, Flow::Software},
      {"COM1", 300, 6, Parity::Space, StopBits::One, Flow::None},
      {"COM1", 19200, 8, Parity::None, StopBits::One, Flow::None},
      {"COM1", 14400, 8, Parity::Even, StopBits::One, Flow::None},  // not a standard rate
  };
  for (const SerialSettings& s : cases) {
    SCOPED_TRACE(s.portName + " " + std::to_string(s.baudRate));
    SerialSetupDialog dialog(s, {"COM1", "COM2"});
    EXPECT_EQ(dialog.settings(), s);
  }
}

TEST(SerialSetupDialog, EditsReachTheSettings) {
  SerialSetupDialog dialog(SerialSettings{}, {"COM1", "COM2", "/dev/ttyUSB0"});
  ASSERT_EQ(dialog.portBox()->count(), 3);
  dialog.portBox()->setCurrentIndex(2);
  dialog.baudRateBox()->setCurrentText("4800");
  dialog.dataBitsBox()->setCurrentText("7");
  dialog.stopBitsBox()->setCurrentText("2");
  dialog.parityBox()->setCurrentText("None");
  dialog.flowControlBox()->setCurrentIndex(2);
  const SerialSettings expected{"/dev/ttyUSB0", 4800,          7,
                                Parity::None,   StopBits::Two, Flow::Software};
  EXPECT_EQ(dialog.settings(), expected);
}

TEST(SerialSetupDialog, AcceptsATypedDevicePathAndShowsTheDeviceOfAName) {
  ::unsetenv("DRAVOLIN_COM2");
  SerialSetupDialog dialog(SerialSettings{}, {"COM1"});
  struct Case {
    QString typed;
    std::string portName;
    QString device;
  };
  const Case cases[] = {
      {"/dev/pts/7", "/dev/pts/7", "/dev/pts/7"},
      {"  /dev/pts/7 ", "/dev/pts/7", "/dev/pts/7"},
      {"COM2", "COM2", "/dev/ttyS1"},
      {"ttyUSB1", "ttyUSB1", "/dev/ttyUSB1"},
      {"", "COM1", ""},  // nothing typed keeps the current name
  };
  for (const Case& c : cases) {
    dialog.portBox()->setEditText(c.typed);
    EXPECT_EQ(dialog.settings().portName, c.portName) << c.typed.toStdString();
    EXPECT_EQ(dialog.deviceText(), c.device) << c.typed.toStdString();
  }
}

}  // namespace
}  // namespace dravolin::testing
