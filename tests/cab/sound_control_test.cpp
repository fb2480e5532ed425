#include "cab/sound_control.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "cab/cab_test_data.h"
#include "fixtures/fake_sound_slots.h"

namespace dravolin::cab {
namespace {

using testing::FakeSoundSlots;
using State = FakeSoundSlots::State;

struct World {
  data::TrainFile train = testing::cabTrain();
  data::LineFile line = testing::cabLine();
  data::SoundLayout layout;
  sim::TrainState s;
  SoundControlState sc;
  FakeSoundSlots slots;

  World() { reload(); }
  void reload() {
    layout = data::soundLayout(train, line);
    sc = startSoundControl(train, line);
  }
  void speed(long double kmh) { s.Speed = sim::Fixed::round(kmh); }
  bool logged(const std::string& entry) const {
    return std::find(slots.log.begin(), slots.log.end(), entry) != slots.log.end();
  }
};

struct SlotExpectation {
  int slot;
  State state;
  std::optional<int> attenuation = {};
  std::optional<double> ratio = {};
};

struct SoundCase {
  const char* name;
  std::function<void(World&)> run;
  std::vector<SlotExpectation> slots;
  std::vector<std::string> notLogged = {};
};

using Run = std::function<void(World&)>;

void loop(World& w, const std::vector<int>& playing) {
  for (const int slot : playing) w.slots.states[slot] = State::Looped;
}

Run noiseAt(long double kmh, std::vector<int> playing = {}, int driveSounds = 20) {
  return [=](World& w) {
    w.train = testing::cabTrain(driveSounds);
    w.reload();
    loop(w, playing);
    w.speed(kmh);
    runningNoise(w.s, w.layout, w.sc, w.slots);
  };
}

// One tick braking at `kmh` with 400 kPa, then `ticks` more with the brake notch `after`.
Run squealAt(long double kmh, int after = -3, int ticks = 0, std::vector<int> playing = {}) {
  return [=](World& w) {
    loop(w, playing);
    w.s.BrakeNotch = -3;
    w.s.BrakePressure = sim::Fixed::fromInt(400);
    w.speed(kmh);
    brakeSqueal(w.s, w.train, w.sc, w.slots);
    w.s.BrakeNotch = after;
    for (int i = 0; i < ticks; ++i) brakeSqueal(w.s, w.train, w.sc, w.slots);
  };
}

struct Notches {
  int power;
  int brake;
  int ticks;
};

// One motor sound of `mode` between `from` and `to` km/h, ratios 0.5 to 1.5, volumes 1 to 3.
Run motorAt(int mode, long double from, long double to, long double kmh,
            std::vector<Notches> steps) {
  return [=](World& w) {
    w.train.MotorSound = {{"m.wav", mode, from, to, 0.5L, 1.5L, 1.0L, 3.0L}};
    w.reload();
    w.speed(kmh);
    for (const Notches& n : steps) {
      w.s.PowerNotch = n.power;
      w.s.BrakeNotch = n.brake;
      for (int i = 0; i < n.ticks; ++i) motorSounds(w.s, w.train, w.sc, w.slots);
    }
  };
}

// Line sound 2 (slot 22) approaches from frame 1000, passes at 2000 and recedes until 2500;
// another passes at once at 3000; line sound 5 does not exist.
Run passingAt(int frame, std::vector<int> playing = {}) {
  return [=](World& w) {
    loop(w, playing);
    w.line.dopplers = {{2, 1000, 2000, 2500}, {2, 3000, 3000, 3100}, {5, 1000, 2000, 2500}};
    w.speed(61);
    w.s.FrameIndex = frame;
    passingSounds(w.s, w.line, w.layout, w.sc, w.slots);
  };
}

Run stopSoundAt(long double kmh) {
  return [=](World& w) {
    w.line.stopSoundFrames = {100};
    w.s.FrameIndex = 110;
    w.speed(kmh);
    stopSound(w.s, w.train, w.line, w.slots);
  };
}

const SoundCase kCases[] = {
    {"Noise37BandsThreeAndFour",
     noiseAt(37),
     {{3, State::Looped, -1046}, {4, State::Looped, -310}, {2, State::Stopped}},
     {"stop 2"}},
    {"Noise37StopsPlayingNeighbours",
     noiseAt(37, {2, 5}),
     {{2, State::Stopped}, {5, State::Stopped}, {3, State::Looped, -1046}}},
    {"NoiseStandstill", noiseAt(0), {{0, State::Looped, 0}, {1, State::Looped, -4000}}},
    {"Noise10KeepsBandZero",
     noiseAt(10, {0}),
     {{0, State::Looped}, {1, State::Looped, 0}, {2, State::Looped, -4000}},
     {"stop 0"}},
    {"NoiseRoundsHalfToEven", noiseAt(36.5L), {{3, State::Looped, -796}, {4, State::Looped, -444}}},
    {"Noise120KeepsLastState",
     noiseAt(-120, {11}),
     {{11, State::Looped}, {12, State::Stopped}},
     {"stop 11", "loop 12"}},
    {"NoiseNeverReachesBeyondDriveSounds",
     noiseAt(115, {}, 12),
     {{11, State::Looped, -602}, {12, State::Stopped}},
     {"loop 12"}},
    {"SquealStartsLouderWithHarderBrake", squealAt(5), {{15, State::Looped, -625}}},
    {"NoSquealAtExactly3", squealAt(3), {{15, State::Stopped}}},
    {"NoSquealAtLoseElec", squealAt(10), {{15, State::Stopped}}},
    {"SquealFadesAfterRelease", squealAt(5, 0, 43), {{15, State::Looped, -4925}}},
    {"SquealStopsBelowMinus50dB", squealAt(5, 0, 44), {{15, State::Stopped, -5025}}},
    {"SquealAtStandstillFades10dB", squealAt(0, -3, 4, {15}), {{15, State::Looped, -5000}}},
    {"SquealAtStandstillStops", squealAt(0, -3, 5, {15}), {{15, State::Stopped, -6000}}},
    {"SquealFadesAbove45UnderBrake", squealAt(50, -3, 0, {15}), {{15, State::Looped, -100}}},
    // Master level 101 after four ticks under a notch; gain 20 and 10.
    {"MotorGainFallsTo20InEightTicks",
     motorAt(0, 200, 300, 0, {{1, 0, 1}, {0, -1, 8}}),
     {{200, State::Looped, -5389}}},
    {"MotorGainFallsTo10InNineTicksAndStays",
     motorAt(0, 200, 300, 0, {{1, 0, 1}, {0, -1, 10}}),
     {{200, State::Looped, -5991}}},
    {"MotorMasterHoldsUnderBrake",
     motorAt(2, 200, 300, 0, {{0, -1, 6}}),
     {{200, State::Looped, -3991}}},
    {"MotorMasterFallsWithBothHandlesOff",
     motorAt(2, 200, 300, 0, {{0, -1, 5}, {0, 0, 1}}),
     {{200, State::Looped, -4082}}},
    {"MotorInterpolatesWithinItsRange",
     motorAt(2, 10, 50, 30, {{0, 0, 1}}),
     {{200, State::Looped, -7398, 1.0}}},
    {"PassingStartsAtMinus10dB", passingAt(1000), {{22, State::Looped, -1000}}},
    {"PassingOneFrameBefore", passingAt(1999), {{22, State::Stopped, -1}}},
    {"PassingFrameIsFullLevel", passingAt(2000), {{22, State::Stopped, 0, 1220.0 / 1159.0}}},
    {"PassingRecedingHalfway", passingAt(2250), {{22, State::Stopped, -500, 1220.0 / 1281.0}}},
    {"PassingStopsAtItsEnd", passingAt(2500, {22}), {{22, State::Stopped}}},
    {"PassingWithoutApproachIsFullLevel", passingAt(3000), {{22, State::Looped, 0}}},
    {"PassingBeyondTheLineSoundsIsSkipped",
     passingAt(1020),
     {{25, State::Stopped}},
     {"loop 25", "stop 25"}},
    {"StopSoundLoopsAfterItsFrame", stopSoundAt(30), {{16, State::Looped}}},
    {"StopSoundEndsNearStandstill", stopSoundAt(0.5L), {{16, State::Stopped}}},
    {"DieselEngineUnderPower",
     [](World& w) {
       w.train.params.Engine_Type = 0;
       w.s.DoorsOpen = false;
       w.s.PowerNotch = 1;
       w.s.EngineOutput = 50;
       engineSound(w.s, w.train, w.sc, w.slots);
     },
     {{17, State::Looped, -2444, 0.75}, {18, State::Looped}}},
};

void PrintTo(const SoundCase& c, std::ostream* os) { *os << c.name; }

class SoundControlCases : public ::testing::TestWithParam<SoundCase> {};

TEST_P(SoundControlCases, SlotsEndAsExpected) {
  World w;
  GetParam().run(w);
  for (const SlotExpectation& e : GetParam().slots) {
    EXPECT_EQ(w.slots.states[e.slot], e.state) << "slot " << e.slot;
    if (e.attenuation) {
      EXPECT_EQ(w.slots.volumes[e.slot], *e.attenuation) << "slot " << e.slot;
    }
    if (e.ratio) {
      EXPECT_DOUBLE_EQ(w.slots.ratios[e.slot], *e.ratio) << "slot " << e.slot;
    }
  }
  for (const std::string& entry : GetParam().notLogged) {
    EXPECT_FALSE(w.logged(entry)) << entry;
  }
}

INSTANTIATE_TEST_SUITE_P(EdgeCases, SoundControlCases, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Attenuation, FromAmplitudeFactor) {
  const std::pair<long double, int> cases[] = {{1.0L, 0},    {0.1L, -2000},  {0.3L, -1046},
                                               {0.7L, -310}, {0.0L, -10000}, {-1.0L, -10000},
                                               {2.0L, 0},    {1e-9L, -10000}};
  for (const auto& [factor, expected] : cases) {
    EXPECT_EQ(attenuationOf(factor), expected) << static_cast<double>(factor);
  }
}

// Line sounds 0..4 are slots 20..24. Row 0 plays sound 0 once at frame 100, row 1 loops sound 1
// from frame 200 to 300 at a reference speed of 50 km/h, row 2 plays sound 0 once more at 400.
TEST(LineSounds, OnceAndLoopedEachPlayOncePerRun) {
  World w;
  w.line.sounds = {{0, 100, 110, 1, 0}, {1, 200, 300, 50, 1}, {0, 400, 410, 1, 0}};
  w.reload();
  const auto at = [&](int frame, long double kmh) {
    w.s.FrameIndex = frame;
    w.speed(kmh);
    lineSounds(w.s, w.line, w.layout, w.sc, w.slots);
  };
  const auto count = [&](const std::string& entry) {
    return std::count(w.slots.log.begin(), w.slots.log.end(), entry);
  };

  at(98, 25);
  at(102, 25);
  w.slots.finish(20);
  at(103, 25);
  EXPECT_EQ(count("play 20"), 1);
  EXPECT_EQ(w.slots.states[20], State::Stopped);

  at(200, 25);
  EXPECT_EQ(w.slots.states[21], State::Looped);
  EXPECT_DOUBLE_EQ(w.slots.ratios[21], 0.5);
  EXPECT_EQ(w.slots.volumes[21], -602);
  at(250, 0);
  EXPECT_EQ(w.slots.volumes[21], -10000);
  at(298, 25);
  EXPECT_EQ(w.slots.states[21], State::Stopped);
  at(201, 25);  // back at the start (a move to a station): not started again
  EXPECT_EQ(count("loop 21"), 1);

  at(400, 25);  // a second row of the same sound plays in its turn
  EXPECT_EQ(count("play 20"), 2);
  at(100, 25);
  EXPECT_EQ(count("play 20"), 2);
}

TEST(Announcements, PlayNearTheirFrameOnlyWithoutOneMan) {
  for (const int oneMan : {0, 1}) {
    World w;
    w.line.oneMan = oneMan;
    w.line.announce = {{3, 500}, {7, 500}};  // sound 7 is beyond the line's five sounds
    w.s.FrameIndex = 496;
    announcements(w.s, w.line, w.layout, w.sc, w.slots);
    EXPECT_EQ(w.slots.states[23], oneMan == 0 ? State::Once : State::Stopped);
    EXPECT_EQ(w.slots.log.size(), oneMan == 0 ? 2u : 0u);
  }
}

// A train standing in the window hears the announcement once, however often it ends; leaving the
// window (or a move to a station) and coming back plays it again.
TEST(Announcements, PlayOnceEachTimeTheTrainEntersTheirWindow) {
  World w;
  w.line.oneMan = 0;
  w.line.announce = {{3, 500}};
  w.reload();
  struct Step {
    int frame;
    bool moveToStation;  // before this tick
    int plays;           // "play 23" so far; the sound ends after every tick
  };
  const Step steps[] = {{490, false, 0}, {496, false, 1}, {500, false, 1}, {504, false, 1},
                        {500, false, 1}, {505, false, 1}, {503, false, 2}, {503, false, 2},
                        {495, false, 2}, {502, true, 3},  {502, false, 3}};
  for (const Step& step : steps) {
    if (step.moveToStation) forgetAnnouncementWindows(w.sc);
    w.s.FrameIndex = step.frame;
    announcements(w.s, w.line, w.layout, w.sc, w.slots);
    w.slots.finish(23);
    EXPECT_EQ(std::count(w.slots.log.begin(), w.slots.log.end(), "play 23"), step.plays)
        << step.frame;
  }
}

}  // namespace
}  // namespace dravolin::cab
