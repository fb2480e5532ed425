// One whole display tick of the sample drive, loaded from its files with a silent wave for every
// sound it names, at 15 km/h under power on the stretch where the line sound, the passing sound,
// the stop sound, the running noise and the motor sound all play. Each iteration starts from the
// same train state, so every one measures the same tick.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "drive/drive.h"
#include "fixtures/wave_bytes.h"
#include "platform/file_picture_loader.h"
#include "platform/virtual_sound_slots.h"

namespace {

namespace fs = std::filesystem;
using namespace dravolin;

fs::path sampleDrive() {
  const char* given = std::getenv("DRAVOLIN_FIXTURES");
  return fs::path(given != nullptr && *given ? given : DRAVOLIN_FIXTURES_DIR) / "drive";
}

// The sample drive with a one-second silent wave for each of its sound files.
fs::path driveWithSounds() {
  const fs::path dir =
      fs::temp_directory_path() / ("dravolin_tick_bench_" + std::to_string(::getpid()));
  fs::remove_all(dir);
  fs::copy(sampleDrive(), dir, fs::copy_options::recursive);
  fs::create_directories(dir / "sound");
  std::vector<std::string> names = {"ソ表", "brake", "motor", "run", "表", "depart", "other"};
  for (int i = 0; i < 28; ++i) names.push_back((i < 10 ? "kanko0" : "kanko") + std::to_string(i));
  for (const std::string& n : names) {
    testing::writeFile((dir / "sound" / (n + ".wav")).string(),
                       testing::wav16(std::vector<std::int16_t>(8000), 8000));
  }
  return dir;
}

void BM_DisplayTickOfLoadedDrive(benchmark::State& state) {
  const fs::path dir = driveWithSounds();
  platform::FilePictureLoader pictures;
  platform::VirtualSoundSlots sound;
  sound.initialise();
  input::ProgramInputState program;
  auto drive = drive::Drive::FormCreate({dir, "test_train.dat", "test_line.dat"}, {pictures, sound},
                                        program);
  fs::remove_all(dir);
  drive->start1Click();
  drive->keydowns(116, 0);  // F5: the value display is refreshed too
  sim::TrainState& s = drive->state();
  s.DoorsOpen = false;
  s.BrakeHandle = s.BrakeNotch = 0;
  s.BrakePressure = sim::Fixed{};
  s.PowerHandle = s.PowerNotch = 2;
  s.Speed = sim::Fixed::fromInt(15);
  // The sounds start at their places: the line sound and the announcement at frame 0, the stop
  // sound at 150, the passing sound at 400; the measured tick runs at frame 440, between the
  // passing sound's start and its passing frame.
  std::int64_t t = 0;
  for (int frame : {0, 150, 400, 440}) {
    s.FrameIndex = frame;
    sound.setTimeMs(t += 100);
    drive->Timer1Timer();
  }
  const sim::TrainState start = s;
  // The sound time stands still, so the sounds started above go on playing.
  for (auto _ : state) {
    s = start;
    drive->Timer1Timer();
  }
  state.counters["playing"] = [&] {
    int n = 0;
    for (int slot = 0; slot < platform::SoundSlots::kSlotCount; ++slot) n += sound.isPlaying(slot);
    return n;
  }();
}
BENCHMARK(BM_DisplayTickOfLoadedDrive)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
