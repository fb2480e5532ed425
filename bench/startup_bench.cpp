// Start-up loading of the sample drive of the tests (data files, cab panel pictures, sound slot
// layout, initial state), beside a pass that only reads the bytes of the same files, so the cost
// of parsing, decoding and building can be told from the cost of the reading itself.
// DRAVOLIN_FIXTURES names another fixtures folder (with its drive/ folder) to measure instead.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "data/data_path.h"
#include "drive/startup.h"
#include "platform/file_picture_loader.h"
#include "platform/null_sound_slots.h"

namespace {

namespace fs = std::filesystem;
using namespace dravolin;

fs::path sampleDrive() {
  const char* given = std::getenv("DRAVOLIN_FIXTURES");
  return fs::path(given != nullptr && *given ? given : DRAVOLIN_FIXTURES_DIR) / "drive";
}

void BM_StartupOfSampleDrive(benchmark::State& state) {
  platform::FilePictureLoader pictures;
  platform::NullSoundSlots sounds;
  const drive::LoadRequest request{sampleDrive(), "test_train.dat", "test_line.dat"};
  for (auto _ : state) {
    drive::DriveData d = drive::loadDriveData(request, {pictures, sounds, nullptr});
    benchmark::DoNotOptimize(d);
  }
}
BENCHMARK(BM_StartupOfSampleDrive)->Unit(benchmark::kMicrosecond);

// The data files and pictures of the sample drive, read whole and thrown away.
void BM_ReadSampleDriveBytes(benchmark::State& state) {
  std::vector<fs::path> files;
  for (const auto& entry : fs::recursive_directory_iterator(sampleDrive())) {
    if (entry.is_regular_file() && entry.path().extension() != ".py") files.push_back(entry.path());
  }
  std::size_t bytes = 0;
  for (auto _ : state) {
    for (const fs::path& f : files) {
      const std::optional<std::string> content = data::readFileBytes(f);
      bytes += content ? content->size() : 0;
      benchmark::DoNotOptimize(content);
    }
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
  state.counters["files"] = static_cast<double>(files.size());
}
BENCHMARK(BM_ReadSampleDriveBytes)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
