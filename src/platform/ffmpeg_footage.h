// The camera's footage through FFmpeg: probing, the "gpmd" telemetry stream, every frame's motion
// (decoded in order, scaled down to a small grey picture, compared block by block with the one
// before), one frame as a picture and the line video written afresh at 30 frames a second.
#pragma once

#include "platform/footage.h"

namespace dravolin::platform {

// The largest side of footage pictures the line maker decodes (5.3K action cameras included).
inline constexpr int kMaxFootageSide = 8192;

class FfmpegFootage final : public FootageService {
 public:
  FootageInfo probe(const std::string& path) override;
  std::vector<TelemetryPacket> telemetry(const std::string& path) override;
  std::vector<FrameMotion> motion(const std::string& path,
                                  const FootageProgress& progress) override;
  std::vector<FrameDifference> differences(const std::string& path, double fromS, double toS,
                                           double referenceS) override;
  Bitmap frameAt(const std::string& path, double timeS, int width, int height) override;
  void writeLineVideo(const std::string& path, const std::string& out, int fps,
                      const FootageProgress& progress) override;
};

// The motion between two grey pictures of width x height. It is measured on the lower half of the
// picture, the track bed and the lineside, which passes by whenever the train moves (the sky
// and the distance above hardly change): cut into 8 x 4 blocks, each block's mean absolute
// difference taken, and the value exceeded by a fifth of the blocks returned, so that something
// moving in a part of a standing picture (a passenger on the platform) does not count.
float blockMotion(const std::uint8_t* previous, const std::uint8_t* current, int width, int height,
                  int stride);

}  // namespace dravolin::platform
