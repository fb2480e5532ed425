// dravolin-video: what the simulator's video reader sees in a line video.
//
//   dravolin-video FILE [--frame N --out PATH.bmp] [--bench]
//
// Prints "frames COUNT", "size W H" and "fps RATE". With --frame and --out it writes frame N as
// a 24-bit BMP file, so that a content author can check which frame belongs to a station or a
// signal. With --bench it decodes every frame in order, then 200 frames at random positions, and
// prints "sequential_fps X", "random_ms_mean Y" and "random_ms_max Z".
#include <algorithm>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "platform/bmp_writer.h"
#include "platform/ffmpeg_video_reader.h"
#include "platform/language.h"

namespace {

using dravolin::platform::Bitmap;
using dravolin::platform::FfmpegVideoReader;
using Clock = std::chrono::steady_clock;

constexpr int kRandomJumps = 200;
constexpr unsigned kRandomSeed = 20240611;

constexpr const char* kUsage =
    "usage: dravolin-video FILE [--frame N --out PATH.bmp] [--bench] [--lang ja|en]\n";

int usage() {
  std::fputs(kUsage, stderr);
  return 2;
}

std::optional<int> parseFrameNumber(std::string_view text) {
  int value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

// A rate such as 30 or 29.97: up to three decimals, without trailing zeros.
std::string formatRate(double rate) {
  char text[64];
  std::snprintf(text, sizeof text, "%.3f", rate);
  std::string s = text;
  while (!s.empty() && s.back() == '0') s.pop_back();
  if (!s.empty() && s.back() == '.') s.pop_back();
  return s;
}

double millisecondsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

bool writeBmp(const std::string& path, const Bitmap& bitmap) {
  const std::vector<std::uint8_t> bytes = dravolin::platform::encodeBmp24(bitmap);
  if (bytes.empty()) return false;
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out.flush());
}

// Decodes every frame in order, then frames at random positions, as the simulator would while
// driving and after moves to stations. False when a frame could not be decoded.
bool bench(FfmpegVideoReader& reader) {
  const int count = reader.frameCount();
  Bitmap bitmap;
  int failed = 0;
  const Clock::time_point start = Clock::now();
  for (int n = 0; n < count; ++n) failed += reader.getFrame(n, bitmap) ? 0 : 1;
  const double sequentialMs = millisecondsSince(start);

  std::mt19937 random(kRandomSeed);
  std::uniform_int_distribution<int> position(0, count - 1);
  double totalMs = 0;
  double maxMs = 0;
  for (int i = 0; i < kRandomJumps; ++i) {
    const int n = position(random);
    const Clock::time_point jump = Clock::now();
    failed += reader.getFrame(n, bitmap) ? 0 : 1;
    const double ms = millisecondsSince(jump);
    totalMs += ms;
    maxMs = std::max(maxMs, ms);
  }
  std::printf("sequential_fps %.1f\n", sequentialMs > 0 ? count * 1000.0 / sequentialMs : 0.0);
  std::printf("random_ms_mean %.2f\n", totalMs / kRandomJumps);
  std::printf("random_ms_max %.2f\n", maxMs);
  if (failed > 0) std::fprintf(stderr, "dravolin-video: %d frames could not be decoded\n", failed);
  return failed == 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::string languageError;
  if (!dravolin::msg::takeLanguageOption(argc, argv, languageError)) {
    std::fprintf(stderr, "dravolin-video: %s\n", languageError.c_str());
    return usage();
  }
  std::string file;
  std::optional<int> frame;
  std::string out;
  bool runBench = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--frame" && i + 1 < argc) {
      frame = parseFrameNumber(argv[++i]);
      if (!frame) {
        std::fprintf(stderr, "dravolin-video: --frame needs a frame number, not \"%s\"\n", argv[i]);
        return 2;
      }
    } else if (arg == "--out" && i + 1 < argc) {
      out = argv[++i];
    } else if (arg == "--bench") {
      runBench = true;
    } else if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (!arg.empty() && arg[0] != '-' && file.empty()) {
      file = arg;
    } else {
      return usage();
    }
  }
  if (file.empty() || frame.has_value() != !out.empty()) return usage();

  std::error_code error;
  if (!std::filesystem::is_regular_file(file, error)) {
    std::fprintf(stderr, "dravolin-video: %s: no such file\n", file.c_str());
    return 1;
  }
  FfmpegVideoReader reader;
  if (!reader.open(file)) {
    std::fprintf(stderr, "dravolin-video: %s: no video stream that can be decoded\n%s\n",
                 file.c_str(), reader.openError().c_str());
    return 1;
  }
  const int count = reader.frameCount();
  std::printf("frames %d\n", count);
  std::printf("size %d %d\n", reader.width(), reader.height());
  std::printf("fps %s\n", formatRate(reader.frameRate()).c_str());
  std::fflush(stdout);
  if (const double rate = reader.frameRate(); rate > 0 && std::abs(rate - 30) > 0.1) {
    // The line files count every frame as 1/30 s, whatever the file says.
    std::fprintf(stderr,
                 "dravolin-video: %s runs at %s frames a second; the simulator takes every frame "
                 "as 1/30 s, so give it as 30 frames a second (ffmpeg -i %s -vf fps=30 ...)\n",
                 file.c_str(), formatRate(rate).c_str(), file.c_str());
  }

  if (frame) {
    if (*frame < 0 || *frame >= count) {
      std::fprintf(stderr, "dravolin-video: frame %d is outside the video's frames 0 to %d\n",
                   *frame, count - 1);
      return 1;
    }
    Bitmap bitmap;
    if (!reader.getFrame(*frame, bitmap)) {
      std::fprintf(stderr, "dravolin-video: %s: frame %d could not be decoded\n", file.c_str(),
                   *frame);
      return 1;
    }
    if (!writeBmp(out, bitmap)) {
      std::fprintf(stderr, "dravolin-video: cannot write %s\n", out.c_str());
      return 1;
    }
  }
  if (runBench && !bench(reader)) return 1;
  return 0;
}
