#include "sim/train_protection.h"

#include <gtest/gtest.h>

#include <vector>

#include "allocation_counter.h"
#include "fixtures/fake_sound_slots.h"
#include "fixtures/sample_trains.h"
#include "platform/null_sound_slots.h"

namespace dravolin::sim {
namespace {

using testing::FakeSoundSlots;
using testing::kmh;

constexpr int kBell = 3;
constexpr int kChime = 4;
constexpr int kAtc = 5;
constexpr int kBuzzer = 6;

ProtectionParams params(AtsType type, AtsAlert alert = AtsAlert::StopChecks) {
  ProtectionParams p;
  p.ATS_Type = type;
  p.ATS_Alert = alert;
  p.ATS_Time = 2;
  p.Brake = 8;
  p.BrakeRate = Fixed::fromRaw(40000);  // 4.0 km/h/s: the pattern brakes at 3.2 km/h/s
  p.Speed_YY = 25;
  p.Speed_Y = 45;
  p.Speed_YG = 65;
  p.Speed_G = 100;
  p.Sound_Ats1 = kBell;
  p.Sound_Ats2 = kChime;
  p.Sound_Atc = kAtc;
  p.Sound_EBring = kBuzzer;
  return p;
}

// The protection state of one drive and a count of handle display calls.
struct Protection {
  ProtectionParams p;
  TrainState s;
  ProtectionState ps;
  CabModel cab;
  FakeSoundSlots sounds;
  int masconCalls = 0;

  explicit Protection(ProtectionParams params) : p(params) {
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
};

// --- ATS with alarm ---

struct AlarmCase {
  const char* what;
  AtsAlert alert;
  int check;
  long double speed;
  int brakeHandle;
  bool acknowledged;
  bool bell;
  bool brake;
};

class AtsAlarmStart : public ::testing::TestWithParam<AlarmCase> {};

TEST_P(AtsAlarmStart, RingsAndBrakesAtAStopCheck) {
  const AlarmCase& c = GetParam();
  Protection t(params(AtsType::Ats, c.alert));
  t.ps.AtsCheck = c.check;
  t.s.Speed = kmh(c.speed);
  t.s.BrakeHandle = c.brakeHandle;
  t.ps.AtsAcknowledged = c.acknowledged;
  t.ats();
  EXPECT_EQ(t.ps.AtsAlarm, c.bell) << c.what;
  EXPECT_EQ(t.sounds.states[kBell] == FakeSoundSlots::State::Looped, c.bell) << c.what;
  EXPECT_EQ(t.cab.Lamp_Ats.visible, c.bell) << c.what;
  EXPECT_EQ(t.s.AtsBrakeApplied, c.brake) << c.what;
  EXPECT_EQ(t.masconCalls, c.brake ? 1 : 0) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AtsAlarmStart,
    ::testing::Values(
        AlarmCase{"stop warning rings", AtsAlert::StopChecks, 998, 40, 0, false, true, false},
        AlarmCase{"stop check brakes at once", AtsAlert::StopChecks, 0, 40, 0, false, true, true},
        AlarmCase{"no check", AtsAlert::StopChecks, 999, 40, 0, false, false, false},
        AlarmCase{"brake at EB: no new alarm", AtsAlert::StopChecks, 998, 40, -8, false, false,
                  false},
        AlarmCase{"acknowledged: no new alarm", AtsAlert::StopChecks, 0, 40, 0, true, false, false},
        AlarmCase{"Y 45 at 50.0: quiet", AtsAlert::SpeedChecks, 45, 50, 0, false, false, false},
        AlarmCase{"Y 45 above 50", AtsAlert::SpeedChecks, 45, 50.0001L, 0, false, true, false},
        AlarmCase{"speed checks ignore the stop warning", AtsAlert::SpeedChecks, 998, 120, 0, false,
                  false, false}));

TEST(AtsAlarm, BrakesAgainEveryAtsTimeUntilConfirmed) {
  Protection t(params(AtsType::Ats));  // ATS_Time 2 s
  t.ps.AtsCheck = kStopWarning;
  std::vector<int> brakeTicks;
  for (int tick = 1; tick <= 45; ++tick) {
    t.ats();
    if (t.s.AtsBrakeApplied) brakeTicks.push_back(tick);
    t.s.AtsBrakeApplied = false;  // as if released, to see the next latch
  }
  EXPECT_EQ(brakeTicks, (std::vector<int>{21, 42}));
  EXPECT_EQ(t.masconCalls, 2);
}

TEST(AtsAlarm, ConfirmationPlaysTheChimeAndLightsTheCheckedLamp) {
  for (AtsChime chime : {AtsChime::Looped, AtsChime::Once}) {
    ProtectionParams p = params(AtsType::Ats, AtsAlert::SpeedChecks);
    p.ATS_Cnt = chime;
    Protection t(p);
    t.ps.AtsCheck = 45;
    t.s.Speed = kmh(60);
    t.ats();
    EXPECT_EQ(t.ps.AtsRememberedCheck, 45);
    // The confirmation key as input handles it.
    t.ps.AtsAlarm = false;
    t.ps.AtsConfirmed = true;
    t.ps.AtsAcknowledged = true;
    t.ps.AtsTimer = 0;
    t.ats();
    EXPECT_FALSE(t.sounds.isPlaying(kBell));
    EXPECT_EQ(t.sounds.states[kChime], chime == AtsChime::Looped ? FakeSoundSlots::State::Looped
                                                                 : FakeSoundSlots::State::Once);
    EXPECT_FALSE(t.ps.AtsConfirmed);
    EXPECT_FALSE(t.cab.Lamp_Ats.visible);
    EXPECT_TRUE(t.cab.Lamp_Y.visible);
    EXPECT_TRUE(t.ps.AtsAcknowledged) << "the Y lamp was already on";
    EXPECT_FALSE(t.s.AtsBrakeApplied);
  }
}

TEST(AtsAlarm, LampsFollowTheCheckState) {
  struct Case {
    int check;
    bool ats, yy, y, yg, acknowledged;
  };
  for (const Case c :
       {Case{25, false, true, false, false, false}, Case{45, false, false, true, false, false},
        Case{65, false, false, false, true, false}, Case{999, false, false, false, false, false},
        Case{0, true, true, true, true, true}}) {
    Protection t(params(AtsType::Ats, AtsAlert::SpeedChecks));
    t.ps.AtsAcknowledged = true;  // no alarm starts
    t.cab.Lamp_Ats.visible = t.cab.Lamp_YY.visible = t.cab.Lamp_Y.visible = true;
    t.cab.Lamp_YG.visible = true;
    if (c.check != 999 && c.check != 0) {
      // The lamp of the check is out, so it is lit afresh and the others go out.
      (c.check == 25   ? t.cab.Lamp_YY
       : c.check == 45 ? t.cab.Lamp_Y
                       : t.cab.Lamp_YG)
          .visible = false;
    }
    t.ps.AtsCheck = c.check;
    t.ats();
    EXPECT_EQ(t.cab.Lamp_Ats.visible, c.ats) << c.check;
    EXPECT_EQ(t.cab.Lamp_YY.visible, c.yy) << c.check;
    EXPECT_EQ(t.cab.Lamp_Y.visible, c.y) << c.check;
    EXPECT_EQ(t.cab.Lamp_YG.visible, c.yg) << c.check;
    EXPECT_EQ(t.ps.AtsAcknowledged, c.acknowledged) << c.check;
  }
}

TEST(SpeedChecks, StartTheAlarmJustAfterThePointAboveItsSpeed) {
  const std::vector<SpeedCheckRecord> checks = {{40, 1000}};
  struct Case {
    int frame;
    long double speed;
    bool alarm;
  };
  for (const Case c : {Case{1001, 40.0001L, true}, Case{1001, 40, false}, Case{1000, 60, false},
                       Case{1009, 60, true}, Case{1010, 60, false}}) {
    TrainState s;
    ProtectionState ps;
    ps.AtsConfirmed = true;
    s.FrameIndex = c.frame;
    s.Speed = kmh(c.speed);
    speedChecks(s, checks, ps);
    EXPECT_EQ(ps.AtsAlarm, c.alarm) << c.frame << " " << static_cast<double>(c.speed);
    EXPECT_EQ(ps.AtsConfirmed, !c.alarm);
  }
}

// --- ATC ---

TEST(Atc, OverspeedPerClassLatchesTheBrake) {
  struct Case {
    int code;
    long double speed;
    int brakeHandle;
    bool brake;
  };
  for (const Case c :
       {Case{14, 25, 0, false}, Case{14, 25.0001L, 0, true}, Case{4, 45.0001L, -6, true},
        Case{11, 65.0001L, 0, true}, Case{11, 65, 0, false}, Case{5, 100, 0, false},
        Case{5, 100.0001L, 0, true}, Case{kNoSignalCode, 100.0001L, 0, true}, Case{3, 0, 0, true},
        Case{1, 99, 0, false}, Case{3, 0, -7, false}}) {  // the driver brakes at the step below EB
    Protection t(params(AtsType::Atc));
    t.ps.SignalCode = c.code;
    t.s.Speed = kmh(c.speed);
    t.s.BrakeHandle = c.brakeHandle;
    t.atc();
    EXPECT_EQ(t.s.AtcBrakeApplied, c.brake) << c.code << " " << static_cast<double>(c.speed);
    EXPECT_EQ(t.ps.AtcLatch, c.brake);
    EXPECT_EQ(t.s.PowerChangePending && t.s.BrakeChangePending, c.brake);
  }
}

TEST(Atc, ReleasesOnTheFirstTickWithoutOverspeed) {
  Protection t(params(AtsType::Atc));
  t.ps.SignalCode = 4;  // Y 45
  t.s.Speed = kmh(50);
  t.atc();
  t.atc();
  EXPECT_EQ(t.masconCalls, 2) << "applied again every tick of overspeed";
  t.s.Speed = kmh(45);
  t.atc();
  EXPECT_FALSE(t.s.AtcBrakeApplied);
  EXPECT_FALSE(t.ps.AtcLatch);
  EXPECT_EQ(t.masconCalls, 3);
  t.atc();
  EXPECT_EQ(t.masconCalls, 3) << "released once";
}

TEST(Atc, OtherTypesAreNotSupervised) {
  Protection t(params(AtsType::Ats));
  t.ps.SignalCode = 3;
  t.s.Speed = kmh(30);
  t.atc();
  EXPECT_FALSE(t.s.AtcBrakeApplied);
}

// --- pattern ATS ---

// A stop signal (kind 2, block state 0) whose check point lies at 1000 m, a limit of 45 km/h at
// 1500 m.
struct PatternLine {
  std::vector<SignalRecord> signals;
  SignalState blocks;
  std::vector<CheckPoint> points = {{100000, 0, 0}, {150000, 45, 0}};
  PatternLine() {
    SignalRecord r;
    r.kind = 2;
    signals.push_back(r);
    blocks.value = {0};
  }
};

TEST(PatternTarget, FirstStopOrLimitWithin600m) {
  struct Case {
    const char* what;
    long double distance;  // cm run
    int kind;
    int value;
    int limit;
    long double ahead;  // cm
  };
  for (const Case c : {Case{"nothing within 600 m", 30000, 2, 0, 999, 0},
                       Case{"stop signal 200 m ahead", 80000, 2, 0, 0, 20000},
                       Case{"its stop code", 80000, 2, 6, 0, 20000},
                       Case{"a clear signal is passed over", 80000, 2, 7, 999, 0},
                       Case{"the limit behind a clear signal", 100000, 2, 7, 45, 50000},
                       Case{"kind 1 never stops", 80000, 1, 0, 999, 0},
                       Case{"exactly 600 m is out of range", 40000, 2, 0, 999, 0},
                       Case{"a point reached is behind", 100000, 2, 0, 45, 50000}}) {
    PatternLine l;
    l.signals[0].kind = c.kind;
    l.blocks.value[0] = c.value;
    const PatternTarget t = patternTarget(c.distance, l.points, l.signals, l.blocks);
    EXPECT_EQ(t.limit, c.limit) << c.what;
    EXPECT_EQ(t.distance, c.ahead) << c.what;
  }
  PatternLine l;
  l.points = {{80000, 0, 7}};  // a signal index outside the list
  EXPECT_EQ(patternTarget(60000, l.points, l.signals, l.blocks).limit, 999);
}

TEST(PatternAts, ApproachesBrakesAndReleasesOnlyThroughClear) {
  // At 60 km/h the braking distance to 0 is 156.25 m; from 65 km/h 183.4 m.
  struct Step {
    long double distanceRun;  // cm; the stop signal stands at 100000
    long double speed;
    int state;
    bool brake;
    bool atsp1, atsp2;
  };
  Protection t(params(AtsType::Pattern));
  PatternLine l;
  const std::vector<Step> steps = {
      {50000, 60, 0, false, false, false},  // 500 m: far from the curve
      {78000, 60, 1, false, true, false},   // 220 m: within 50 m of the curve from 65 km/h
      {84000, 60, 2, true, true, true},     // 160 m: on the curve
      {70000, 60, 2, true, true, true},     // 300 m: still braking, not back to 1
      {99000, 0, 2, true, true, true},      // stopped before the signal: held
  };
  int calls = 0;
  for (const Step& st : steps) {
    t.s.Distance = st.distanceRun;
    t.s.Speed = kmh(st.speed);
    patternAts(t.s, t.p, l.points, l.signals, l.blocks, t.ps, t.cab, t.sounds, [&] { ++calls; });
    EXPECT_EQ(t.ps.PatternState, st.state) << static_cast<double>(st.distanceRun);
    EXPECT_EQ(t.s.AtcBrakeApplied, st.brake) << static_cast<double>(st.distanceRun);
    EXPECT_EQ(t.cab.Lamp_Atsp1.visible, st.atsp1);
    EXPECT_EQ(t.cab.Lamp_Atsp2.visible, st.atsp2);
  }
  EXPECT_EQ(calls, 2);
  l.blocks.value[0] = 4;  // the signal clears: no target
  patternAts(t.s, t.p, l.points, l.signals, l.blocks, t.ps, t.cab, t.sounds, [&] { ++calls; });
  EXPECT_EQ(t.ps.PatternState, 0);
  EXPECT_FALSE(t.s.AtcBrakeApplied);
  EXPECT_FALSE(t.cab.Lamp_Atsp1.visible || t.cab.Lamp_Atsp2.visible);
  EXPECT_EQ(calls, 3);
  EXPECT_EQ(t.sounds.log.size(), 6u) << "the chime restarted at each of three changes";
}

TEST(PatternAts, NoTargetNoBraking) {
  Protection t(params(AtsType::Pattern));
  PatternLine l;
  t.s.Distance = 10000;  // 900 m before the signal
  t.s.Speed = kmh(130);
  patternAts(t.s, t.p, l.points, l.signals, l.blocks, t.ps, t.cab, t.sounds, [] {});
  EXPECT_EQ(t.ps.PatternState, 0);
  EXPECT_FALSE(t.s.AtcBrakeApplied);
  EXPECT_TRUE(t.sounds.log.empty());
}

TEST(PatternAts, WithoutBrakeRateBrakesAboveTheTarget) {
  ProtectionParams p = params(AtsType::Pattern);
  p.BrakeRate = Fixed();
  Protection t(p);
  PatternLine l;
  t.s.Distance = 50000;
  t.s.Speed = kmh(10);
  patternAts(t.s, t.p, l.points, l.signals, l.blocks, t.ps, t.cab, t.sounds, [] {});
  EXPECT_EQ(t.ps.PatternState, 2);
}

// --- EB device ---

TEST(EbDevice, BuzzesAfter60sBrakesAfter65s) {
  Protection t(params(AtsType::Ats));
  t.ps.EbFitted = true;
  t.s.Speed = kmh(30);
  for (int tick = 1; tick <= 600; ++tick) t.eb();
  EXPECT_FALSE(t.sounds.isPlaying(kBuzzer));
  t.eb();  // 60.1 s
  EXPECT_TRUE(t.sounds.isPlaying(kBuzzer));
  EXPECT_TRUE(t.cab.Lamp_EB.visible);
  for (int tick = 602; tick <= 650; ++tick) t.eb();
  EXPECT_FALSE(t.s.AtsBrakeApplied);
  t.eb();  // 65.1 s
  EXPECT_TRUE(t.s.AtsBrakeApplied);
  EXPECT_TRUE(t.s.PowerChangePending && t.s.BrakeChangePending);
  EXPECT_EQ(t.masconCalls, 1);
  EXPECT_EQ(t.ps.EbIdle, 0);
}

TEST(EbDevice, StoppingKeepsTheBuzzerAndInputRestartsTheCount) {
  Protection t(params(AtsType::Ats));
  t.ps.EbFitted = true;
  t.s.Speed = kmh(30);
  for (int tick = 1; tick <= 601; ++tick) t.eb();
  t.s.Speed = kmh(1);  // not above 1 km/h: no counting, still buzzing
  t.sounds.finish(kBuzzer);
  t.eb();
  EXPECT_TRUE(t.sounds.isPlaying(kBuzzer)) << "started again while the count stays above 600";
  EXPECT_EQ(t.ps.EbIdle, 601);

  t.ps.EbIdle = 0;  // a driver input
  t.eb();
  EXPECT_TRUE(t.sounds.isPlaying(kBuzzer)) << "the count alone silences nothing";
  t.sounds.finish(kBuzzer);
  t.s.Speed = kmh(30);
  for (int tick = 1; tick <= 600; ++tick) t.eb();
  EXPECT_FALSE(t.sounds.isPlaying(kBuzzer));
  for (int tick = 601; tick <= 651; ++tick) t.eb();
  EXPECT_TRUE(t.s.AtsBrakeApplied);
}

TEST(EbDevice, AutoSpeedSwitchesItOffForTheRun) {
  Protection t(params(AtsType::Ats));
  t.ps.EbFitted = true;
  t.s.Speed = kmh(30);
  t.s.AutoSpeed = true;
  t.eb();
  t.s.AutoSpeed = false;
  for (int tick = 1; tick <= 700; ++tick) t.eb();
  EXPECT_FALSE(t.ps.EbFitted);
  EXPECT_EQ(t.ps.EbIdle, 0);
  EXPECT_FALSE(t.s.AtsBrakeApplied);
}

TEST(TrainProtection, AllocatesNothingPerTick) {
  Protection t(params(AtsType::Pattern));
  PatternLine l;
  t.s.Distance = 84000;
  t.s.Speed = kmh(60);
  platform::NullSoundSlots sounds;  // the fake's call log would allocate
  int calls = 0;
  auto masconupdate = [&] { ++calls; };
  testing::startCountingAllocations();
  for (int i = 0; i < 10; ++i) {
    trainProtection(t.s, t.p, l.points, l.signals, l.blocks, t.ps, t.cab, sounds, masconupdate);
  }
  const long allocations = testing::stopCountingAllocations();
  EXPECT_EQ(allocations, 0);
  EXPECT_EQ(calls, 1);
}

}  // namespace
}  // namespace dravolin::sim
