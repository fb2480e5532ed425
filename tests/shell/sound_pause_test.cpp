// The driving window's sound as a driver hears it, through OpenAL Soft's loopback device: the
// fast demo's E231 standing at its first station, where the running noise and the motor loop.
// Pausing the drive pauses every playing slot; resuming lets them go on at the same level.
#include <gtest/gtest.h>

#include <QAction>
#include <cmath>
#include <cstring>

#include "fixtures/run_tool.h"
#include "input/input_state.h"
#include "platform/openal_sound_slots.h"
#include "shell/drive_adapter.h"
#include "shell/title_window.h"
#include "shell_fixture.h"

namespace dravolin::testing {
namespace {

using platform::OpenAlSoundSlots;

// The level of the next half second of the mix (32-bit float mono) in dB of full scale; -200
// for silence.
double nextLevelDb(OpenAlSoundSlots& sound) {
  const std::vector<std::uint8_t> bytes = sound.render(11025);
  std::vector<float> samples(bytes.size() / sizeof(float));
  std::memcpy(samples.data(), bytes.data(), samples.size() * sizeof(float));
  double sum = 0;
  for (const float f : samples) sum += static_cast<double>(f) * f;
  const double rms = samples.empty() ? 0 : std::sqrt(sum / static_cast<double>(samples.size()));
  return rms > 0 ? 20 * std::log10(rms) : -200;
}

TEST(DrivingWindowSound, PauseSilencesEverySlotAndResumeBringsThemBack) {
  MessageRecorder messages;
  TemporaryFolder folder;
  const std::filesystem::path demo = folder.path() / "demo";
  const ToolRun made = runTool(DRAVOLIN_MAKE_DEMO_EXE, quoted(demo.string()) + " --fast");
  ASSERT_EQ(made.status, 0) << made.err;
  OpenAlSoundSlots sound(OpenAlSoundSlots::Output::loopback());
  ASSERT_TRUE(sound.initialise());
  input::ProgramInputState program;
  shell::TitleWindow::Context context;
  context.driving.dataDir = demo;
  context.driving.sound = &sound;
  context.driving.makeDrive = shell::makeDriveFactory(program);
  shell::TitleWindow title(context);
  title.TrainClick(2);
  shell::DrivingWindow* d = title.drivingWindow();
  ASSERT_NE(d, nullptr);
  // The drive asks for 8-bit output, which OpenAL Soft dithers; the test hears it as float.
  ASSERT_EQ(sound.outputFormat(), (platform::SoundOutputFormat{22050, 8, false}));
  sound.setOutputFormat(22050, 32, false);

  // The ticks are run here, one display tick per half second of the mix, so that nothing
  // else moves the drive.
  QAction* start = d->startAction();
  start->trigger();
  for (int i = 0; i < 20; ++i) d->displayTick();
  nextLevelDb(sound);
  const double running = nextLevelDb(sound);
  EXPECT_GT(running, -45);

  start->trigger();  // pause
  ASSERT_FALSE(d->running());
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(nextLevelDb(sound), -200) << "half second " << i << " of the pause";
  }

  start->trigger();  // resume
  ASSERT_TRUE(d->running());
  d->displayTick();
  EXPECT_NEAR(nextLevelDb(sound), running, 1.0);

  // A drive closed while paused leaves the sound service playing for the next one.
  start->trigger();
  d->close();
  EXPECT_FALSE(sound.paused());
}

}  // namespace
}  // namespace dravolin::testing
