#include "sim/signals.h"

#include <gtest/gtest.h>

#include <vector>

#include "fixtures/fake_sound_slots.h"

namespace dravolin::sim {
namespace {

SignalRecord signal(int kind, int boundary, const char* name = "") {
  SignalRecord r;
  r.kind = kind;
  r.boundaryFrame = boundary;
  r.displayFromFrame = boundary - 400;
  r.transponderFrame = boundary - 300;
  r.checkFrame = boundary - 100;
  r.name = r.nameUtf8 = name;
  return r;
}

// Block signals at 1000, 2000, 3000, 4000 and 5000 with repeaters in front of the middle three.
std::vector<SignalRecord> line() {
  return {signal(1, 1000), signal(0, 1500), signal(1, 2000), signal(0, 2500),
          signal(1, 3000), signal(0, 3500), signal(1, 4000), signal(1, 5000)};
}

struct BlockCase {
  const char* what;
  int scheduleFrame;
  std::vector<int> states;
};

class BlockStates : public ::testing::TestWithParam<BlockCase> {};

TEST_P(BlockStates, FollowTheTrainAhead) {
  TrainState s;
  s.ScheduleFrame = GetParam().scheduleFrame;
  SignalState blocks;
  blocks.value.assign(8, 7);  // left over from the last tick: recomputed from scratch
  blockStates(s, line(), blocks);
  EXPECT_EQ(blocks.value, GetParam().states) << GetParam().what;
}

INSTANTIATE_TEST_SUITE_P(
    Schedule, BlockStates,
    ::testing::Values(
        BlockCase{"block of signal 6: 2 and 4 behind, repeaters repeat the signal in front",
                  4500,
                  {4, 4, 4, 2, 2, 0, 0, 4}},
        BlockCase{"block of signal 2: the walk ends at record 0", 2500, {2, 0, 0, 4, 4, 4, 4, 4}},
        BlockCase{"first block", 1200, {0, 4, 4, 4, 4, 4, 4, 4}},
        BlockCase{"exactly on a boundary: no block occupied", 4000, {4, 4, 4, 4, 4, 4, 4, 4}},
        BlockCase{
            "beyond the last block signal: it protects nothing", 5500, {4, 4, 4, 4, 4, 4, 4, 4}},
        BlockCase{"before the first signal", 500, {4, 4, 4, 4, 4, 4, 4, 4}}));

TEST(BlockStates, SizeTheListToTheSignals) {
  TrainState s;
  s.ScheduleFrame = 1200;
  SignalState blocks;
  blockStates(s, line(), blocks);
  EXPECT_EQ(blocks.value.size(), 8u);
  blockStates(s, {}, blocks);
  EXPECT_TRUE(blocks.value.empty());
}

TEST(IndicationCode, EveryKindAndState) {
  const std::vector<std::vector<int>> codes = {
      {0, 1, 1, 1, 2},      {3, 3, 4, 4, 5},      {6, 6, 7, 7, 8},     {9, 9, 10, 11, 12},
      {13, 14, 15, 15, 16}, {17, 18, 19, 20, 21}, {17, 18, 19, 20, 21}};  // kind 6 as kind 5
  for (int kind = 0; kind <= 6; ++kind) {
    for (int state = 0; state <= 4; ++state) {
      EXPECT_EQ(indicationCode(kind, state), codes[kind][state]) << kind << "/" << state;
    }
  }
  EXPECT_EQ(indicationCode(2, 9), 9) << "a state outside 0..4 is the code";
  EXPECT_EQ(indicationCode(-1, 4), 2) << "a negative kind reads the repeater row";
  const std::vector<std::pair<int, IndicationClass>> classes = {
      {0, IndicationClass::R},    {17, IndicationClass::R},    {18, IndicationClass::YY},
      {15, IndicationClass::Y},   {11, IndicationClass::YG},   {21, IndicationClass::G},
      {1, IndicationClass::None}, {999, IndicationClass::None}};
  for (const auto& [code, cls] : classes) EXPECT_EQ(indicationClass(code), cls) << code;
}

TEST(FixedStates, HoldUntilTheirTime) {
  std::vector<SignalRecord> signals = line();
  signals[0].control = 1;
  signals[0].fixedState = 2;
  signals[0].until = 1000;
  signals[2].control = 2;
  signals[2].fixedState = 1;
  struct Case {
    int clock;
    int first;
  };
  for (const Case c : {Case{999, 2}, Case{1000, 4}}) {
    TrainState s;
    s.ClockTicks = c.clock;
    SignalState blocks;
    blockStates(s, signals, blocks);
    fixedStates(s, signals, blocks);
    EXPECT_EQ(blocks.value[0], c.first) << c.clock;
    EXPECT_EQ(blocks.value[2], 1) << "control 2 always";
    EXPECT_EQ(blocks.value[4], 4);
  }
}

// One display tick of the signal steps at a position.
struct SignalRun {
  std::vector<SignalRecord> signals = line();
  ProtectionParams p;
  TrainState s;
  SignalState blocks;
  ProtectionState ps;
  CabModel cab;
  testing::FakeSoundSlots sounds;

  SignalRun() {
    cab.SignalImages.images.resize(22);
    p.Sound_Atc = 9;
    p.Speed_YY = 25;
    p.Speed_Y = 45;
    p.Speed_YG = 65;
  }
  void at(int frame, int scheduleFrame) {
    s.FrameIndex = frame;
    s.ScheduleFrame = scheduleFrame;
    blockStates(s, signals, blocks);
    fixedStates(s, signals, blocks);
    signalAhead(s, p, signals, blocks, ps, cab, sounds);
  }
};

TEST(SignalAhead, ShowsThePictureAndNameAndClearsThemWhenPassed) {
  SignalRun r;
  r.signals[4].name = r.signals[4].nameUtf8 = "第3閉塞";
  r.cab.SignalLabel.visible = false;
  r.at(2700, 3500);  // signal 4 ahead; its block is occupied
  EXPECT_EQ(r.ps.SignalCode, 3);
  EXPECT_EQ(r.blocks.value[4], 3) << "replaced by its code";
  EXPECT_EQ(r.cab.SignalImage.image, 3);
  EXPECT_EQ(r.cab.SignalLabel.text, "第3閉塞");
  EXPECT_TRUE(r.cab.SignalLabel.visible);
  EXPECT_EQ(r.ps.ShownCode, 3);

  r.ps.AtsAcknowledged = true;
  r.at(3005, 3500);
  EXPECT_FALSE(r.cab.SignalImage.hasPicture());
  EXPECT_EQ(r.cab.SignalLabel.text, "");
  EXPECT_TRUE(r.cab.SignalLabel.visible);
  EXPECT_FALSE(r.ps.AtsAcknowledged);
}

TEST(SignalAhead, KindAboveFiveHasNoPicture) {
  SignalRun r;
  r.signals[4].kind = 6;
  r.signals[4].name = r.signals[4].nameUtf8 = "x";
  r.at(2700, 500);
  EXPECT_EQ(r.ps.SignalCode, 21);
  EXPECT_FALSE(r.cab.SignalImage.hasPicture());
  EXPECT_EQ(r.cab.SignalLabel.text, "x");
}

TEST(SignalAhead, AtcShowsTheClassOnTheLamps) {
  struct Case {
    int scheduleFrame;
    CabPicture CabModel::*lamp;
  };
  for (const Case c : {Case{3500, &CabModel::Lamp_R}, Case{4500, &CabModel::Lamp_Y},
                       Case{500, &CabModel::Lamp_G}}) {
    SignalRun r;
    r.p.ATS_Type = AtsType::Atc;
    r.at(2700, c.scheduleFrame);
    EXPECT_FALSE(r.cab.SignalLabel.visible);
    EXPECT_FALSE(r.cab.SignalImage.hasPicture());
    EXPECT_EQ(r.sounds.log, (std::vector<std::string>{"stop 9", "play 9"}));
    for (CabPicture* lamp :
         {&r.cab.Lamp_G, &r.cab.Lamp_YG, &r.cab.Lamp_Y, &r.cab.Lamp_YY, &r.cab.Lamp_R}) {
      EXPECT_EQ(lamp->visible, lamp == &(r.cab.*c.lamp)) << c.scheduleFrame;
    }
    r.sounds.log.clear();
    r.at(2701, c.scheduleFrame);
    EXPECT_TRUE(r.sounds.log.empty()) << "the same code is not presented again";
  }
}

struct CheckCase {
  const char* what;
  AtsType type;
  AtsAlert alert;
  int frame;          // position this tick (signal 4 ahead up to 3000)
  int scheduleFrame;  // 3500: signal 4 at stop; 4500: Y; 500: G
  int before;         // ATS check state before
  int after;
};

class AtsPoints : public ::testing::TestWithParam<CheckCase> {};

TEST_P(AtsPoints, SetTheCheckState) {
  const CheckCase& c = GetParam();
  SignalRun r;
  r.p.ATS_Type = c.type;
  r.p.ATS_Alert = c.alert;
  r.at(2650, c.scheduleFrame);  // the signal ahead, before its transponder
  r.ps.AtsCheck = c.before;
  r.at(c.frame, c.scheduleFrame);
  EXPECT_EQ(r.ps.AtsCheck, c.after) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AtsPoints,
    ::testing::Values(
        CheckCase{"transponder at stop", AtsType::Ats, AtsAlert::StopChecks, 2705, 3500, 999, 998},
        CheckCase{"transponder at Y", AtsType::Ats, AtsAlert::StopChecks, 2705, 4500, 999, 999},
        CheckCase{"transponder under pattern ATS", AtsType::Pattern, AtsAlert::StopChecks, 2705,
                  3500, 999, 999},
        CheckCase{"transponder with speed checks", AtsType::Ats, AtsAlert::SpeedChecks, 2705, 3500,
                  999, 999},
        CheckCase{"10 frames past: no longer", AtsType::Ats, AtsAlert::StopChecks, 2710, 3500, 999,
                  999},
        CheckCase{"check point at stop", AtsType::Ats, AtsAlert::StopChecks, 2905, 3500, 998, 0},
        CheckCase{"check point at Y, stop checks", AtsType::Ats, AtsAlert::StopChecks, 2905, 4500,
                  998, 999},
        CheckCase{"check point at Y, speed checks", AtsType::Ats, AtsAlert::SpeedChecks, 2905, 4500,
                  999, 45},
        CheckCase{"check point at G, speed checks", AtsType::Ats, AtsAlert::SpeedChecks, 2905, 500,
                  45, 999},
        CheckCase{"check point at stop, speed checks", AtsType::Ats, AtsAlert::SpeedChecks, 2905,
                  3500, 45, 0}));

TEST(AtsPoints, CheckPointForgetsTheSignalAhead) {
  SignalRun r;
  r.at(2905, 3500);
  EXPECT_EQ(r.ps.SignalCode, kNoSignalCode);
  EXPECT_EQ(r.ps.ShownCode, kNoSignalCode);
}

TEST(AtsPoints, TransponderReadsABlockStateThroughTheCodeTable) {
  SignalRun r;
  r.signals[4].displayFromFrame = 2800;  // the transponder at 2700 lies before the display range
  r.signals[4].control = 2;
  r.signals[4].fixedState = 3;  // Y for kind 1, not a stop
  r.at(2705, 500);
  EXPECT_EQ(r.ps.AtsCheck, kNoCheck);
  r.signals[4].fixedState = 0;
  r.at(2706, 500);
  EXPECT_EQ(r.ps.AtsCheck, kStopWarning);
}

}  // namespace
}  // namespace dravolin::sim
