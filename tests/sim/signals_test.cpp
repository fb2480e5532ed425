#include "sim/signals.h"

#include <gtest/gtest.h>

#include <vector>

#include "fixtures/fake_sound_slots.h"

namespace dravolin::sim {
namespace {

// Shown from 400 frames before its boundary, transponder 300 and check point 100 before it.
SignalRecord signal(int kind, int boundary) {
  SignalRecord r;
  r.kind = kind;
  r.boundaryFrame = boundary;
  r.displayFromFrame = boundary - 400;
  r.transponderFrame = boundary - 300;
  r.checkFrame = boundary - 100;
  return r;
}

// Block signals at 1000, 2000, 3000, 4000 and 5000 with repeaters in front of the middle three.
std::vector<SignalRecord> line() {
  return {signal(1, 1000), signal(0, 1500), signal(1, 2000), signal(0, 2500),
          signal(1, 3000), signal(0, 3500), signal(1, 4000), signal(1, 5000)};
}

TEST(BlockStates, FollowTheTrainAhead) {
  struct Case {
    const char* what;
    int scheduleFrame;
    std::vector<int> states;
  };
  for (const Case& c : std::vector<Case>{
           {"signal 6's block: 2 and 4 behind, repeaters repeat", 4500, {4, 4, 4, 2, 2, 0, 0, 4}},
           {"signal 2's block: the walk ends at record 0", 2500, {2, 0, 0, 4, 4, 4, 4, 4}},
           {"exactly on a boundary: none occupied", 4000, {4, 4, 4, 4, 4, 4, 4, 4}},
           {"past the last block signal: protects nothing", 5500, {4, 4, 4, 4, 4, 4, 4, 4}}}) {
    TrainState s;
    s.ScheduleFrame = c.scheduleFrame;
    SignalState blocks;
    blocks.value.assign(8, 7);  // left from the last tick: recomputed from scratch
    blockStates(s, line(), blocks);
    EXPECT_EQ(blocks.value, c.states) << c.what;
  }
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
  EXPECT_EQ(indicationClass(18), IndicationClass::YY);
  EXPECT_EQ(indicationClass(11), IndicationClass::YG);
  EXPECT_EQ(indicationClass(1), IndicationClass::None);
}

TEST(FixedStates, ControlOneUntilItsTimeControlTwoAlways) {
  std::vector<SignalRecord> signals = line();
  signals[0].control = 1;
  signals[0].fixedState = 2;
  signals[0].until = 1000;
  signals[2].control = 2;
  signals[2].fixedState = 1;
  for (const auto& [clock, first] : {std::pair{999, 2}, std::pair{1000, 4}}) {
    TrainState s;
    s.ClockTicks = clock;
    SignalState blocks;
    blockStates(s, signals, blocks);
    fixedStates(s, signals, blocks);
    EXPECT_EQ(blocks.value[0], first) << clock;
    EXPECT_EQ(blocks.value[2], 1);
  }
}

// The three signal steps of a display tick.
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
    p.Speed_Y = 45;
  }
  void at(int frame, int scheduleFrame) {
    s.FrameIndex = frame;
    s.ScheduleFrame = scheduleFrame;
    blockStates(s, signals, blocks);
    fixedStates(s, signals, blocks);
    signalAhead(s, p, signals, blocks, ps, cab, sounds);
  }
};

TEST(SignalAhead, ShowsPictureAndNameAndClearsThemWhenPassed) {
  SignalRun r;
  r.signals[4].nameUtf8 = "第3閉塞";
  r.cab.SignalLabel.visible = false;
  r.at(2700, 3500);  // signal 4 ahead, its block occupied
  EXPECT_EQ(r.ps.SignalCode, 3);
  EXPECT_EQ(r.blocks.value[4], 3) << "replaced by its code";
  EXPECT_EQ(r.cab.SignalImage.image, 3);
  EXPECT_EQ(r.cab.SignalLabel.text, "第3閉塞");
  EXPECT_TRUE(r.cab.SignalLabel.visible);

  r.ps.AtsAcknowledged = true;
  r.at(3005, 3500);
  EXPECT_FALSE(r.cab.SignalImage.hasPicture());
  EXPECT_EQ(r.cab.SignalLabel.text, "");
  EXPECT_FALSE(r.ps.AtsAcknowledged);

  r.signals[6].kind = 6;  // no picture for kinds above 5
  r.at(3700, 500);
  EXPECT_EQ(r.ps.SignalCode, 21);
  EXPECT_FALSE(r.cab.SignalImage.hasPicture());
}

// Two repeaters in a row showing the same code, with no check point between them: passing the
// first one's boundary forgets the shown code, so the second is drawn and named at once. Under
// ATC, which draws no picture, the chime does not sound again for the same code.
TEST(SignalAhead, TheNextSignalWithTheSameCodeIsDrawnAfterABoundary) {
  for (const AtsType type : {AtsType::Ats, AtsType::Pattern, AtsType::Atc}) {
    SCOPED_TRACE(static_cast<int>(type));
    SignalRun r;
    r.p.ATS_Type = type;
    r.signals = {signal(0, 1000), signal(0, 1500)};
    r.signals[1].displayFromFrame = 1000;
    for (SignalRecord& sig : r.signals) {
      sig.control = 2;
      sig.fixedState = 4;  // code 2
      sig.checkFrame = sig.transponderFrame = 0;
    }
    r.signals[0].nameUtf8 = "1";
    r.signals[1].nameUtf8 = "2";
    r.at(900, 0);
    ASSERT_EQ(r.cab.SignalLabel.text, "1");
    const std::size_t chimes = r.sounds.log.size();
    for (const int frame : {1003, 1006, 1012}) {
      r.at(frame, 0);
      EXPECT_EQ(r.ps.SignalCode, 2) << frame;
      if (type == AtsType::Atc) {
        EXPECT_EQ(r.sounds.log.size(), chimes) << frame;
        EXPECT_EQ(r.ps.ShownCode, 2) << frame;
      } else {
        EXPECT_EQ(r.cab.SignalImage.image, 2) << frame;
        EXPECT_EQ(r.cab.SignalLabel.text, "2") << frame;
      }
    }
  }
}

TEST(SignalAhead, AtcShowsTheClassOnTheLamps) {
  for (const auto& [scheduleFrame, lit] :
       {std::pair{3500, &CabModel::Lamp_R}, std::pair{4500, &CabModel::Lamp_Y},
        std::pair{500, &CabModel::Lamp_G}}) {
    SignalRun r;
    r.p.ATS_Type = AtsType::Atc;
    r.at(2700, scheduleFrame);
    EXPECT_FALSE(r.cab.SignalLabel.visible);
    EXPECT_FALSE(r.cab.SignalImage.hasPicture());
    for (CabPicture* lamp :
         {&r.cab.Lamp_G, &r.cab.Lamp_YG, &r.cab.Lamp_Y, &r.cab.Lamp_YY, &r.cab.Lamp_R}) {
      EXPECT_EQ(lamp->visible, lamp == &(r.cab.*lit)) << scheduleFrame;
    }
    r.at(2701, scheduleFrame);
    EXPECT_EQ(r.sounds.log, (std::vector<std::string>{"stop 9", "play 9"})) << "chime once";
  }
}

TEST(AtsPoints, SetTheCheckState) {
  struct Case {
    const char* what;
    AtsType type;
    AtsAlert alert;
    int frame;          // signal 4 is ahead up to 3000; transponder 2700, check point 2900
    int scheduleFrame;  // 3500: signal 4 at stop; 4500: Y; 500: G
    int before, after;
  };
  const AtsType ats = AtsType::Ats;
  const AtsAlert stop = AtsAlert::StopChecks;
  const AtsAlert speed = AtsAlert::SpeedChecks;
  for (const Case& c :
       std::vector<Case>{{"transponder at stop", ats, stop, 2705, 3500, 999, 998},
                         {"transponder at Y", ats, stop, 2705, 4500, 999, 999},
                         {"transponder, pattern ATS", AtsType::Pattern, stop, 2705, 3500, 999, 999},
                         {"transponder, speed checks", ats, speed, 2705, 3500, 999, 999},
                         {"10 frames past the transponder", ats, stop, 2710, 3500, 999, 999},
                         {"check point at stop", ats, stop, 2905, 3500, 998, 0},
                         {"check point at Y, stop checks", ats, stop, 2905, 4500, 998, 999},
                         {"check point at Y, speed checks", ats, speed, 2905, 4500, 999, 45},
                         {"check point at G, speed checks", ats, speed, 2905, 500, 45, 999}}) {
    SignalRun r;
    r.p.ATS_Type = c.type;
    r.p.ATS_Alert = c.alert;
    r.at(2650, c.scheduleFrame);
    r.ps.AtsCheck = c.before;
    r.at(c.frame, c.scheduleFrame);
    EXPECT_EQ(r.ps.AtsCheck, c.after) << c.what;
    EXPECT_EQ(r.ps.SignalCode == kNoSignalCode, c.frame == 2905) << "forgotten at the check point";
  }
}

TEST(AtsPoints, TransponderReadsABlockStateThroughTheCodeTable) {
  SignalRun r;
  r.signals[4].displayFromFrame = 2800;  // the transponder lies before the display range
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
