// The keyboard and the mouse wheel on the handles, sounds, call-outs and ATS buttons.
#include <gtest/gtest.h>

#include "input/ats_buttons.h"
#include "input_rig.h"

namespace dravolin::testing {
namespace {

using FS = FakeSoundSlots::State;

struct HandleCase {
  const char* name;
  int handle;  // "[Handle]"
  int hold;    // "[Hold]"
  int power;   // start position
  int brake;
  bool holding;
  bool swap;  // keypad swap
  bool awaitingStart;
  const char* keys;  // '<' wheel up, '>' wheel down
  const char* positions;
};

class HandleSequence : public ::testing::TestWithParam<HandleCase> {};

TEST_P(HandleSequence, EndsInTheseHandlePositions) {
  const HandleCase& c = GetParam();
  sim::TrainParams p = electricTrain();  // Power 4, Brake 8
  p.Handle = c.handle;
  p.Hold = c.hold;
  InputRig rig(p);
  rig.state.PowerHandle = c.power;
  rig.state.BrakeHandle = c.brake;
  rig.state.HoldingBrake = c.holding;
  rig.program.KeypadSwap = c.swap;
  rig.state.AwaitingStart = c.awaitingStart;
  EXPECT_EQ(rig.positionsAfter(c.keys), c.positions);
}

INSTANTIATE_TEST_SUITE_P(
    Keys, HandleSequence,
    ::testing::Values(
        HandleCase{"HoldTowardsPower", 0, 1, 0, -1, false, false, false, "888", "H N P1"},
        HandleCase{"HoldTowardsBrake", 0, 1, 0, 0, false, false, false, "222", "H B1 B2"},
        HandleCase{"HoldWheelBothWays", 0, 1, 0, -1, false, false, false, "><<<", "H B1 B2 B3"},
        HandleCase{"HoldWheelFromPower", 1, 1, 3, 0, false, false, false, "<<<<<", "P2 P1 N H B1"},
        HandleCase{"TwoStopsAboveEmergency", 0, 0, 0, -5, false, false, false, "2222",
                   "B6 B7 B7 B7"},
        HandleCase{"ZeroReachesEmergency", 0, 0, 0, -7, false, false, false, "0", "EB"},
        HandleCase{"SlashReachesEmergency", 1, 0, 2, -7, false, false, false, "/", "EB"},
        HandleCase{"QReachesEmergency", 0, 0, 2, 0, false, false, false, "q", "EB"},
        HandleCase{"WheelReachesEmergency", 0, 0, 0, -6, false, false, false, "<<<", "B7 EB EB"},
        HandleCase{"WheelFromPower", 0, 0, 3, 0, false, false, false, "<<<<", "P2 P1 N B1"},
        HandleCase{"SwapEightBrakes", 0, 0, 0, 0, false, true, false, "88", "B1 B2"},
        HandleCase{"SwapTwoPowers", 0, 0, 0, 0, false, true, false, "22", "P1 P2"},
        HandleCase{"SwapLeavesWheel", 0, 0, 0, 0, false, true, false, "><", "P1 N"},
        HandleCase{"UpperCaseNothing", 1, 0, 1, -2, false, false, false, "ZAQ,", "B2 B2 B2 B1"},
        HandleCase{"CombinedLetters", 0, 0, 0, -2, false, false, false, "zzzaa", "B1 N P1 N B1"},
        HandleCase{"SeparatePowerNoInterlock", 1, 0, 0, -2, false, false, false, "zz.", "B2 B2 B3"},
        HandleCase{"SeparateBrakeThroughHold", 1, 1, 0, -2, false, false, false, ",,..",
                   "B1 H B1 B2"},
        HandleCase{"PowerStopsAtTop", 0, 0, 3, 0, false, false, false, "888", "P4 P4 P4"},
        HandleCase{"ReleaseAll", 0, 1, 0, -3, false, false, false, "5", "N"},
        HandleCase{"BeforeStartKeysDoNothing", 1, 0, 0, 0, false, false, true, "zz8.", "N N N N"},
        HandleCase{"BeforeStartWheelWorks", 0, 0, 0, 0, false, false, true, ">><", "P1 P2 P1"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Keyboard, BeforeStartOnlyThePrologueRuns) {
  InputRig rig;
  rig.state.AwaitingStart = true;
  rig.protection.EbIdleTicks = 620;
  rig.cab.Lamp_EB.visible = true;
  rig.sound.playLooped(kEbRing);
  rig.type("3");
  EXPECT_EQ(rig.protection.EbIdleTicks, 0);
  EXPECT_FALSE(rig.sound.isPlaying(kEbRing));
  EXPECT_FALSE(rig.cab.Lamp_EB.visible);
  EXPECT_FALSE(rig.sound.isPlaying(kHorn));
  EXPECT_EQ(rig.drive.masconUpdates, 0);
}

struct SoundCase {
  const char* name;
  int brakeType;
  int handle;
  int brake;        // start position
  int pressureKpa;  // BrakePressure
  const char* keys;
  int slot;
  bool plays;
};

class BrakeSound : public ::testing::TestWithParam<SoundCase> {};

TEST_P(BrakeSound, PlaysOrNot) {
  const SoundCase& c = GetParam();
  sim::TrainParams p = electricTrain();
  p.BrakeType = c.brakeType;
  p.Brake = c.brakeType == 0 ? 4 : 8;
  p.Handle = c.handle;
  InputRig rig(p);
  rig.state.BrakeHandle = c.brake;
  rig.state.BrakePressure = sim::Fixed::fromInt(c.pressureKpa);
  rig.type(c.keys);
  EXPECT_EQ(rig.sound.isPlaying(c.slot), c.plays);
}

INSTANTIATE_TEST_SUITE_P(
    Keys, BrakeSound,
    ::testing::Values(SoundCase{"ZeroAtEmergencySilent", 1, 0, -8, 0, "0", kEb, false},
                      SoundCase{"ZeroFromServiceStep", 1, 0, -3, 0, "0", kEb, true},
                      SoundCase{"ZeroFromRelease", 1, 0, 0, 0, "0", kEb, true},
                      SoundCase{"SlashAtEmergencySilent", 1, 1, -8, 0, "/", kEb, false},
                      SoundCase{"QSilent", 1, 0, -3, 0, "q", kEb, false},
                      SoundCase{"WheelToEmergencySilent", 1, 0, -7, 0, "<", kEb, false},
                      SoundCase{"Type0ReleaseNeedsPressure", 0, 0, -1, 0, "8", kBr1, false},
                      SoundCase{"Type0ReleaseWithPressure", 0, 0, -1, 300, "8", kBr1, true},
                      SoundCase{"Type1ReleaseStep", 1, 0, -3, 0, "8", kBr1, true},
                      SoundCase{"Type0AllReleasedNeedsPressure", 0, 0, -2, 0, "5", kBr2, false},
                      SoundCase{"Type0AllReleasedWithPressure", 0, 0, -2, 200, "5", kBr2, true},
                      SoundCase{"Type1AllReleased", 1, 0, -2, 0, "5", kBr2, true},
                      SoundCase{"Type0ApplyDotNeedsPressure", 0, 1, -2, 0, ".", kBr1, false},
                      SoundCase{"Type0ApplyDotWithPressure", 0, 1, -2, 100, ".", kBr1, true},
                      SoundCase{"Type0ApplyTwoNoPressureTest", 0, 0, -2, 0, "2", kBr1, true},
                      SoundCase{"Type0ApplyASilent", 0, 0, -2, 100, "a", kBr1, false},
                      SoundCase{"Type0CommaReleasesToZero", 0, 1, -1, 0, ",", kBr1, true},
                      SoundCase{"Type0CommaStepSilent", 0, 1, -2, 0, ",", kBr1, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Keyboard, ReverserActsUpToOneKilometrePerHour) {
  for (const auto& [speedRaw, acts] : {std::pair{10000, true}, {-10000, true}, {15000, false}}) {
    InputRig rig;
    rig.state.Speed = sim::Fixed::fromRaw(speedRaw);
    rig.type("b");
    EXPECT_EQ(rig.state.Reverser, acts ? -1 : 1) << speedRaw;
    EXPECT_EQ(rig.cab.Lamp_Bck.visible && !rig.cab.Lamp_Fwd.visible, acts) << speedRaw;
    rig.type("n");
    EXPECT_EQ(rig.state.Reverser, acts ? 0 : 1) << speedRaw;
  }
}

TEST(Keyboard, AtsResetAtStandstillWithTheBrakeAtEmergency) {
  // speed (1/10000 km/h), brake handle, resets
  for (const auto& [speedRaw, brake, resets] : {std::tuple{4000, -8, true},
                                                {5000, -8, true},
                                                {-4000, -8, true},
                                                {6000, -8, false},
                                                {0, -7, false}}) {
    InputRig rig;
    rig.state.Speed = sim::Fixed::fromRaw(speedRaw);
    rig.state.BrakeHandle = brake;
    rig.state.AtsBrakeApplied = rig.state.AtcBrakeApplied = true;
    rig.protection.AtsAlarm = true;
    rig.protection.AtsTimerTicks = 55;
    rig.sound.playLooped(kAts1);
    rig.type("r");
    EXPECT_EQ(!rig.state.AtsBrakeApplied && !rig.state.AtcBrakeApplied, resets) << speedRaw;
    EXPECT_EQ(rig.protection.AtsAcknowledged, resets);
    EXPECT_EQ(rig.sound.isPlaying(kAts1), !resets);
    EXPECT_EQ(rig.protection.AtsTimerTicks, resets ? 0 : 55);
  }
}

TEST(Keyboard, AtsConfirmsOnlyWhileABrakeIsApplied) {
  // brake handle, ATS brake applied, confirms
  for (const auto& [brake, atsBrake, confirms] :
       {std::tuple{-1, false, true}, {0, false, false}, {-8, true, false}}) {
    InputRig rig;
    rig.state.BrakeHandle = brake;
    rig.state.AtsBrakeApplied = atsBrake;
    rig.protection.AtsAlarm = true;
    rig.protection.AtsTimerTicks = 30;
    rig.type(" ");
    EXPECT_EQ(rig.protection.AtsConfirmed, confirms) << brake;
    EXPECT_EQ(rig.protection.AtsAlarm, !confirms);
    EXPECT_EQ(rig.protection.AtsAcknowledged, confirms);
    EXPECT_EQ(rig.protection.AtsTimerTicks, confirms ? 0 : 30);
  }
  InputRig rig;  // a press after a confirmation ends it; the chime stops
  rig.protection.AtsConfirmed = true;
  rig.protection.AtsAlarm = true;
  rig.sound.playLooped(kAts2);
  rig.type(" ");
  EXPECT_FALSE(rig.protection.AtsConfirmed || rig.protection.AtsAlarm);
  EXPECT_FALSE(rig.sound.isPlaying(kAts2));
}

TEST(Keyboard, StopWarningChimeStopsOnlyAtStandstill) {
  InputRig rig;
  rig.protection.AtsCheck = sim::kStopWarning;
  rig.state.Speed = sim::Fixed::fromInt(30);
  rig.sound.playLooped(kAts2);
  rig.type(" ");
  EXPECT_TRUE(rig.sound.isPlaying(kAts2));
  rig.state.Speed = sim::Fixed::fromRaw(4000);
  rig.type(" ");
  EXPECT_FALSE(rig.sound.isPlaying(kAts2));
}

TEST(Keyboard, OneManAnnouncementPressedAgainStopsThePreviousOne) {
  InputRig rig;
  rig.line.oneMan = 1;
  rig.line.announce = {{0, 0}, {3, 0}, {7, 0}};  // line sound 7 does not exist
  const int first = rig.sounds.lineSound(0), second = rig.sounds.lineSound(3);
  rig.type("1");
  EXPECT_TRUE(rig.sound.isPlaying(first));
  rig.type("1");
  EXPECT_FALSE(rig.sound.isPlaying(first));
  EXPECT_TRUE(rig.sound.isPlaying(second));
  rig.type("-");  // back one: the second stops
  EXPECT_FALSE(rig.sound.isPlaying(second));
  rig.sound.playOnce(second);
  rig.type("1");  // the entry at the cursor still plays: nothing
  EXPECT_EQ(rig.input.AnnounceCursor, 1);
  rig.sound.finish(second);
  rig.type("111");  // the second again, then the missing third stops it, then the end
  EXPECT_EQ(rig.input.AnnounceCursor, 3);
  EXPECT_FALSE(rig.sound.isPlaying(second));
  rig.type("7");
  EXPECT_EQ(rig.drive.doorOperations, 1);
  rig.line.oneMan = 0;
  rig.type("-d");
  EXPECT_EQ(rig.input.AnnounceCursor, 3);
  EXPECT_EQ(rig.drive.doorOperations, 1);
}

TEST(Keyboard, ManualGearsNeedPowerOff) {
  sim::TrainParams p = dieselTrain();  // three gears
  p.Gear_Type = static_cast<int>(sim::GearType::Manual);
  InputRig rig(p);
  EXPECT_EQ(rig.positionsAfter("s"), "N");
  EXPECT_EQ(rig.state.TargetGear, 1);
  EXPECT_EQ(rig.cab.GearLabel.text, "直1");
  rig.type("sss");
  EXPECT_EQ(rig.state.TargetGear, 2);
  rig.state.PowerNotch = 1;
  rig.type("x");
  EXPECT_EQ(rig.state.TargetGear, 2);
  rig.state.PowerNotch = 0;
  rig.type("xxx");
  EXPECT_EQ(rig.state.TargetGear, 0);
  EXPECT_EQ(rig.cab.GearLabel.text, "変");
}

struct CallOutCase {
  const char* name;
  bool kanko2;  // the line has "[KankoSound2]" (K = 30) or not (K = 0)
  int shownSign;
  bool blinking;
  int limit;
  int signalCode;
  const char* label;
  std::vector<int> played;
};

class CallOut : public ::testing::TestWithParam<CallOutCase> {};

TEST_P(CallOut, RestartsTheseSlots) {
  const CallOutCase& c = GetParam();
  InputRig rig;  // 10 drive and 5 line sounds: announcement k is slot 15 + k
  if (c.kanko2) {
    rig.line.kankoSound2 = {{"", "出発", ""}, {"", "場内", ""}};
    rig.sounds.K = 30;
  }
  rig.indication.ShownSign = c.shownSign;
  rig.indication.LimitBlinking = c.blinking;
  rig.indication.AnnouncedLimitKmh = c.limit;
  rig.protection.SignalCode = c.signalCode;
  rig.cab.SignalLabel.text = c.label;
  rig.keyDown(input::kKeyEnter);
  std::vector<int> played;
  for (const std::string& call : rig.sound.log) {
    if (call.rfind("play ", 0) == 0) played.push_back(std::stoi(call.substr(5)));
  }
  EXPECT_EQ(played, c.played);
}

INSTANTIATE_TEST_SUITE_P(
    Enter, CallOut,
    ::testing::Values(CallOutCase{"Sign", true, 2, true, 35, 3, "", {47}},
                      CallOutCase{"SignWithoutAnnouncements", false, 2, false, 0, 3, "", {17}},
                      CallOutCase{"SignBeyondTheList", true, 3, false, 0, 3, "", {}},
                      CallOutCase{"Limit35", true, 999, true, 35, 3, "", {25}},
                      CallOutCase{"Limit120", true, 999, true, 120, 3, "", {42}},
                      CallOutCase{"Limit37", true, 999, true, 37, 3, "", {25}},
                      CallOutCase{"LimitWithoutAnnouncements", false, 999, true, 35, 3, "", {}},
                      CallOutCase{"StopOnly", true, 999, false, 0, 3, "", {15}},
                      CallOutCase{"YY", true, 999, false, 0, 18, "x", {16}},
                      CallOutCase{"Y", true, 999, false, 0, 10, "x", {17}},
                      CallOutCase{"YG", true, 999, false, 0, 20, "x", {18}},
                      CallOutCase{"G", true, 999, false, 0, 16, "x", {19}},
                      CallOutCase{"Repeater", true, 999, false, 0, 1, "x", {20}},
                      CallOutCase{"NamedThenFixed", true, 999, false, 0, 4, "場内", {44, 17}},
                      CallOutCase{"NoSignal", true, 999, false, 0, 999, "場内", {}},
                      CallOutCase{"SignalWithoutAnnouncements", false, 999, false, 0, 3, "", {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(KeyDown, AdjustmentsNeedShiftAloneAndF5Toggles) {
  InputRig rig;
  rig.state.FrameIndex = 5000;
  rig.state.Speed = sim::Fixed::fromInt(10);
  rig.keyDown(input::kKeyF5, input::kShift);
  EXPECT_EQ(rig.state.FrameIndex, 4900);
  EXPECT_TRUE(rig.drive.valueDisplay);
  rig.keyDown(input::kKeyF5, input::kShift);
  EXPECT_EQ(rig.state.FrameIndex, 4800);
  EXPECT_FALSE(rig.drive.valueDisplay);
  rig.keyDown(input::kKeyF8, input::kShift | input::kCtrl);
  rig.keyDown(input::kKeyF11, input::kShift);  // exactly 10 km/h: not lowered
  EXPECT_EQ(rig.state.FrameIndex, 4800);
  EXPECT_EQ(rig.state.Speed, sim::Fixed::fromInt(10));
  rig.keyDown(input::kKeyF12, input::kShift);
  EXPECT_EQ(rig.state.Speed, sim::Fixed::fromInt(20));
  rig.keyDown(input::kKeyF1, input::kShift);
  EXPECT_TRUE(rig.state.AutoSpeed);
  EXPECT_FALSE(rig.input.TimetableShown);  // no timetable card
  rig.cab.Staf.exists = true;
  rig.cab.Staf.height = 600;
  rig.keyDown(input::kKeyF3);
  EXPECT_EQ(rig.cab.Staf.top, -160);
  rig.keyDown(input::kKeyF2);
  EXPECT_EQ(rig.cab.Staf.top, 0);
  rig.keyDown(input::kKeyF1);
  EXPECT_TRUE(rig.input.TimetableShown);
  rig.keyDown(input::kKeyScrollLock);
  EXPECT_TRUE(rig.program.KeypadSwap);
}

}  // namespace
}  // namespace dravolin::testing
