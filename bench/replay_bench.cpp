// Replaying a recorded ten-minute drive headless, as dravolin-drive does with a recording: the
// sample drive loaded from its files once, then every iteration runs 600 000 virtual
// milliseconds of the recording's events on a fresh drive (start, brake released, power, the
// brake and power moved every 20 s, a station stop) with no trace written. Goal: under 2 s.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "drive/drive.h"
#include "drive/script.h"
#include "platform/file_picture_loader.h"
#include "platform/virtual_sound_slots.h"
#include "sim/virtual_time.h"

namespace {

namespace fs = std::filesystem;
using namespace dravolin;

constexpr int kTenMinutesMs = 600000;

fs::path sampleDrive() {
  const char* given = std::getenv("DRAVOLIN_FIXTURES");
  return fs::path(given != nullptr && *given ? given : DRAVOLIN_FIXTURES_DIR) / "drive";
}

// A recording's events: the driver notches up and down every 20 s.
std::string tenMinuteScript() {
  std::string s = "1 start\n1 char 5\n";
  for (int t = 1000; t < kTenMinutesMs; t += 20000) {
    s += std::to_string(t) + " char 8\n" + std::to_string(t + 1) + " char 8\n";
    s += std::to_string(t + 12000) + " char 5\n" + std::to_string(t + 12001) + " char 2\n";
    s += std::to_string(t + 18000) + " char 5\n";
  }
  return s + std::to_string(kTenMinutesMs) + " end\n";
}

void BM_ReplayTenMinuteDrive(benchmark::State& state) {
  std::string error;
  const auto events = drive::parseScript(tenMinuteScript(), error);
  if (!events) {
    state.SkipWithError(error.c_str());
    return;
  }
  platform::FilePictureLoader pictures;
  input::ProgramInputState program;
  for (auto _ : state) {
    state.PauseTiming();
    platform::VirtualSoundSlots sounds;
    sounds.initialise();
    auto d = drive::Drive::FormCreate({sampleDrive(), "test_train.dat", "test_line.dat"},
                                      {pictures, sounds, nullptr}, program);
    state.ResumeTiming();
    std::size_t next = 0;
    sim::runVirtualTime(
        kTenMinutesMs, d->running(),
        [&](int t) {
          sounds.setTimeMs(t);
          for (; next < events->size() && (*events)[next].timeMs == t; ++next) {
            drive::applyScriptEvent(*d, (*events)[next]);
          }
        },
        [&](int) { d->MMTimer1Timer(); }, [&](int) { d->Timer1Timer(); }, [](int) {});
    benchmark::DoNotOptimize(d->state().FrameIndex);
  }
}
BENCHMARK(BM_ReplayTenMinuteDrive)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
