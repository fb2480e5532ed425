// FFmpeg's own decoding of a stretch of a video, on one thread and without any conversion: the
// measure that the line video's presentation is compared with (the benchmark and
// `dravolin --measure` run it in the same run as what they measure).
#pragma once

#include <atomic>
#include <string>

namespace dravolin::platform {

struct DecodeReference {
  long frames = 0;        // pictures decoded (from the key frame at or before the first)
  double cpuSeconds = 0;  // processor time the decoding took on its thread
  bool ok = false;        // the file opened and the stretch decoded
};

// How the reference decodes: as fast as it can, or one picture per 1/framesPerSecond s as a
// player does (and as the drive at the recording speed does), until `stop` is set.
struct DecodePace {
  double framesPerSecond = 0;               // 0: as fast as it can
  const std::atomic<bool>* stop = nullptr;  // may be null
};

// Decodes frames `first` to `last` (display order, counted at the file's own frame rate) of the
// first video stream of `path`, starting at the key frame at or before `first`, with one
// decoding thread.
DecodeReference decodeSingleThreaded(const std::string& path, int first, int last,
                                     const DecodePace& pace = {});

}  // namespace dravolin::platform
