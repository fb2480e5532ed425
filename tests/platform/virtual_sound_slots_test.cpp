#include "platform/virtual_sound_slots.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <utility>
#include <vector>

#include "fixtures/wave_bytes.h"
#include "platform/null_sound_slots.h"
#include "platform/openal_sound_slots.h"
#include "platform/virtual_time_sound_slots.h"

namespace dravolin::platform {

inline void PrintTo(const VirtualSoundSlots::Event& e, std::ostream* os) {
  *os << "{" << e.tMs << " ms, slot " << e.slot << ", " << e.action << "}";
}

namespace {

using Event = VirtualSoundSlots::Event;

struct PlayCase {
  const char* what;
  double lengthMs;
  double ratioAtPlay;
  double ratioAfter;  // set once the play has started
  bool looped;
  std::vector<std::pair<std::int64_t, bool>> playingAt;  // ms after the start
};

class VirtualPlay : public ::testing::TestWithParam<PlayCase> {};

TEST_P(VirtualPlay, PlaysForTheWaveLengthAtItsRate) {
  const PlayCase& c = GetParam();
  VirtualSoundSlots s;
  s.setTimeMs(5000);
  s.assign(7, s.addWave(c.lengthMs));
  s.setFrequencyRatio(7, c.ratioAtPlay);
  c.looped ? s.playLooped(7) : s.playOnce(7);
  s.setFrequencyRatio(7, c.ratioAfter);
  for (auto [t, playing] : c.playingAt) {
    s.setTimeMs(5000 + t);
    EXPECT_EQ(s.isPlaying(7), playing) << c.what << " at +" << t << " ms";
  }
}

INSTANTIATE_TEST_SUITE_P(
    Plays, VirtualPlay,
    ::testing::Values(
        PlayCase{"once", 1000, 1, 1, false, {{0, true}, {999, true}, {1000, false}}},
        PlayCase{"twice as fast", 1000, 2, 2, false, {{499, true}, {500, false}}},
        PlayCase{"half as fast", 1000, 0.5, 0.5, false, {{1999, true}, {2000, false}}},
        PlayCase{"rate changed after the start", 1000, 1, 4, false, {{999, true}, {1000, false}}},
        PlayCase{"standing rate never ends", 1000, 0, 1, false, {{1000000, true}}},
        PlayCase{"looped until stopped", 1000, 1, 1, true, {{1000, true}, {1000000, true}}},
        PlayCase{"a wave of no length", 0, 1, 1, false, {{0, false}}}));

TEST(VirtualSoundSlots, LogsPlaysOfHeldWavesAndStopsOfPlayingSlots) {
  VirtualSoundSlots s;
  s.setEventLog(true);
  s.assign(1, s.addWave(1000));
  s.assign(2, SoundSlots::kNoWave);
  s.playOnce(2);  // empty: never plays, not logged
  s.playOnce(3);  // never assigned
  s.playOnce(1);
  s.setTimeMs(400);
  restart(s, 1);  // stop of a playing slot, then play
  s.setTimeMs(1400);
  s.stop(1);  // ended already: not logged
  s.playLooped(1);
  s.setTimeMs(9000);
  s.stop(1);
  s.stop(1);
  s.playOnce(-1);
  s.playOnce(SoundSlots::kSlotCount);
  EXPECT_FALSE(s.isPlaying(2));
  EXPECT_FALSE(s.isPlaying(3));
  EXPECT_FALSE(s.isPlaying(1));
  EXPECT_EQ(s.events(), (std::vector<Event>{{0, 1, "play"},
                                            {400, 1, "stop"},
                                            {400, 1, "play"},
                                            {1400, 1, "loop"},
                                            {9000, 1, "stop"}}));
}

TEST(VirtualSoundSlots, LearnsTheLengthFromTheWaveFile) {
  const auto dir = std::filesystem::temp_directory_path() /
                   ("dravolin_virtual_sound_test_" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const std::string path = (dir / "half.wav").string();
  testing::writeFile(path, testing::wav16(std::vector<std::int16_t>(11025 * 2), 22050, 2));

  VirtualSoundSlots s;
  const SoundSlots::WaveId w = s.loadWave(path);
  EXPECT_DOUBLE_EQ(s.waveLengthMs(w), 500.0);
  EXPECT_EQ(s.loadWave((dir / "missing.wav").string()), SoundSlots::kNoWave);
  s.assign(0, w);
  s.playOnce(0);
  s.setTimeMs(499);
  EXPECT_TRUE(s.isPlaying(0));
  s.setTimeMs(500);
  EXPECT_FALSE(s.isPlaying(0));

  s.playLooped(0);
  s.initialise();  // empties every slot
  EXPECT_FALSE(s.isPlaying(0));
  std::filesystem::remove_all(dir);
}

// The drive's sounds end in virtual time whatever the output makes of them: the same with an
// output, with the output "none", and with a device that is not there, while paused or not.
TEST(VirtualTimeSoundSlots, WavesPlayInVirtualTimeWhateverTheOutput) {
  const auto dir = std::filesystem::temp_directory_path() /
                   ("dravolin_virtual_time_test_" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const std::string path = (dir / "half.wav").string();
  testing::writeFile(path, testing::wav16(std::vector<std::int16_t>(11025), 22050));
  OpenAlSoundSlots loopback(OpenAlSoundSlots::Output::loopback());
  OpenAlSoundSlots none(OpenAlSoundSlots::Output::none());
  OpenAlSoundSlots missing(OpenAlSoundSlots::Output::device("Dravolin: no such device"));
  NullSoundSlots null;
  struct Case {
    const char* name;
    SoundSlots& output;
    SoundSlots::OutputState state;
  };
  for (const Case& c : {Case{"loopback", loopback, SoundSlots::OutputState::Open},
                        Case{"none", none, SoundSlots::OutputState::Unused},
                        Case{"missing device", missing, SoundSlots::OutputState::Missing},
                        Case{"null", null, SoundSlots::OutputState::Unused}}) {
    SCOPED_TRACE(c.name);
    VirtualTimeSoundSlots s(c.output);
    s.initialise();
    EXPECT_EQ(s.outputState(), c.state);
    const SoundSlots::WaveId w = s.loadWave(path);
    ASSERT_NE(w, SoundSlots::kNoWave);
    EXPECT_EQ(s.loadWave((dir / "missing.wav").string()), SoundSlots::kNoWave);
    s.assign(3, w);
    s.setTimeMs(1000);
    s.playOnce(3);
    s.setPaused(true);  // the output only
    EXPECT_TRUE(c.output.paused());
    s.setTimeMs(1499);
    EXPECT_TRUE(s.isPlaying(3));
    s.setTimeMs(1500);
    EXPECT_FALSE(s.isPlaying(3));
    s.setPaused(false);
    EXPECT_FALSE(c.output.paused());
  }
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace dravolin::platform
