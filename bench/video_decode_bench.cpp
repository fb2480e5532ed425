// Line video decoding speed: frames in order (driving), jumps to random frames (moves to a
// station) and steps back (reversing), on a 480 x 240 MPEG-4 part 2 video with a key frame every
// 300 frames, made by Debian's ffmpeg program in a temporary folder. DRAVOLIN_BENCH_VIDEO names
// another video to measure instead.
//
// Goals: decoding in order within 1.3 times the time `ffmpeg -benchmark -i FILE -f null -`
// needs for the same file (the counter ffmpeg_ratio), and a random jump under 40 ms on average.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

#include "platform/ffmpeg_video_reader.h"

namespace {

using dravolin::platform::Bitmap;
using dravolin::platform::FfmpegVideoReader;

class BenchVideo {
 public:
  BenchVideo() {
    if (const char* given = std::getenv("DRAVOLIN_BENCH_VIDEO"); given != nullptr && *given) {
      path_ = given;
      return;
    }
    std::string pattern =
        (std::filesystem::temp_directory_path() / "dravolin-bench-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("no temporary folder");
    folder_ = pattern;
    path_ = (folder_ / "line.avi").string();
    const std::string command =
        "ffmpeg -nostdin -loglevel error -y -f lavfi -i testsrc2=size=480x240:rate=30 "
        "-frames:v 1800 -c:v mpeg4 -g 300 -q:v 3 '" +
        path_ + "'";
    if (std::system(command.c_str()) != 0) throw std::runtime_error("ffmpeg failed: " + command);
  }
  ~BenchVideo() {
    std::error_code ignored;
    if (!folder_.empty()) std::filesystem::remove_all(folder_, ignored);
  }
  const std::string& path() const { return path_; }

  // Wall-clock seconds of ffmpeg's own decoding of the file (its "rtime"), measured once.
  double ffmpegSeconds() {
    if (ffmpegSeconds_ > 0) return ffmpegSeconds_;
    const std::string command = "ffmpeg -nostdin -benchmark -i '" + path_ + "' -f null - 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return 0;
    char line[512];
    while (std::fgets(line, sizeof line, pipe) != nullptr) {
      const char* rtime = std::strstr(line, "rtime=");
      if (rtime != nullptr) ffmpegSeconds_ = std::atof(rtime + 6);
    }
    pclose(pipe);
    return ffmpegSeconds_;
  }

 private:
  std::filesystem::path folder_;
  std::string path_;
  double ffmpegSeconds_ = 0;
};

BenchVideo& video() {
  static BenchVideo shared;
  return shared;
}

void BM_OpenVideo(benchmark::State& state) {
  for (auto _ : state) {
    FfmpegVideoReader reader;
    if (!reader.open(video().path())) state.SkipWithError("cannot open the video");
    benchmark::DoNotOptimize(reader.frameCount());
  }
}
BENCHMARK(BM_OpenVideo)->Unit(benchmark::kMillisecond);

// One iteration decodes every frame of the video in order into a bitmap.
void BM_SequentialDecode(benchmark::State& state) {
  FfmpegVideoReader reader;
  if (!reader.open(video().path())) return state.SkipWithError("cannot open the video");
  const int count = reader.frameCount();
  Bitmap bitmap;
  double seconds = 0;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    for (int n = 0; n < count; ++n) {
      if (!reader.getFrame(n, bitmap)) return state.SkipWithError("a frame did not decode");
    }
    benchmark::ClobberMemory();
    seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  }
  state.SetItemsProcessed(state.iterations() * count);
  const double ffmpeg = video().ffmpegSeconds();
  state.counters["ffmpeg_fps"] = ffmpeg > 0 ? count / ffmpeg : 0;
  // One pass of ours over one pass of ffmpeg's: the goal is at most 1.3.
  state.counters["ffmpeg_ratio"] =
      ffmpeg > 0 ? seconds / static_cast<double>(state.iterations()) / ffmpeg : 0;
}
BENCHMARK(BM_SequentialDecode)->Unit(benchmark::kMillisecond)->UseRealTime();

// One iteration is one jump to a random frame.
void BM_RandomJump(benchmark::State& state) {
  FfmpegVideoReader reader;
  if (!reader.open(video().path())) return state.SkipWithError("cannot open the video");
  std::mt19937 random(20240611);
  std::uniform_int_distribution<int> position(0, reader.frameCount() - 1);
  Bitmap bitmap;
  for (auto _ : state) {
    if (!reader.getFrame(position(random), bitmap)) state.SkipWithError("a frame did not decode");
  }
}
BENCHMARK(BM_RandomJump)->Unit(benchmark::kMillisecond)->UseRealTime();

// One iteration is one step back by a frame, as a reversing train asks for them.
void BM_StepBack(benchmark::State& state) {
  FfmpegVideoReader reader;
  if (!reader.open(video().path())) return state.SkipWithError("cannot open the video");
  int n = reader.frameCount() - 1;
  Bitmap bitmap;
  for (auto _ : state) {
    if (!reader.getFrame(n, bitmap)) state.SkipWithError("a frame did not decode");
    n = n > 0 ? n - 1 : reader.frameCount() - 1;
  }
}
BENCHMARK(BM_StepBack)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
