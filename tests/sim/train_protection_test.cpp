#include "sim/train_protection.h"

#include <gtest/gtest.h>

#include <cmath>
#include <tuple>
#include <vector>

#include "allocation_counter.h"
#include "fixtures/fake_sound_slots.h"
#include "fixtures/sample_trains.h"
#include "platform/null_sound_slots.h"

namespace dravolin::sim {
namespace {

using testing::FakeSoundSlots;
using testing::kmh;

constexpr int kBell = 3, kChime = 4, kAtc = 5, kBuzzer = 6;

// One drive's protection, with ATS_Time 2 s, 8 brake positions, 4.0 km/h/s and Y at 45 km/h.
struct Protection {
  ProtectionParams p;
  TrainState s;
  ProtectionState ps;
  CabModel cab;
  FakeSoundSlots sounds;
  int masconCalls = 0;
  // A stop signal (kind 2, block state 0) checked at 1000 m, a 45 km/h limit at 1500 m.
  std::vector<SignalRecord> signals{1};
  SignalState blocks{{0}};
  std::vector<CheckPoint> points = {{100000, 0, 0}, {150000, 45, 0}};

  explicit Protection(AtsType type, AtsAlert alert = AtsAlert::StopChecks) {
    p.ATS_Type = type;
    p.ATS_Alert = alert;
    p.ATS_Time = 2;
    p.Brake = 8;
    p.BrakeRate = Fixed::fromRaw(40000);
    p.Speed_YY = 25;
    p.Speed_Y = 45;
    p.Speed_YG = 65;
    p.Speed_G = 100;
    p.Sound_Ats1 = kBell;
    p.Sound_Ats2 = kChime;
    p.Sound_Atc = kAtc;
    p.Sound_EBring = kBuzzer;
    signals[0].kind = 2;
    for (CabPicture* lamp : cab.lamps()) lamp->visible = false;
  }
  void ats() {
    atsAlarm(s, p, ps, cab, sounds, [this] { ++masconCalls; });
  }
  void atc() {
    atcSupervision(s, p, ps, [this] { ++masconCalls; });
  }
  void eb() {
    ebDevice(s, p, ps, cab, sounds, [this] { ++masconCalls; });
  }
  void pattern() {
    patternAts(s, p, points, signals, blocks, ps, cab, sounds, [this] { ++masconCalls; });
  }
};

TEST(AtsAlarm, StartsRingsAndBrakesAtAStopCheck) {
  struct Case {
    const char* what;
    AtsAlert alert;
    int check;
    long double speed;
    int brakeHandle;
    bool acknowledged, bell, brake;
  };
  const AtsAlert stop = AtsAlert::StopChecks, speed = AtsAlert::SpeedChecks;
  for (const Case& c :
       std::vector<Case>{{"stop warning rings", stop, 998, 40, 0, false, true, false},
                         {"stop check brakes at once", stop, 0, 40, 0, false, true, true},
                         {"no check", stop, 999, 40, 0, false, false, false},
                         {"brake at EB: no new alarm", stop, 998, 40, -8, false, false, false},
                         {"acknowledged: no new alarm", stop, 0, 40, 0, true, false, false},
                         {"Y 45 at 50.0: quiet", speed, 45, 50, 0, false, false, false},
                         {"Y 45 above 50", speed, 45, 50.0001L, 0, false, true, false}}) {
    Protection t(AtsType::Ats, c.alert);
    t.ps.AtsCheck = c.check;
    t.s.Speed = kmh(c.speed);
    t.s.BrakeHandle = c.brakeHandle;
    t.ps.AtsAcknowledged = c.acknowledged;
    t.ats();
    EXPECT_EQ(t.sounds.states[kBell] == FakeSoundSlots::State::Looped, c.bell) << c.what;
    EXPECT_EQ(t.cab.Lamp_Ats.visible, c.bell) << c.what;
    EXPECT_EQ(t.s.AtsBrakeApplied, c.brake) << c.what;
    EXPECT_EQ(t.masconCalls, c.brake ? 1 : 0) << c.what;
  }
}

TEST(AtsAlarm, BrakesAgainEveryAtsTimeUntilConfirmed) {
  Protection t(AtsType::Ats);
  t.ps.AtsCheck = kStopWarning;
  std::vector<int> brakeTicks;
  for (int tick = 1; tick <= 45; ++tick) {
    t.ats();
    if (t.s.AtsBrakeApplied) brakeTicks.push_back(tick);
    t.s.AtsBrakeApplied = false;  // to see the next latch
  }
  EXPECT_EQ(brakeTicks, (std::vector<int>{21, 42}));
}

TEST(AtsAlarm, ConfirmationPlaysTheChimeAndLightsTheCheckedLamp) {
  for (AtsChime chime : {AtsChime::Looped, AtsChime::Once}) {
    Protection t(AtsType::Ats, AtsAlert::SpeedChecks);
    t.p.ATS_Cnt = chime;
    t.ps.AtsCheck = 45;
    t.s.Speed = kmh(60);
    t.ats();
    t.ps.AtsAlarm = false;  // the confirmation key as input handles it
    t.ps.AtsConfirmed = t.ps.AtsAcknowledged = true;
    t.ats();
    EXPECT_FALSE(t.sounds.isPlaying(kBell));
    EXPECT_EQ(t.sounds.states[kChime], chime == AtsChime::Looped ? FakeSoundSlots::State::Looped
                                                                 : FakeSoundSlots::State::Once);
    EXPECT_FALSE(t.cab.Lamp_Ats.visible);
    EXPECT_TRUE(t.cab.Lamp_Y.visible);
    EXPECT_TRUE(t.ps.AtsAcknowledged) << "the Y lamp was lit already";
  }
}

TEST(SpeedChecks, StartTheAlarmJustPastThePointAboveItsSpeed) {
  const std::vector<SpeedCheckRecord> checks = {{40, 1000}};
  for (const auto& [frame, speed, alarm] :
       {std::tuple{1001, 40.0001L, true}, std::tuple{1001, 40.0L, false},
        std::tuple{1009, 60.0L, true}, std::tuple{1010, 60.0L, false}}) {
    TrainState s;
    ProtectionState ps;
    s.FrameIndex = frame;
    s.Speed = kmh(speed);
    speedChecks(s, checks, ps);
    EXPECT_EQ(ps.AtsAlarm, alarm) << frame;
  }
}

TEST(Atc, OverspeedPerClassLatchesTheBrake) {
  for (const auto& [code, speed, brakeHandle, brake] :
       {std::tuple{14, 25.0L, 0, false}, std::tuple{14, 25.0001L, 0, true},
        std::tuple{4, 45.0001L, -6, true}, std::tuple{11, 65.0L, 0, false},
        std::tuple{5, 100.0001L, 0, true}, std::tuple{999, 100.0001L, 0, true},
        std::tuple{3, 0.0L, 0, true}, std::tuple{1, 99.0L, 0, false},
        std::tuple{3, 0.0L, -7, false}}) {  // the driver's brake at the step below EB
    Protection t(AtsType::Atc);
    t.ps.SignalCode = code;
    t.s.Speed = kmh(speed);
    t.s.BrakeHandle = brakeHandle;
    t.atc();
    EXPECT_EQ(t.s.AtcBrakeApplied && t.ps.AtcLatch && t.s.PowerChangePending, brake)
        << code << " " << static_cast<double>(speed);
  }
}

TEST(Atc, ReleasesOnTheFirstTickWithoutOverspeed) {
  Protection t(AtsType::Atc);
  t.ps.SignalCode = 4;  // Y
  t.s.Speed = kmh(50);
  t.atc();
  t.atc();
  t.s.Speed = kmh(45);
  t.atc();
  EXPECT_FALSE(t.s.AtcBrakeApplied || t.ps.AtcLatch);
  t.atc();
  EXPECT_EQ(t.masconCalls, 3) << "applied every tick of overspeed, released once";
}

TEST(PatternAts, TargetIsTheFirstStopOrLimitWithin600m) {
  for (const auto& [run, value, limit, ahead] :
       {std::tuple{30000.0L, 0, 999, 0.0L}, std::tuple{80000.0L, 0, 0, 20000.0L},
        std::tuple{80000.0L, 6, 0, 20000.0L}, std::tuple{80000.0L, 7, 999, 0.0L},
        std::tuple{100000.0L, 7, 45, 50000.0L}, std::tuple{40000.0L, 0, 999, 0.0L}}) {
    Protection t(AtsType::Pattern);
    t.blocks.value[0] = value;
    const PatternTarget target = patternTarget(run, t.points, t.signals, t.blocks);
    EXPECT_EQ(target.limit, limit) << static_cast<double>(run) << " " << value;
    EXPECT_EQ(target.distance, ahead) << static_cast<double>(run) << " " << value;
  }
  EXPECT_TRUE(std::isinf(patternBrakingDistance(10, 0, Fixed())));
}

TEST(PatternAts, ApproachesBrakesAndReleasesOnlyThroughClear) {
  // From 60 km/h the braking distance to 0 is 156.25 m; from 65 km/h 183.4 m.
  Protection t(AtsType::Pattern);
  for (const auto& [run, speed, state] :
       {std::tuple{50000.0L, 60, 0}, std::tuple{78000.0L, 60, 1}, std::tuple{84000.0L, 60, 2},
        std::tuple{70000.0L, 60, 2}, std::tuple{99000.0L, 0, 2}}) {
    t.s.Distance = run;
    t.s.Speed = kmh(speed);
    t.pattern();
    EXPECT_EQ(t.ps.PatternState, state) << static_cast<double>(run);
    EXPECT_EQ(t.s.AtcBrakeApplied, state == 2);
    EXPECT_EQ(t.cab.Lamp_Atsp1.visible, state != 0);
    EXPECT_EQ(t.cab.Lamp_Atsp2.visible, state == 2);
  }
  t.blocks.value[0] = 4;  // the signal clears: no target
  t.pattern();
  EXPECT_EQ(t.ps.PatternState, 0);
  EXPECT_FALSE(t.s.AtcBrakeApplied || t.cab.Lamp_Atsp1.visible || t.cab.Lamp_Atsp2.visible);
  EXPECT_EQ(t.masconCalls, 3);
  EXPECT_EQ(t.sounds.log.size(), 6u) << "the chime restarted at each change";
}

// Stopped by the pattern brake 5 m short of the stop signal's check point, reset with the brake
// at EB (both latches cleared, the state left at 2): standing, the train is free; moving again
// while above the pattern it is braked again as on entering state 2, with the chime and lamps.
TEST(PatternAts, AReleasedTrainAboveThePatternIsBrakedAgain) {
  struct Step {
    long double speed;  // km/h
    bool brake;         // AtcBrakeApplied after the tick
    bool chime;         // the chime was restarted in this tick
  };
  Protection t(AtsType::Pattern);
  t.s.Distance = 99500;  // 5 m short of the check point
  t.s.Speed = kmh(3);
  t.pattern();
  ASSERT_EQ(t.ps.PatternState, 2);
  ASSERT_TRUE(t.s.AtcBrakeApplied);
  const Step steps[] = {
      {0, false, false},    // reset at rest: free, the lamps as they were
      {0, false, false},    // still standing
      {0.2L, true, true},   // powered: above the pattern, braked again
      {0.1L, true, false},  // braking: nothing new
      {0, true, false},     // stopped under the pattern brake
  };
  t.s.AtcBrakeApplied = false;  // the reset key
  for (const Step& step : steps) {
    t.s.Speed = kmh(step.speed);
    const int calls = t.masconCalls;
    const std::size_t sounds = t.sounds.log.size();
    t.pattern();
    SCOPED_TRACE(static_cast<double>(step.speed));
    EXPECT_EQ(t.ps.PatternState, 2);
    EXPECT_EQ(t.s.AtcBrakeApplied, step.brake);
    EXPECT_EQ(t.sounds.log.size() > sounds, step.chime);
    EXPECT_EQ(t.masconCalls > calls, step.chime);
    EXPECT_TRUE(t.cab.Lamp_Atsp1.visible && t.cab.Lamp_Atsp2.visible);
  }
  // 52 m short, below the pattern, moving off after a reset only warns (state 1).
  t.s.AtcBrakeApplied = false;
  t.s.Distance = 94800;
  t.s.Speed = kmh(5);
  t.pattern();
  EXPECT_EQ(t.ps.PatternState, 1);
  EXPECT_FALSE(t.s.AtcBrakeApplied);
  EXPECT_FALSE(t.cab.Lamp_Atsp2.visible);
}

TEST(EbDevice, BuzzesAfter60sBrakesAfter65sAndStoppingKeepsTheBuzzer) {
  Protection t(AtsType::Ats);
  t.ps.EbFitted = true;
  t.s.Speed = kmh(30);
  for (int tick = 1; tick <= 600; ++tick) t.eb();
  EXPECT_FALSE(t.sounds.isPlaying(kBuzzer));
  t.eb();  // 60.1 s
  EXPECT_TRUE(t.sounds.isPlaying(kBuzzer) && t.cab.Lamp_EB.visible);
  t.s.Speed = kmh(1);  // standing: no count, still buzzing
  t.sounds.finish(kBuzzer);
  t.eb();
  EXPECT_TRUE(t.sounds.isPlaying(kBuzzer));
  t.s.Speed = kmh(30);
  for (int tick = 602; tick <= 650; ++tick) t.eb();
  EXPECT_FALSE(t.s.AtsBrakeApplied);
  t.eb();  // 65.1 s
  EXPECT_TRUE(t.s.AtsBrakeApplied && t.s.PowerChangePending && t.s.BrakeChangePending);
  EXPECT_EQ(t.masconCalls, 1);
}

TEST(EbDevice, InputRestartsTheCountAndAutoSpeedSwitchesItOff) {
  Protection t(AtsType::Ats);
  t.ps.EbFitted = true;
  t.s.Speed = kmh(30);
  for (int tick = 1; tick <= 601; ++tick) t.eb();
  t.ps.EbIdleTicks = 0;  // a driver input
  t.eb();
  EXPECT_TRUE(t.sounds.isPlaying(kBuzzer)) << "the count alone silences nothing";
  t.sounds.finish(kBuzzer);
  for (int tick = 2; tick <= 600; ++tick) t.eb();
  EXPECT_FALSE(t.sounds.isPlaying(kBuzzer));
  t.s.AutoSpeed = true;
  t.eb();
  EXPECT_FALSE(t.ps.EbFitted);
  EXPECT_EQ(t.ps.EbIdleTicks, 600);
}

TEST(TrainProtection, AllocatesNothingPerTick) {
  Protection t(AtsType::Pattern);
  t.s.Distance = 84000;
  t.s.Speed = kmh(60);
  platform::NullSoundSlots sounds;  // the fake's call log would allocate
  auto masconupdate = [&t] { ++t.masconCalls; };
  testing::startCountingAllocations();
  for (int i = 0; i < 10; ++i) {
    trainProtection(t.s, t.p, t.points, t.signals, t.blocks, t.ps, t.cab, sounds, masconupdate);
  }
  EXPECT_EQ(testing::stopCountingAllocations(), 0);
  EXPECT_EQ(t.masconCalls, 1);
}

}  // namespace
}  // namespace dravolin::sim
