// The controller box end to end: the Controller menu opens the real port on one end of a socat
// pseudo-terminal pair, codes written into the other end move the handles and press the buttons.
#include <gtest/gtest.h>

#include <cstdlib>

#include "input/controller_connection.h"
#include "input/input_rig.h"
#include "platform/qt_serial_port.h"
#include "platform/socat_pair.h"

namespace dravolin::testing {
namespace {

TEST(ControllerBoxPort, CodesThroughTheMenuConnectedPortDriveTheTrain) {
  if (!SocatPair::available()) GTEST_SKIP() << "socat is not installed";
  SocatPair pair;
  ASSERT_TRUE(pair.start());
  ::setenv("DRAVOLIN_COM2", pair.portEnd().c_str(), 1);

  InputRig rig;
  rig.mascon.codes = {"P0001", "P0002", "P0003", "P0004", "P0005", "P0006", "N0000", "B0001",
                      "B0002", "B0003", "B0004", "B0005", "B0006", "B0007", "B0008", "EB000",
                      "RF000", "RN000", "RB000", "ATS00", "HORN0", "CALL0"};
  platform::QtSerialPort port;
  std::vector<std::string> shown;
  input::ControllerConnection menu(
      port, [&](const std::string& text, input::ControllerConnection::MessageKind) {
        shown.push_back(text);
      });
  int events = 0;
  port.setReceiveHandler([&](int count) {
    rig.receive(port.readString(count));
    rig.drain();
    ++events;
  });

  menu.COM21Click();
  ASSERT_TRUE(port.connected()) << port.lastError();
  ASSERT_TRUE(pair.write("P0003\r\n"));
  ASSERT_TRUE(pumpUntil([&] { return events >= 1; }, 5000));
  EXPECT_EQ(rig.state.PowerHandle, 3);
  EXPECT_EQ(rig.drive.caption, "P0003\r\n");
  pumpFor(100);
  ASSERT_TRUE(pair.write("HORN0"));
  ASSERT_TRUE(pumpUntil([&] { return events >= 2; }, 5000));
  EXPECT_TRUE(rig.sound.isPlaying(kHorn));

  menu.Connect1Click();
  EXPECT_FALSE(port.connected());
  EXPECT_EQ(shown,
            (std::vector<std::string>{"Connect to controller.", "Disconnect from controller."}));
  ::unsetenv("DRAVOLIN_COM2");
}

}  // namespace
}  // namespace dravolin::testing
