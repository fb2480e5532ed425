#include "drive/drive.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "drive/drive_fixture.h"

namespace dravolin::drive {
namespace {

using platform::VirtualSoundSlots;
using Event = VirtualSoundSlots::Event;
using testing::kFirstLineSlot;
using testing::kmh;

// Virtual time of a clock reading: 1/30 s per tick.
std::int64_t msAt(int clockTicks) { return static_cast<std::int64_t>(clockTicks) * 100 / 3; }

class DriveTest : public ::testing::Test {
 protected:
  explicit DriveTest(int oneMan = 0) : drive_(testing::testDriveData(oneMan), sound_, program_) {
    testing::loadTestSounds(sound_);
    // At rest with the doors closed, as after a move to a station.
    sim::TrainState& s = drive_.state();
    s.DoorsOpen = false;
    s.DoorCommand = false;
    drive_.cab().Lamp_Door.visible = true;
  }

  VirtualSoundSlots sound_;
  input::ProgramInputState program_;
  Drive drive_;
};

// --- doors ---

// Sounds started or stopped in one tick, as "slot action" items joined by ", ".
std::string eventsText(const std::vector<Event>& events) {
  std::string t;
  for (const Event& e : events)
    t += (t.empty() ? "" : ", ") + std::to_string(e.slot) + " " + e.action;
  return t;
}

struct DoorStep {
  std::int64_t tMs;
  bool operate;  // the door key; otherwise the display tick's closing step
  long double speedKmh;
  bool doorsOpen;
  bool lampVisible;
  const char* events;  // door open 1, door close 2
};

// clang-format off
TEST_F(DriveTest, DoorsOpenAtOnceAndCloseWhenTheSoundHasEnded) {
  const std::vector<DoorStep> steps = {
      {   0, true,     0, true,  true,  "1 play"},
      {   0, false,    0, true,  false, ""},
      { 500, true,     3, true,  false, ""},  // moving: the key does nothing
      {1500, false,    3, true,  false, ""},
      {1500, true,  0.4L, true,  false, "2 play"},
      {1500, false,    0, true,  false, ""},
      {3499, false,    0, true,  false, ""},  // the closing sound runs to 3500
      {3500, false,    0, false, true,  ""},
      {3600, false,    0, false, true,  ""}};
  // clang-format on
  for (std::size_t i = 0; i < steps.size(); ++i) {
    const DoorStep& st = steps[i];
    sound_.clearEvents();
    sound_.setTimeMs(st.tMs);
    drive_.state().Speed = kmh(st.speedKmh);
    st.operate ? drive_.Door_operate() : drive_.doorClosingStep();
    EXPECT_EQ(drive_.state().DoorsOpen, st.doorsOpen) << "step " << i;
    EXPECT_EQ(drive_.cab().Lamp_Door.visible, st.lampVisible) << "step " << i;
    EXPECT_EQ(eventsText(sound_.events()), st.events) << "step " << i;
  }
}

// --- move to a station ---

struct MoveCase {
  const char* item;
  int frame;
  int clock;
  int scheduleFrame;
  long double distance;
  int announceCursor;
  const char* label4;
};

class StationClickTest : public DriveTest, public ::testing::WithParamInterface<MoveCase> {};

TEST_P(StationClickTest, PutsTheTrainAtRestAtTheStopPosition) {
  const MoveCase& c = GetParam();
  sim::TrainState& s = drive_.state();
  // Running towards station A with power on; a marker shown and sounds playing.
  s.FrameIndex = 150;
  s.Speed = kmh(50);
  s.PowerHandle = s.PowerNotch = 3;
  s.BrakeHandle = s.BrakeNotch = 0;
  s.BrakeChangePending = true;
  s.BrakePressure = sim::Fixed::fromInt(123);
  s.DistanceStep = 12;
  s.DistanceToStop = 99;
  s.Gradient = s.HeadGradient = sim::Fixed::fromInt(10);
  drive_.protection().ShownCode = 5;
  drive_.indication().LimitBlinking = true;
  drive_.cab().Label3.text = "12:34:56";
  drive_.stationStep();
  ASSERT_EQ(drive_.stationFlags().markerShown[0], 1);
  for (int slot : {0, 3, 4, 5, 6}) sound_.assign(slot, sound_.addWave(10000));
  for (int slot : {0, 3, 4, 5, 6}) sound_.playLooped(slot);
  sound_.clearEvents();

  drive_.StationClick(c.item);

  using std::tuple;
  EXPECT_EQ(tuple(s.FrameIndex, s.ClockTicks, s.ScheduleFrame, drive_.input().AnnounceCursor),
            tuple(c.frame, c.clock, c.scheduleFrame, c.announceCursor));
  EXPECT_EQ(tuple(s.Distance, s.NextStopDistance, s.DistanceStep, s.DistanceToStop),
            tuple(c.distance, c.distance, 0.0L, 0.0L));
  EXPECT_EQ(drive_.cab().Label4.text, c.label4);
  // At rest, handles and notches at emergency and shown so, doors closed.
  EXPECT_EQ(tuple(s.PowerHandle, s.PowerNotch, s.BrakeHandle, s.BrakeNotch, s.SpeedUnitSegment),
            tuple(0, 0, -8, -8, -1));
  EXPECT_EQ(tuple(s.Speed, s.Gradient, s.HeadGradient),
            tuple(sim::Fixed(), sim::Fixed(), sim::Fixed()));
  EXPECT_EQ(tuple(drive_.cab().BrakeLabel.text, drive_.cab().Lamp_B.image), tuple("非常", 8));
  EXPECT_EQ(tuple(s.DoorsOpen, drive_.cab().Lamp_Door.visible), tuple(false, true));
  EXPECT_EQ(drive_.protection().ShownCode, sim::kRedrawSignal);
  EXPECT_FALSE(drive_.indication().LimitBlinking);
  EXPECT_EQ(drive_.stationFlags().markerShown, std::vector<std::uint8_t>(5, 0));
  // Line sound slots 1..D+S+K stop; the drive sound in slot 0 and later slots play on.
  EXPECT_EQ(eventsText(sound_.events()), "3 stop, 4 stop, 5 stop");
  EXPECT_TRUE(sound_.isPlaying(0) && sound_.isPlaying(6));
  // Left alone: brake air, pending changes, the clock display.
  EXPECT_EQ(tuple(s.BrakePressure, s.BrakeChangePending, drive_.cab().Label3.text),
            tuple(sim::Fixed::fromInt(123), true, "12:34:56"));
}

INSTANTIATE_TEST_SUITE_P(
    Stations, StationClickTest,
    ::testing::Values(
        // Schedule frame: round((clock - 1500) / 2) + StartPos 20 + PreTimeFrames 60.
        MoveCase{"Sta0", 150, 2850, 755, 5000, 0, "A"},
        // Midpoint 650.5 rounds to 650; (3851 - 1500) / 2 = 1175.5 rounds to 1176.
        MoveCase{"Sta2", 650, 3851, 1256, 20000, 2, "C"},
        MoveCase{"Sta3", 950, 4850, 1755, 30000, 2, "D"},
        MoveCase{"Sta4", 1250, 5850, 2255, 40000, 4, "E"}));

TEST_F(DriveTest, StationClickWithAnUnknownNameDoesNothing) {
  sim::TrainState& s = drive_.state();
  s.FrameIndex = 777;
  s.Speed = kmh(50);
  s.ClockTicks = 4000;
  sound_.playLooped(kFirstLineSlot);
  sound_.clearEvents();
  for (const char* item : {"Sta5", "Sta", "sta1", "Sta01", ""}) {
    drive_.StationClick(item);
    EXPECT_EQ(s.FrameIndex, 777) << item;
    EXPECT_EQ(s.Speed, kmh(50)) << item;
    EXPECT_EQ(s.ClockTicks, 4000) << item;
  }
  EXPECT_TRUE(sound_.events().empty());
}

// --- station stops ---

struct StationTick {
  const char* what;
  bool doorKey;  // the driver presses the door key before the tick
  int frame;
  long double speedKmh;
  int clock;
  const char* label4;
  bool marker;
  bool doorsOpen;
  bool departedA;
  long double nextStop;
  const char* events;  // door open 1, door close 2, departure sound 3
};

// Runs the display-tick steps that take part: door closing, then the station sequence.
void runTicks(Drive& drive, VirtualSoundSlots& sound, const std::vector<StationTick>& ticks) {
  for (const StationTick& t : ticks) {
    sim::TrainState& s = drive.state();
    s.FrameIndex = t.frame;
    s.Speed = kmh(t.speedKmh);
    s.ClockTicks = t.clock;
    sound.setTimeMs(msAt(t.clock));
    sound.clearEvents();
    if (t.doorKey) drive.Door_operate();
    drive.doorClosingStep();
    drive.stationStep();
    EXPECT_EQ(drive.cab().Label4.text, t.label4) << t.what;
    EXPECT_EQ(drive.cab().stop.hasPicture(), t.marker) << t.what;
    EXPECT_EQ(s.DoorsOpen, t.doorsOpen) << t.what;
    EXPECT_EQ(drive.stationFlags().departed[0], t.departedA ? 1 : 0) << t.what;
    EXPECT_EQ(s.NextStopDistance, t.nextStop) << t.what;
    EXPECT_EQ(eventsText(sound.events()), t.events) << t.what;
  }
}

// A: departure sound at 3000, departure at 3300 (clock ticks); the sound lasts 90 ticks, the
// closing sound 60.
// clang-format off
TEST_F(DriveTest, StationSequenceWithAutomaticDoors) {
  runTicks(drive_, sound_, {
      {"before the first station",             false,   60,   40, 2700, "",       false, false, false, 0,     ""},
      {"entering A",                           false,  150,   20, 2760, "A",      true,  false, false, 0,     ""},
      {"stopped at 0.4 km/h: doors open",      false,  150, 0.4L, 2790, "A",      true,  true,  false, 0,     "1 play"},
      {"at the sound time itself",             false,  150,    0, 3000, "A",      true,  true,  false, 0,     ""},
      {"departure sound; next stop is D",      false,  150,    0, 3003, "A",      true,  true,  false, 30000, "3 play"},
      {"departure time, sound ended: close",   false,  150,    0, 3303, "A",      true,  true,  true,  30000, "2 play"},
      {"closing sound ended",                  false,  150,    0, 3363, "A",      true,  false, true,  30000, ""},
      {"towards the pass station",             false,  300,   50, 3600, "B 通過",  false, false, true,  30000, ""},
      {"inside the pass range",                false,  410,   50, 3700, "B 通過",  false, false, true,  30000, ""},
      {"towards C",                            false,  500,   50, 3800, "C 停車2", false, false, true,  30000, ""},
      {"C: sound with doors closed, no doors", false,  650,    0, 4002, "C",      true,  false, true,  30000, "3 play"},
      {"C after its departure time",           false,  650,    0, 4302, "C",      true,  false, true,  30000, ""},
      {"towards D",                            false,  800,   50, 4500, "D 停車",  false, false, true,  30000, ""},
      {"D at 0.6 km/h: doors stay",            false,  950, 0.6L, 4600, "D",      true,  false, true,  30000, ""},
      {"D stopped",                            false,  950,    0, 4630, "D",      true,  true,  true,  30000, "1 play"},
      {"D departure sound: next stop E",       false,  950,    0, 5003, "D",      true,  true,  true,  40000, "3 play"},
      {"towards E",                            false, 1100,    0, 5100, "E 停車",  false, true,  true,  40000, ""},
      {"past the last station",                false, 1400,    0, 5200, "E 停車",  false, true,  true,  40000, ""}});
}
// clang-format on

class OneManDriveTest : public DriveTest {
 protected:
  OneManDriveTest() : DriveTest(1) {}
};

// clang-format off
TEST_F(OneManDriveTest, DoorsStayAsTheDriverLeavesThem) {
  runTicks(drive_, sound_, {
      {"stopped at A",                     false, 150, 0, 2790, "A", true, false, false, 0,     ""},
      {"no sound with the doors closed",   false, 150, 0, 3003, "A", true, false, false, 0,     ""},
      {"driver opens: the sound follows",  true,  150, 0, 3243, "A", true, true,  false, 30000, "1 play, 3 play"},
      {"sound playing at departure time",  false, 150, 0, 3303, "A", true, true,  false, 30000, ""},
      {"departed; doors stay open",        false, 150, 0, 3333, "A", true, true,  true,  30000, ""},
      {"driver closes",                    true,  150, 0, 3363, "A", true, true,  true,  30000, "2 play"},
      {"closed",                           false, 150, 0, 3423, "A", true, false, true,  30000, ""}});
}
// clang-format on

}  // namespace
}  // namespace dravolin::drive
