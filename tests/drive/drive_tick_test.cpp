#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "data/text_encoding.h"
#include "drive/drive.h"
#include "drive/drive_fixture.h"
#include "fixtures/wave_bytes.h"
#include "input/key_codes.h"
#include "platform/file_picture_loader.h"
#include "platform/null_sound_slots.h"
#include "sim/allocation_counter.h"
#include "sim/virtual_time.h"

namespace dravolin::drive {
namespace {

namespace fs = std::filesystem;
using platform::VirtualSoundSlots;
using testing::kmh;
using testing::kOtherSoundSlot;

class DisplayTick : public ::testing::Test {
 protected:
  DisplayTick() : drive_(data(), sound_, program_) {
    testing::loadTestSounds(sound_);
    drive_.state().DoorsOpen = false;
    drive_.state().DoorCommand = false;
    drive_.cab().Lamp_Door.visible = true;
  }
  static DriveData data() {
    DriveData d = testing::testDriveData();
    d.files.train.Sound_Horn = kOtherSoundSlot;
    d.files.mascon.codes.assign(22, "");
    d.files.mascon.codes[20] = "HORN";  // line 21: the horn button, posted as "3"
    return d;
  }

  VirtualSoundSlots sound_;
  input::ProgramInputState program_;
  Drive drive_;
};

// The doors open by the station step (late in the tick), so the door step (early) hides the
// door lamp only on the next tick.
TEST_F(DisplayTick, StationStepOpensTheDoorsAfterTheDoorStep) {
  drive_.state().FrameIndex = 150;  // station A, at rest
  drive_.Timer1Timer();
  EXPECT_TRUE(drive_.state().DoorsOpen);
  EXPECT_TRUE(drive_.cab().Lamp_Door.visible);
  drive_.Timer1Timer();
  EXPECT_FALSE(drive_.cab().Lamp_Door.visible);
}

// The digital speed is shown before the tick's physics, the lamps after it: braking from just
// above "[Lose_elec]" (10 km/h) below it turns the electric-brake lamps off in the same tick.
TEST_F(DisplayTick, LampsFollowTheSpeedOfThisTick) {
  sim::TrainState& s = drive_.state();
  s.Speed = kmh(10.3);
  s.BrakeHandle = s.BrakeNotch = -3;
  s.BrakePressure = sim::Fixed::fromInt(400);
  drive_.Timer1Timer();
  EXPECT_LT(s.Speed, kmh(10));
  EXPECT_FALSE(drive_.cab().Lamp_Gen.visible);
  EXPECT_FALSE(drive_.cab().Lamp_Ele.visible);
  EXPECT_TRUE(drive_.cab().Lamp_Air.visible);
  s.Speed = kmh(2.6);
  drive_.Timer1Timer();
  EXPECT_LT(s.Speed, kmh(2.5));
  EXPECT_EQ(drive_.cab().digi_speed.text, "3km/h");
}

// The clock digits change every tenth tick; the value display is refreshed only while shown.
TEST_F(DisplayTick, ClockEveryTenthTickAndValuesOnlyWhileShown) {
  drive_.state().Speed = kmh(0.5);
  for (int i = 0; i < 9; ++i) drive_.Timer1Timer();
  EXPECT_EQ(drive_.cab().Label3.text, "00:00:00");
  EXPECT_EQ(drive_.valueDisplay().Speed, "0 km/h");
  drive_.keydowns(input::kKeyF5, 0);
  ASSERT_TRUE(drive_.valueDisplay().visible);
  drive_.Timer1Timer();
  EXPECT_EQ(drive_.displayTickCount(), 10);
  EXPECT_EQ(drive_.cab().Label3.text, "00:00:50");
  EXPECT_NE(drive_.valueDisplay().Speed, "0 km/h");
}

TEST_F(DisplayTick, StartPauseResume) {
  struct Step {
    bool running;
    const char* caption;
  };
  EXPECT_EQ(drive_.startCaption(), "Start");
  EXPECT_TRUE(drive_.state().AwaitingStart);
  EXPECT_FALSE(drive_.shownFrame().redrawDue());
  for (const Step& step :
       {Step{true, "一時停止(&S)"}, Step{false, "運転再開(&S)"}, Step{true, "一時停止(&S)"}}) {
    drive_.start1Click();
    EXPECT_EQ(drive_.running(), step.running);
    EXPECT_EQ(drive_.startCaption(), step.caption);
    // Every use asks for the current frame once, whatever frame was shown last.
    EXPECT_TRUE(drive_.shownFrame().due(drive_.shownFrame().lastShown()));
    drive_.shownFrame().presented(drive_.state().FrameIndex);
    EXPECT_FALSE(drive_.shownFrame().due(drive_.state().FrameIndex));
    EXPECT_FALSE(drive_.state().AwaitingStart);
  }
}

// The controller box's horn button is posted as "3" and handled right after the message; before
// the first Start the character handler ignores it.
TEST_F(DisplayTick, PostedEventsFollowTheMessageThatPostedThem) {
  drive_.RxChar("HORN");
  EXPECT_EQ(drive_.valueDisplay().caption, "HORN");
  EXPECT_FALSE(sound_.isPlaying(kOtherSoundSlot));
  drive_.start1Click();
  drive_.RxChar("HORN");
  EXPECT_TRUE(sound_.isPlaying(kOtherSoundSlot));
}

TEST_F(DisplayTick, ClosingStopsTheTicksTheBrakesAndTheSounds) {
  drive_.start1Click();
  sim::TrainState& s = drive_.state();
  s.DistanceToStop = 1234;
  s.AtsBrakeApplied = s.AtcBrakeApplied = true;
  drive_.protection().PatternState = 2;
  drive_.protection().PreviousPatternState = 1;
  sound_.playLooped(testing::kFirstLineSlot);
  drive_.FormCloseQuery();
  EXPECT_FALSE(drive_.running());
  EXPECT_EQ(s.DistanceToStop, 0);
  EXPECT_FALSE(s.AtsBrakeApplied || s.AtcBrakeApplied);
  EXPECT_EQ(drive_.protection().PatternState + drive_.protection().PreviousPatternState, 0);
  EXPECT_FALSE(sound_.isPlaying(testing::kFirstLineSlot));
}

// The sample drive loaded from its files, with a silent wave for every sound it names, running
// at speed with the motor, running noise, line and passing sounds in use: after a few ticks a
// display tick (and the simulation ticks between) allocates nothing.
TEST(LoadedDrive, DisplayTickAllocatesNothing) {
  const char* env = std::getenv("DRAVOLIN_FIXTURES");
  const fs::path fixtures = env && *env ? fs::path(env) : fs::path(DRAVOLIN_FIXTURES_DIR);
  const fs::path dir =
      fs::temp_directory_path() / ("dravolin_drive_alloc_" + std::to_string(::getpid()));
  fs::remove_all(dir);
  fs::copy(fixtures / "drive", dir, fs::copy_options::recursive);
  fs::create_directories(dir / "sound");
  std::vector<std::string> names = {"ソ表", "brake", "motor", "run", "表", "depart", "other"};
  for (int i = 0; i < 28; ++i) names.push_back((i < 10 ? "kanko0" : "kanko") + std::to_string(i));
  for (const std::string& n : names) {
    testing::writeFile((dir / "sound" / (n + ".wav")).string(),
                       testing::wav16(std::vector<std::int16_t>(4000), 8000));
  }
  // A next-station caption longer than a short text's inline room.
  {
    std::ifstream in(dir / "test_line.dat", std::ios::binary);
    std::string line((std::istreambuf_iterator<char>(in)), {});
    const std::string from = data::utf8ToCp932("能登,");
    line.replace(line.find(from), from.size(), data::utf8ToCp932("能登川高田馬場前,"));
    std::ofstream(dir / "test_line.dat", std::ios::binary) << line;
  }
  platform::FilePictureLoader pictures;
  VirtualSoundSlots sound;
  sound.initialise();
  input::ProgramInputState program;
  auto drive =
      Drive::FormCreate({dir, "test_train.dat", "test_line.dat"}, {pictures, sound}, program);
  fs::remove_all(dir);
  drive->start1Click();
  drive->keydowns(input::kKeyF5, 0);  // the value display too
  drive->state().DoorsOpen = false;
  drive->state().BrakeHandle = drive->state().BrakeNotch = 0;
  drive->state().BrakePressure = sim::Fixed{};
  drive->state().Speed = kmh(40);
  drive->state().PowerHandle = drive->state().PowerNotch = 2;
  auto run = [&](int displayTicks) {
    sim::runVirtualTime(
        displayTicks * sim::kDisplayTickMs, drive->running(), [&](int t) { sound.setTimeMs(t); },
        [&](int) { drive->MMTimer1Timer(); }, [&](int) { drive->Timer1Timer(); }, [](int) {});
  };
  drive->state().FrameIndex = 250;  // before the pass station: its long caption shows
  run(5);
  ASSERT_EQ(drive->cab().Label4.text, "能登川高田馬場前通過");
  testing::startCountingAllocations();
  testing::allocateOnce();  // the counter sees this program's allocations
  EXPECT_EQ(testing::stopCountingAllocations(), 1);
  testing::startCountingAllocations();
  run(100);
  EXPECT_EQ(testing::stopCountingAllocations(), 0);
  EXPECT_GT(drive->state().FrameIndex, 400);  // past the pass station and the passing sound
  EXPECT_GT(drive->soundControl().lastAttenuation[200], -10000);
  EXPECT_EQ(drive->cab().Label4.text, "予十停車");
}

}  // namespace
}  // namespace dravolin::drive
