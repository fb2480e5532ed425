// The line video reader on FFmpeg: any video FFmpeg can demultiplex and decode, the line's AVI
// in the first place (MJPEG, MPEG-4 part 2, H.264, Cinepak and the other Video for Windows codecs).
#pragma once

#include <memory>
#include <string>

#include "platform/video_reader.h"

namespace dravolin::platform {

class FfmpegVideoReader final : public VideoReader {
 public:
  FfmpegVideoReader();
  ~FfmpegVideoReader() override;
  FfmpegVideoReader(const FfmpegVideoReader&) = delete;
  FfmpegVideoReader& operator=(const FfmpegVideoReader&) = delete;

  bool open(const std::string& path) override;
  int frameCount() const override;
  bool getFrame(int n, Bitmap& bitmap) override;

  // Closes the open video; frameCount() is -1 afterwards.
  void close();

  // Size of the open video's pictures in pixels; 0 when nothing is open.
  int width() const;
  int height() const;
  // Frame rate the file states, in frames per second; 0 when nothing is open.
  double frameRate() const;

 private:
  struct Video;
  std::unique_ptr<Video> video_;
};

}  // namespace dravolin::platform
