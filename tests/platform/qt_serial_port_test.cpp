// The controller box's port on a real pseudo-terminal pair made by socat.
#include "platform/qt_serial_port.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <QApplication>
#include <QTimer>
#include <algorithm>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "platform/socat_pair.h"

namespace dravolin::testing {
namespace {

using platform::QtSerialPort;
using platform::SerialSettings;

// A device name that exists nowhere and is this test process's own. Qt takes a lock file named
// after the device before it opens it, so two test processes opening the same missing name at
// once would see each other's lock (a busy device) instead of a missing one.
std::string missingDevice() { return "dravolin-no-such-port-" + std::to_string(::getpid()); }

class QtSerialPortTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!SocatPair::available()) {
      GTEST_SKIP() << "socat is not installed (scripts/setup installs it)";
    }
    ASSERT_TRUE(pair_.start()) << "socat did not report two pseudo-terminals";
    ::setenv("DRAVOLIN_COM1", pair_.portEnd().c_str(), 1);
    ::setenv("DRAVOLIN_COM2", pair_.writerEnd().c_str(), 1);
    port_.setOpenedHandler([this] {
      log_.push_back(std::string("opened ") + (port_.connected() ? "connected" : "closed"));
    });
    port_.setClosingHandler([this] {
      log_.push_back(std::string("closing ") + (port_.connected() ? "connected" : "closed"));
    });
    // Like the receive handler of the driving window: read what the event reports.
    port_.setReceiveHandler([this](int count) {
      counts_.push_back(count);
      texts_.push_back(port_.readString(count));
    });
  }
  void TearDown() override {
    ::unsetenv("DRAVOLIN_COM1");
    ::unsetenv("DRAVOLIN_COM2");
  }

  bool waitForMessages(std::size_t n) {
    return pumpUntil([&] { return texts_.size() >= n; }, 5000);
  }

  SocatPair pair_;
  QtSerialPort port_;
  std::vector<std::string> log_;
  std::vector<int> counts_;
  std::vector<std::string> texts_;
};

TEST_F(QtSerialPortTest, StartsOnCom1WithTheControllerBoxSettings) {
  const SerialSettings s = port_.settings();
  EXPECT_EQ(s.portName, "COM1");
  EXPECT_EQ(s.baudRate, 19200);
  EXPECT_EQ(s.dataBits, 8);
  EXPECT_EQ(s.parity, SerialSettings::Parity::Even);
  EXPECT_EQ(s.stopBits, SerialSettings::StopBits::One);
  EXPECT_EQ(s.flowControl, SerialSettings::FlowControl::None);
  EXPECT_EQ(port_.devicePath(), pair_.portEnd());
  EXPECT_FALSE(port_.connected());
}

TEST_F(QtSerialPortTest, FiveCharacterCodeArrivesAsOneReceiveEvent) {
  ASSERT_TRUE(port_.open()) << port_.lastError();
  ASSERT_TRUE(pair_.write("P0001"));
  ASSERT_TRUE(waitForMessages(1));
  pumpFor(200);  // nothing more may follow
  EXPECT_EQ(counts_, std::vector<int>{5});
  EXPECT_EQ(texts_, std::vector<std::string>{"P0001"});
}

TEST_F(QtSerialPortTest, CodesSentApartArriveAsSeparateEvents) {
  ASSERT_TRUE(port_.open()) << port_.lastError();
  ASSERT_TRUE(pair_.write("P0001"));
  ASSERT_TRUE(waitForMessages(1));
  pumpFor(50);
  ASSERT_TRUE(pair_.write("B0008\r\n"));
  ASSERT_TRUE(waitForMessages(2));
  pumpFor(100);
  EXPECT_EQ(texts_, (std::vector<std::string>{"P0001", "B0008\r\n"}));
}

TEST_F(QtSerialPortTest, PiecesOfOneCodeWithinTheQuietGapAreJoined) {
  port_.setReceiveCoalescing(300, 2000);
  ASSERT_TRUE(port_.open()) << port_.lastError();
  ASSERT_TRUE(pair_.write("P00"));
  pumpFor(60);  // the first piece is read before the second is written
  EXPECT_TRUE(texts_.empty());
  ASSERT_TRUE(pair_.write("01"));
  ASSERT_TRUE(waitForMessages(1));
  pumpFor(100);
  EXPECT_EQ(texts_, std::vector<std::string>{"P0001"});
}

TEST_F(QtSerialPortTest, ReceiveHandlerLeavingBytesUnreadSeesThemInTheNextEvent) {
  port_.setReceiveHandler([this](int count) {
    counts_.push_back(count);
    texts_.push_back(port_.readString(2));
  });
  ASSERT_TRUE(port_.open()) << port_.lastError();
  ASSERT_TRUE(pair_.write("P0001"));
  ASSERT_TRUE(waitForMessages(1));
  pumpFor(50);
  ASSERT_TRUE(pair_.write("N"));
  ASSERT_TRUE(waitForMessages(2));
  EXPECT_EQ(counts_, (std::vector<int>{5, 4}));
  EXPECT_EQ(texts_, (std::vector<std::string>{"P0", "00"}));
}

TEST_F(QtSerialPortTest, BytesArrivingWhileTheHandlerWaitsComeInTheNextEvent) {
  int depth = 0;
  int deepest = 0;
  port_.setReceiveHandler([&](int count) {
    deepest = std::max(deepest, ++depth);
    texts_.push_back(port_.readString(count));
    if (texts_.size() == 1) {
      // A handler that waits in a nested event loop (a message box) while the next code comes.
      ASSERT_TRUE(pair_.write("B0001"));
      pumpFor(200);
    }
    --depth;
  });
  ASSERT_TRUE(port_.open()) << port_.lastError();
  ASSERT_TRUE(pair_.write("P0001"));
  ASSERT_TRUE(waitForMessages(2));
  EXPECT_EQ(deepest, 1);
  EXPECT_EQ(texts_, (std::vector<std::string>{"P0001", "B0001"}));
}

TEST_F(QtSerialPortTest, OpenAndCloseEventsFireInOrderWhileThePortIsOpen) {
  port_.close();  // closed: no event
  ASSERT_TRUE(port_.open()) << port_.lastError();
  EXPECT_TRUE(port_.connected());
  EXPECT_TRUE(port_.open());  // already open: no second event
  port_.close();
  EXPECT_FALSE(port_.connected());
  port_.close();
  EXPECT_EQ(log_, (std::vector<std::string>{"opened connected", "closing connected"}));
}

TEST_F(QtSerialPortTest, NoReceiveEventAfterClose) {
  ASSERT_TRUE(port_.open()) << port_.lastError();
  port_.close();
  ASSERT_TRUE(pair_.write("P0001"));
  pumpFor(200);
  EXPECT_TRUE(texts_.empty());
}

TEST_F(QtSerialPortTest, NewPortNameReopensAnOpenPort) {
  EXPECT_TRUE(port_.setPortName("COM1"));  // same name: nothing happens
  ASSERT_TRUE(port_.open()) << port_.lastError();
  EXPECT_TRUE(port_.setPortName("COM1"));
  EXPECT_TRUE(port_.setPortName("COM2")) << port_.lastError();
  EXPECT_TRUE(port_.connected());
  EXPECT_EQ(port_.devicePath(), pair_.writerEnd());
  EXPECT_EQ(log_, (std::vector<std::string>{"opened connected", "closing connected",
                                            "opened connected"}));
}

TEST_F(QtSerialPortTest, NewPortNameOnAClosedPortOnlyRemembersIt) {
  EXPECT_TRUE(port_.setPortName("COM2"));
  EXPECT_FALSE(port_.connected());
  EXPECT_TRUE(log_.empty());
  EXPECT_EQ(port_.portName(), "COM2");
}

TEST_F(QtSerialPortTest, ReopenOnAMissingDeviceFailsAndLeavesThePortClosed) {
  ASSERT_TRUE(port_.open()) << port_.lastError();
  EXPECT_FALSE(port_.setPortName("/dev/" + missingDevice()));
  EXPECT_FALSE(port_.connected());
  EXPECT_EQ(port_.lastError(), "Unable to open com port (win error code: 2)");
  EXPECT_EQ(log_, (std::vector<std::string>{"opened connected", "closing connected"}));
}

TEST_F(QtSerialPortTest, OpenFailureGivesTheSystemErrorNumberAndLeavesThePortClosed) {
  struct Case {
    std::string name;
    std::string com1;  // DRAVOLIN_COM1, or empty to leave it
    int errorNumber;
  };
  const Case cases[] = {
      {"COM1", "/dev/" + missingDevice(), 2},  // ENOENT
      {"/dev/" + missingDevice(), "", 2},
      {missingDevice(), "", 2},
      {"/dev/null", "", 25},  // ENOTTY: not a terminal
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (!c.com1.empty()) {
      ::setenv("DRAVOLIN_COM1", c.com1.c_str(), 1);
    }
    QtSerialPort port;
    std::vector<std::string> events;
    port.setOpenedHandler([&] { events.push_back("opened"); });
    port.setClosingHandler([&] { events.push_back("closing"); });
    ASSERT_TRUE(port.setPortName(c.name));
    EXPECT_FALSE(port.open());
    EXPECT_EQ(port.lastError(),
              "Unable to open com port (win error code: " + std::to_string(c.errorNumber) + ")");
    EXPECT_FALSE(port.connected());
    port.close();
    EXPECT_TRUE(events.empty());
  }
}

TEST_F(QtSerialPortTest, RefusedParityOnAPseudoTerminalIsNotAnError) {
  ASSERT_TRUE(port_.open()) << port_.lastError();
  // Opened with even parity, which the pseudo-terminal dropped; setting it again is refused.
  SerialSettings s = port_.settings();
  s.baudRate = 9600;
  EXPECT_TRUE(port_.setSettings(s)) << port_.lastError();
  EXPECT_EQ(port_.settings(), s);
  s.parity = SerialSettings::Parity::Odd;
  EXPECT_TRUE(port_.setSettings(s)) << port_.lastError();
  EXPECT_TRUE(port_.connected());
  EXPECT_EQ(port_.settings(), s);
  ASSERT_TRUE(pair_.write("N0000"));
  ASSERT_TRUE(waitForMessages(1));
  EXPECT_EQ(texts_.front(), "N0000");
}

TEST_F(QtSerialPortTest, InvalidSettingsAreRefusedAndKeepTheOldOnes) {
  SerialSettings s = port_.settings();
  s.dataBits = 9;
  EXPECT_FALSE(port_.setSettings(s));
  EXPECT_EQ(port_.settings().dataBits, 8);
  EXPECT_FALSE(port_.lastError().empty());
}

TEST_F(QtSerialPortTest, SettingsWithANewNameReopenOnTheNewDevice) {
  ASSERT_TRUE(port_.open()) << port_.lastError();
  SerialSettings s = port_.settings();
  s.portName = pair_.writerEnd();
  s.stopBits = SerialSettings::StopBits::Two;
  EXPECT_TRUE(port_.setSettings(s)) << port_.lastError();
  EXPECT_EQ(port_.settings(), s);
  EXPECT_EQ(port_.devicePath(), pair_.writerEnd());
  EXPECT_EQ(log_.size(), 3u);
}

TEST_F(QtSerialPortTest, LosingTheDeviceClosesThePortWithTheCloseEvent) {
  ASSERT_TRUE(port_.open()) << port_.lastError();
  pair_.stop();
  EXPECT_TRUE(pumpUntil([&] { return !port_.connected(); }, 5000));
  EXPECT_EQ(log_, (std::vector<std::string>{"opened connected", "closing connected"}));
}

// The setup dialog's answer is applied when the user accepts and not when cancelled; without a
// dialog nothing changes.
TEST(QtSerialPortSetup, DialogAppliesAcceptedSettingsOnly) {
  QtSerialPort port;
  EXPECT_TRUE(port.showSetupDialog());
  EXPECT_EQ(port.settings(), SerialSettings{});
  SerialSettings expected;
  expected.portName = "COM2";
  expected.baudRate = 9600;
  expected.parity = SerialSettings::Parity::None;
  std::optional<SerialSettings> answer;
  std::vector<std::string> offered;
  port.setSetupDialog([&](const SerialSettings& current, const std::vector<std::string>& choices) {
    EXPECT_EQ(current, port.settings());
    offered = choices;
    return answer;
  });
  EXPECT_TRUE(port.showSetupDialog());
  EXPECT_EQ(port.settings(), SerialSettings{});
  answer = expected;
  EXPECT_TRUE(port.showSetupDialog());
  EXPECT_EQ(port.settings(), expected);
  EXPECT_FALSE(port.connected());
}

}  // namespace
}  // namespace dravolin::testing
