// The camera's footage as the line maker needs it: what the file is, the telemetry stream in it,
// how much the picture moves from frame to frame, one frame as a picture, and the line video
// written at 30 frames a second. The FFmpeg implementation is platform::FfmpegFootage.
//
// Times are on the video's timeline: seconds from the first frame of its video stream, for the
// frames and for the telemetry packets alike.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/bitmap.h"

namespace dravolin::platform {

// A file that cannot be read or written as footage; the message names the file.
class FootageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Called with the share done (0 to 1); returns false to stop the work, which then throws
// FootageCancelled.
using FootageProgress = std::function<bool(double)>;

class FootageCancelled : public std::runtime_error {
 public:
  FootageCancelled() : std::runtime_error("cancelled") {}
};

struct FootageInfo {
  int width = 0;
  int height = 0;
  double frameRate = 0;  // frames per second the stream states (its average rate)
  double durationS = 0;
  std::int64_t frameCount = 0;  // as the container states it (0 when it does not)
  // The container's creation time, s since 1970 UTC, when it has one.
  std::optional<double> creationTimeS;
  bool hasTelemetry = false;  // a data stream tagged "gpmd"
  std::string videoCodec;     // FFmpeg's short name ("h264")
};

struct TelemetryPacket {
  std::vector<std::uint8_t> bytes;
  double timeS = 0;
  double durationS = 0;
  std::int64_t fileOffset = -1;  // of its first byte in the file, when known
};

struct FrameMotion {
  double timeS = 0;
  float motion = 0;  // the luma change of the lower picture's blocks (FfmpegFootage's blockMotion)
};

struct FrameDifference {
  double timeS = 0;
  float difference = 0;  // from the reference frame, measured as FrameMotion's motion
};

class FootageService {
 public:
  virtual ~FootageService() = default;
  virtual FootageInfo probe(const std::string& path) = 0;
  // Every packet of the "gpmd" stream, in order (empty without one).
  virtual std::vector<TelemetryPacket> telemetry(const std::string& path) = 0;
  // Decodes every frame in order and measures its change from the one before.
  virtual std::vector<FrameMotion> motion(const std::string& path,
                                          const FootageProgress& progress) = 0;
  // For every frame from `fromS` to `toS`, its difference from the frame shown at `referenceS`
  // (within that span): how far the picture is from where it settles while the camera stands.
  virtual std::vector<FrameDifference> differences(const std::string& path, double fromS,
                                                   double toS, double referenceS) = 0;
  // The frame shown at `timeS`, scaled to width x height.
  virtual Bitmap frameAt(const std::string& path, double timeS, int width, int height) = 0;
  // Writes `path`'s picture as H.264 in MP4 at `fps` frames a second (each output frame the
  // input frame shown at its time), without sound.
  virtual void writeLineVideo(const std::string& path, const std::string& out, int fps,
                              const FootageProgress& progress) = 0;
};

}  // namespace dravolin::platform
