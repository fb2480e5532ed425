// Writing H.264 video in an MP4 file through FFmpeg's libraries (libavcodec's libx264 encoder,
// libavformat's MP4 muxer), optionally with a telemetry data stream tagged "gpmd" beside the
// picture and the container's creation time: the line maker's line videos, and the footage its
// tests make.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/bitmap.h"

struct AVFrame;

namespace dravolin::platform {

class FfmpegMp4Writer {
 public:
  struct Options {
    int width = 0;  // even
    int height = 0;
    int fpsNumerator = 30;  // frame rate as a fraction
    int fpsDenominator = 1;
    std::optional<double> creationTimeS;  // s since 1970 UTC
    bool telemetry = false;               // add a "gpmd" data stream
    const char* preset = "veryfast";      // libx264's speed preset
    int crf = 20;                         // libx264's quality (lower is better)
    int threads = 0;                      // encoder threads; 0: as many as it likes
  };

  // Throws FootageError when the file cannot be written or the encoder is missing.
  FfmpegMp4Writer(const std::string& path, const Options& options);
  ~FfmpegMp4Writer();
  FfmpegMp4Writer(const FfmpegMp4Writer&) = delete;
  FfmpegMp4Writer& operator=(const FfmpegMp4Writer&) = delete;

  // The next picture (0xAARRGGBB pixels, any size: scaled to the video's).
  void addFrame(const Bitmap& picture);
  // The next picture as a decoder gave it (any size and pixel format: scaled and converted).
  void addDecodedFrame(const AVFrame& picture);
  // One telemetry payload at `timeS` on the video's timeline, lasting `durationS`.
  void addTelemetry(const std::vector<std::uint8_t>& bytes, double timeS, double durationS);
  // Flushes the encoder and writes the index. Throws FootageError.
  void finish();

  struct Impl;

 private:
  std::unique_ptr<Impl> impl_;
};

}  // namespace dravolin::platform
