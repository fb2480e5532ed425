// Line video decoding speed on what cameras record today: a 1920 x 1080 H.264 video with
// B-frames and a key frame every 60 frames (made by Debian's ffmpeg program in a temporary
// folder; DRAVOLIN_BENCH_VIDEO names another video to measure instead).
//
//   BM_FfmpegReference      FFmpeg's own decoding of every frame on one thread, no conversion:
//                           the measure the others are compared with (taken once per run)
//   BM_SequentialDecode     every frame in order through the reader at its own size
//   BM_RecordingSpeed       the decoding thread at the recording speed, real time (30 wishes a
//                           second, pictures scaled for a 480 x 240 view): late pictures, the
//                           longest gap, and the process's processor time against the reference
//                           (cpu_ratio) and against FFmpeg's decoding of the same frames paced
//                           at 30 a second on a thread beside it (cpu_ratio_paced): a decode
//                           every 33 ms costs more processor time than one in a burst, for
//                           FFmpeg alone as well
//   BM_TicksDuringJumps     jumps to the frame before a key frame (the longest decodes) while
//                           the bench's thread keeps a 10 ms tick: how late the ticks come
//   BM_PictureForView       the picture of a decoded frame for the 480 x 240 view: the scaling
//   BM_RandomJump, BM_StepBack  the reader alone: a jump, a step back
//
// Goals at the recording speed: no late picture (a picture is late when it is not ready 50 ms
// after its frame was wished for), the longest gap between pictures at most 67 ms, processor
// time at most 1.3 times the paced reference (cpu_ratio_paced); during jumps, no tick more than
// 10 ms late.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <mutex>
#include <random>
#include <stdexcept>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/ffmpeg_decode_reference.h"
#include "platform/ffmpeg_video_reader.h"
#include "platform/video_decoding_thread.h"

namespace {

using dravolin::platform::Bitmap;
using dravolin::platform::FfmpegVideoReader;
using dravolin::platform::VideoDecodingThread;
using dravolin::platform::VideoView;
using Clock = std::chrono::steady_clock;

constexpr int kBenchFrames = 150;
constexpr int kKeyInterval = 60;
// At most this many frames are driven through (20 s) and jumped to, in a longer video.
constexpr int kDriveFrames = 600;
constexpr int kJumps = 20;

int driveFrames(const FfmpegVideoReader& reader) {
  return std::min(reader.frameCount(), kDriveFrames);
}

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
    path_ = (folder_ / "line.mp4").string();
    const std::string command =
        "ffmpeg -nostdin -loglevel error -y -f lavfi -i testsrc2=size=1920x1080:rate=30 "
        "-frames:v " +
        std::to_string(kBenchFrames) + " -c:v libx264 -preset veryfast -bf 3 -g " +
        std::to_string(kKeyInterval) + " -pix_fmt yuv420p '" + path_ + "'";
    if (std::system(command.c_str()) != 0) throw std::runtime_error("ffmpeg failed: " + command);
  }
  ~BenchVideo() {
    std::error_code ignored;
    if (!folder_.empty()) std::filesystem::remove_all(folder_, ignored);
  }
  const std::string& path() const { return path_; }

  // Processor seconds per frame of FFmpeg's own single-threaded decoding of the frames driven
  // through, measured once.
  double referenceSecondsPerFrame() {
    if (reference_ > 0) return reference_;
    FfmpegVideoReader reader;
    if (!reader.open(path_)) return 0;
    const auto r = dravolin::platform::decodeSingleThreaded(path_, 0, driveFrames(reader) - 1);
    reference_ = r.ok ? r.cpuSeconds / static_cast<double>(r.frames) : 0;
    return reference_;
  }

 private:
  std::filesystem::path folder_;
  std::string path_;
  double reference_ = 0;
};

BenchVideo& video() {
  static BenchVideo shared;
  return shared;
}

double threadCpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

double processCpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

double msSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

void BM_FfmpegReference(benchmark::State& state) {
  for (auto _ : state) {
    const double perFrame = video().referenceSecondsPerFrame();
    if (perFrame <= 0) return state.SkipWithError("cannot decode the video");
    state.SetIterationTime(perFrame);
  }
  state.counters["ms_per_frame"] = video().referenceSecondsPerFrame() * 1000;
}
BENCHMARK(BM_FfmpegReference)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

// One iteration decodes every frame of the video in order into a bitmap.
void BM_SequentialDecode(benchmark::State& state) {
  FfmpegVideoReader reader;
  if (!reader.open(video().path())) return state.SkipWithError("cannot open the video");
  const int count = reader.frameCount();
  Bitmap bitmap;
  for (auto _ : state) {
    for (int n = 0; n < count; ++n) {
      if (!reader.getFrame(n, bitmap)) return state.SkipWithError("a frame did not decode");
    }
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * count);
}
BENCHMARK(BM_SequentialDecode)->Unit(benchmark::kMillisecond)->UseRealTime();

// One iteration drives through the video at the recording speed in real time: every 33.3 ms the
// next frame is wished for, as the window does, and counted late when its picture is not ready
// 50 ms after. The processor time of the whole process over the drive is compared with the
// reference decoding of the same frames.
void BM_RecordingSpeed(benchmark::State& state) {
  FfmpegVideoReader reader;
  if (!reader.open(video().path())) return state.SkipWithError("cannot open the video");
  const int count = driveFrames(reader);
  const VideoView view;  // scale 1, filling the width
  long late = 0;
  double maxGapMs = 0;
  double cpu = 0;
  double pacedCpu = 0;
  long frames = 0;
  for (auto _ : state) {
    VideoDecodingThread thread(reader);
    std::mutex mutex;
    std::condition_variable finished;
    thread.setReadyHandler([&] {
      { const std::lock_guard lock(mutex); }  // not between a waiter's look and its wait
      finished.notify_all();
    });
    // As the window has the start position made while its still picture shows.
    thread.wish({0, -1, 1, view});
    {
      std::unique_lock lock(mutex);
      finished.wait(lock, [&] { return thread.ready(0, view) != nullptr; });
    }
    std::atomic<bool> stopPaced{false};
    dravolin::platform::DecodeReference paced;
    double pacedThreadCpu = 0;
    std::thread pacer([&] {
      const double threadStart = threadCpuSeconds();
      paced = dravolin::platform::decodeSingleThreaded(video().path(), 0, count - 1,
                                                       {30.0, &stopPaced});
      pacedThreadCpu = threadCpuSeconds() - threadStart;
    });
    const double cpuStart = processCpuSeconds();
    const Clock::time_point start = Clock::now();
    Clock::time_point lastShown = start;
    for (int n = 0; n < count; ++n) {
      const Clock::time_point due = start + std::chrono::microseconds(33333 * n);
      std::this_thread::sleep_until(due);
      thread.wish({n, -1, 1, view});
      std::unique_lock lock(mutex);
      const bool ready = finished.wait_until(lock, due + std::chrono::milliseconds(50),
                                             [&] { return thread.ready(n, view) != nullptr; });
      if (!ready) {
        ++late;
        continue;
      }
      const Clock::time_point shown = std::max(Clock::now(), due);
      maxGapMs =
          std::max(maxGapMs, std::chrono::duration<double, std::milli>(shown - lastShown).count());
      lastShown = shown;
    }
    const double processCpu = processCpuSeconds() - cpuStart;
    stopPaced = true;
    pacer.join();
    cpu += processCpu - pacedThreadCpu;
    pacedCpu += paced.cpuSeconds;
    frames += count;
  }
  const double reference = video().referenceSecondsPerFrame() * static_cast<double>(frames);
  state.counters["late_frames"] = static_cast<double>(late);
  state.counters["max_gap_ms"] = maxGapMs;
  state.counters["cpu_percent"] = frames > 0 ? 100.0 * cpu / (frames / 30.0) : 0;
  state.counters["cpu_ratio"] = reference > 0 ? cpu / reference : 0;
  state.counters["cpu_ratio_paced"] = pacedCpu > 0 ? cpu / pacedCpu : 0;
}
BENCHMARK(BM_RecordingSpeed)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

// One iteration jumps to the frame just before each key frame (a whole key-frame interval to
// decode) and waits for its picture, while this thread keeps a tick every 10 ms and notes how
// late each comes, as the window's timers run beside the decoding thread.
void BM_TicksDuringJumps(benchmark::State& state) {
  FfmpegVideoReader reader;
  if (!reader.open(video().path())) return state.SkipWithError("cannot open the video");
  const int count = reader.frameCount();
  const VideoView view;
  double maxLateMs = 0;
  double maxJumpMs = 0;
  for (auto _ : state) {
    VideoDecodingThread thread(reader);
    for (int target = kKeyInterval - 1; target < std::min(count, kKeyInterval * kJumps);
         target += kKeyInterval) {
      // Far from the last picture: a jump back to the key frame and every frame up to it.
      thread.wish({target, -1, 0, view});
      const Clock::time_point start = Clock::now();
      for (int tick = 1; thread.ready(target, view) == nullptr; ++tick) {
        const Clock::time_point due = start + std::chrono::milliseconds(10 * tick);
        std::this_thread::sleep_until(due);
        maxLateMs = std::max(maxLateMs, msSince(due));
        if (tick > 1000) return state.SkipWithError("a jump took more than 10 s");
      }
      maxJumpMs = std::max(maxJumpMs, msSince(start));
      thread.wish({0, -1, 0, view});  // back to the start, so that the next one is a jump again
      while (thread.ready(0, view) == nullptr)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }
  state.counters["max_tick_late_ms"] = maxLateMs;
  state.counters["max_jump_ms"] = maxJumpMs;
}
BENCHMARK(BM_TicksDuringJumps)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

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

// One iteration makes the cab view's picture (480 x 240, filling the width) of a decoded frame
// again: the scaling alone, as the decoding thread does it for every picture it keeps.
void BM_PictureForView(benchmark::State& state) {
  FfmpegVideoReader reader;
  if (!reader.open(video().path())) return state.SkipWithError("cannot open the video");
  const VideoView view;
  dravolin::platform::ViewPicture picture;
  if (!reader.getViewFrame(0, view, picture)) return state.SkipWithError("no picture");
  for (auto _ : state) {
    if (!reader.getViewFrame(0, view, picture)) state.SkipWithError("no picture");
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_PictureForView)->Unit(benchmark::kMicrosecond);

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
