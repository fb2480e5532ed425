// The controller box: code lines, message keys, posted events and the Controller menu.
#include <gtest/gtest.h>

#include "fixtures/fake_serial_port.h"
#include "input/controller_connection.h"
#include "input_rig.h"
#include "sim/simulation_tick.h"

namespace dravolin::testing {
namespace {

using input::PostedEvent;

// Codes "L01xx" to "L26xx" for the 26 lines.
data::ControllerMap lineCodes() {
  data::ControllerMap map;
  for (int line = 1; line <= data::ControllerMap::kMaxCodes; ++line) {
    map.codes.push_back("L" + std::to_string(line / 10) + std::to_string(line % 10) + "xx");
  }
  return map;
}

std::string code(int line) { return lineCodes().codes[line - 1]; }

struct LineCase {
  int line;
  int power;  // expected handles; the start is P2 B3 in the holding position, reverser neutral
  int brake;
  int reverser;
  std::vector<PostedEvent> posted;
};

class CodeLine : public ::testing::TestWithParam<LineCase> {};

TEST_P(CodeLine, ActsWithoutConditions) {
  const LineCase& c = GetParam();
  InputRig rig;  // Power 4, Brake 8
  rig.mascon = lineCodes();
  rig.state.AwaitingStart = true;
  rig.state.PowerHandle = 2;
  rig.state.BrakeHandle = -3;
  rig.state.HoldingBrake = true;
  rig.input.HoldExitLatch = true;
  rig.state.Reverser = 0;
  rig.cab.Lamp_Fwd.visible = false;
  rig.cab.Lamp_Bck.visible = true;
  rig.protection.EbIdleTicks = 640;
  rig.receive(code(c.line));
  EXPECT_EQ(rig.state.PowerHandle, c.power);
  EXPECT_EQ(rig.state.BrakeHandle, c.brake);
  EXPECT_EQ(rig.state.Reverser, c.reverser);
  // A handle position leaves the holding position; the other lines keep it.
  EXPECT_EQ(rig.state.HoldingBrake, c.line > 16);
  EXPECT_EQ(rig.input.HoldExitLatch, c.line > 16);
  // The reverser lines light the lamp of their direction; the others leave the lamps alone.
  const bool reverserLine = c.line >= 17 && c.line <= 19;
  EXPECT_EQ(rig.cab.Lamp_Fwd.visible, c.line == 17);
  EXPECT_EQ(rig.cab.Lamp_Bck.visible, !reverserLine || c.line == 19);
  EXPECT_EQ(rig.state.PowerChangePending && rig.state.BrakeChangePending, c.line <= 16);
  EXPECT_EQ(rig.drive.masconUpdates, c.line <= 19 ? 1 : 0);
  EXPECT_EQ(rig.sound.isPlaying(kEb), c.line == 16);
  EXPECT_EQ(rig.protection.EbIdleTicks, 0);
  EXPECT_EQ(rig.drive.caption, code(c.line));
  std::vector<PostedEvent> posted;
  while (!rig.drive.posted.empty()) posted.push_back(rig.drive.posted.take());
  EXPECT_EQ(posted, c.posted);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, CodeLine,
    ::testing::Values(
        LineCase{1, 1, 0, 0, {}}, LineCase{2, 2, 0, 0, {}}, LineCase{3, 3, 0, 0, {}},
        LineCase{4, 4, 0, 0, {}}, LineCase{5, 4, 0, 0, {}}, LineCase{6, 4, 0, 0, {}},
        LineCase{7, 0, 0, 0, {}}, LineCase{8, 0, -1, 0, {}}, LineCase{9, 0, -2, 0, {}},
        LineCase{10, 0, -3, 0, {}}, LineCase{11, 0, -4, 0, {}}, LineCase{12, 0, -5, 0, {}},
        LineCase{13, 0, -6, 0, {}}, LineCase{14, 0, -7, 0, {}}, LineCase{15, 0, -7, 0, {}},
        LineCase{16, 0, -8, 0, {}}, LineCase{17, 2, -3, 1, {}}, LineCase{18, 2, -3, 0, {}},
        LineCase{19, 2, -3, -1, {}}, LineCase{20, 2, -3, 0, {PostedEvent::character(' ')}},
        LineCase{21, 2, -3, 0, {PostedEvent::character('3')}},
        LineCase{22, 2, -3, 0, {PostedEvent::keyDown(input::kKeyEnter)}},
        LineCase{23, 2, -3, 0, {}}),
    [](const auto& info) { return "Line" + std::to_string(info.param.line); });

// The box has 6 power notches and 8 service steps; a train with fewer takes a code beyond its
// last one as its last one, and the emergency code as its own emergency position.
TEST(ControllerBox, HandleCodesStayInTheTrainsRange) {
  const struct {
    int power, brake;  // the train's notches and brake positions
    int line;          // code line received
    int powerHandle, brakeHandle;
  } cases[] = {
      {4, 8, 4, 4, 0},   {4, 8, 5, 4, 0},   {4, 8, 6, 4, 0},   {6, 9, 6, 6, 0},
      {6, 9, 15, 0, -8}, {6, 9, 16, 0, -9}, {4, 8, 14, 0, -7}, {4, 8, 15, 0, -7},
      {4, 8, 16, 0, -8}, {5, 4, 10, 0, -3}, {5, 4, 11, 0, -3}, {5, 4, 16, 0, -4},
  };
  for (const auto& c : cases) {
    sim::TrainParams p = electricTrain();
    p.Power = c.power;
    p.Brake = c.brake;
    InputRig rig(p);
    rig.mascon = lineCodes();
    rig.receive(code(c.line));
    EXPECT_EQ(rig.state.PowerHandle, c.powerHandle) << c.power << "/" << c.brake << " " << c.line;
    EXPECT_EQ(rig.state.BrakeHandle, c.brakeHandle) << c.power << "/" << c.brake << " " << c.line;
  }
}

TEST(ControllerBox, OnlyTheFirstFiveCharactersCount) {
  // message, resulting power handle (from 0)
  for (const auto& [message, power] : {std::pair{code(3) + "\r\n", 3},
                                       {code(3) + code(5), 3},
                                       {code(3).substr(0, 4), 0},
                                       {std::string("l03xx"), 0},
                                       {std::string(), 0}}) {
    InputRig rig;
    rig.mascon = lineCodes();
    rig.mascon.codes[9] = "ab";  // a short code matches only itself: B3
    rig.receive(message);
    EXPECT_EQ(rig.state.PowerHandle, power) << message;
    EXPECT_EQ(rig.state.BrakeHandle, 0) << message;
    EXPECT_EQ(rig.drive.caption, message);
  }
  InputRig rig;
  rig.mascon = lineCodes();
  rig.mascon.codes[9] = "ab";
  rig.receive("ab");
  EXPECT_EQ(rig.state.BrakeHandle, -3);
  rig.mascon.codes.resize(2);  // a map cut short by "#": lines 3 on have no code
  rig.receive(code(3));
  EXPECT_EQ(rig.state.BrakeHandle, -3);
}

TEST(ControllerBox, ReverserOnlyUpToOneKilometrePerHour) {
  for (const auto& [speedRaw, reverser] : {std::pair{20000, 0}, {5000, 1}, {-10000, 1}}) {
    InputRig rig;
    rig.mascon = lineCodes();
    rig.state.Reverser = 0;
    rig.state.Speed = sim::Fixed::fromRaw(speedRaw);
    rig.receive(code(17));
    EXPECT_EQ(rig.state.Reverser, reverser) << speedRaw;
    // Refused: both lamps as they were; set: the forward lamp alone.
    EXPECT_TRUE(rig.cab.Lamp_Fwd.visible) << speedRaw;
    EXPECT_EQ(rig.cab.Lamp_Bck.visible, reverser == 0) << speedRaw;
  }
}

TEST(ControllerBox, PostedButtonsActAfterTheMessageInOrder) {
  InputRig rig;
  rig.mascon = lineCodes();
  rig.mascon.codes[19] = code(8);  // one code for B1 and the ATS button
  rig.protection.AtsAlarm = true;
  rig.receive(code(8));
  EXPECT_FALSE(rig.protection.AtsConfirmed);  // posted, not yet handled
  rig.drain();
  EXPECT_TRUE(rig.protection.AtsConfirmed);  // the brake of the same message was applied first
  rig.receive(code(21));
  rig.receive(code(22));
  rig.drain();
  EXPECT_TRUE(rig.sound.isPlaying(kHorn));
  EXPECT_TRUE(rig.drive.posted.empty());
}

TEST(ControllerBox, PositionsBeyondTheTrainReadOnlyItsTables) {
  // A four-notch, eight-step train: P6 drives like P4; B8 and the emergency code brake like EB.
  const sim::TrainParams p = electricTrain();
  for (const auto& [line, power, brake] : {std::tuple{6, 4, 0}, {15, 0, -8}, {16, 0, -8}}) {
    InputRig box(p), keys(p);
    box.mascon = lineCodes();
    box.receive(code(line));
    keys.state.PowerHandle = power;
    keys.state.BrakeHandle = brake;
    keys.state.PowerChangePending = keys.state.BrakeChangePending = true;
    for (int tick = 0; tick < 30; ++tick) {
      sim::MMTimer1Timer(box.state, p, testLine());
      sim::MMTimer1Timer(keys.state, p, testLine());
    }
    EXPECT_EQ(box.state.TractiveForce, keys.state.TractiveForce) << line;
    if (power > 0) {
      EXPECT_GT(box.state.TractiveForce.raw(), 0);
    }
    EXPECT_EQ(box.state.BrakePressure, keys.state.BrakePressure) << line;
  }
}

TEST(ControllerConnection, MenuOpensClosesAndSwitchesPorts) {
  FakeSerialPort port;
  std::vector<std::string> shown;
  input::ControllerConnection menu(port, [&](const std::string& text, auto kind) {
    shown.push_back((kind == input::ControllerConnection::MessageKind::Error ? "error: " : "") +
                    text);
  });
  menu.COM21Click();
  menu.COM11Click();  // reopens on COM1, then closes
  menu.Connect1Click();
  EXPECT_TRUE(menu.connected());
  menu.Connect1Click();
  port.failOpenWith = 2;
  menu.Connect1Click();
  EXPECT_FALSE(menu.connected());
  // The fake names the port already renamed when it closes it for the reopen.
  EXPECT_EQ(port.log, (std::vector<std::string>{"open COM2", "close COM1", "open COM1",
                                                "close COM1", "open COM1", "close COM1"}));
  const std::string on = "Connect to controller.", off = "Disconnect from controller.";
  EXPECT_EQ(shown,
            (std::vector<std::string>{on, off, on, off, on, off,
                                      "error: Unable to open com port (win error code: 2)"}));
}

}  // namespace
}  // namespace dravolin::testing
