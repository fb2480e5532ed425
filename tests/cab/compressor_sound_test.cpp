#include "cab/compressor_sound.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fixtures/fake_sound_slots.h"

namespace dravolin::cab {
namespace {

using testing::FakeSoundSlots;

TEST(CompressorSounds, PlaysWhatTheGovernorReports) {
  struct Case {
    const char* name;
    sim::CompressorEvents events;
    std::vector<std::string> log;
    FakeSoundSlots::State running;  // the running sound's slot afterwards
  };
  const Case cases[] = {
      {"nothing", {}, {}, FakeSoundSlots::State::Stopped},
      {"start",
       {true, false},
       {"stop 3", "play 3", "stop 4", "loop 4"},
       FakeSoundSlots::State::Looped},
      {"stop", {false, true}, {"stop 5", "play 5", "stop 4"}, FakeSoundSlots::State::Stopped},
      // A governor whose low mark is above its high mark starts and stops in one tick.
      {"both",
       {true, true},
       {"stop 3", "play 3", "stop 4", "loop 4", "stop 5", "play 5", "stop 4"},
       FakeSoundSlots::State::Stopped},
  };
  for (const Case& c : cases) {
    FakeSoundSlots sounds;
    compressorSounds(c.events, sounds, CompressorSlots{3, 4, 5});
    EXPECT_EQ(sounds.log, c.log) << c.name;
    EXPECT_EQ(sounds.states[4], c.running) << c.name;
  }
}

// The running sound loops from the start to the stop of the compressor, over many ticks.
TEST(CompressorSounds, RunningSoundLoopsBetweenStartAndStop) {
  FakeSoundSlots sounds;
  const CompressorSlots slots{10, 11, 12};
  compressorSounds({true, false}, sounds, slots);
  for (int tick = 0; tick < 50; ++tick) compressorSounds({}, sounds, slots);
  EXPECT_EQ(sounds.states[11], FakeSoundSlots::State::Looped);
  EXPECT_EQ(sounds.states[10], FakeSoundSlots::State::Once);
  compressorSounds({false, true}, sounds, slots);
  EXPECT_EQ(sounds.states[11], FakeSoundSlots::State::Stopped);
  EXPECT_EQ(sounds.states[12], FakeSoundSlots::State::Once);
  EXPECT_EQ(sounds.log.size(), 7u);
}

}  // namespace
}  // namespace dravolin::cab
