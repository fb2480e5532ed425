// The line video reader on FFmpeg: any video FFmpeg can demultiplex and decode, in any container
// (AVI with MJPEG, MPEG-4 part 2, H.264, Cinepak and the other Video for Windows codecs; MP4, MOV,
// Matroska and WebM with H.264, H.265, VP9 or AV1, 8 or 10 bits, B-frames and long key-frame
// intervals). Its sources are listed in ffmpeg_video_stream.h.
#pragma once

#include <memory>
#include <string>

#include "platform/video_reader.h"

namespace dravolin::platform {

// The largest side of a line video's pictures (real line videos are at most full HD).
inline constexpr int kMaxVideoFrameSide = 4096;

// Why open() refused a file (openError(), in the program's language): msg::videoUnreadable(),
// msg::videoTooLarge(kMaxVideoFrameSide), msg::videoUndecodable(),
// msg::videoFirstFrameUnknown().

struct FfmpegVideoStream;

class FfmpegVideoReader final : public VideoReader {
 public:
  FfmpegVideoReader();
  ~FfmpegVideoReader() override;
  FfmpegVideoReader(const FfmpegVideoReader&) = delete;
  FfmpegVideoReader& operator=(const FfmpegVideoReader&) = delete;

  bool open(const std::string& path) override;
  int frameCount() const override;
  bool getFrame(int n, Bitmap& bitmap) override;
  bool getViewFrame(int n, const VideoView& view, ViewPicture& picture) override;
  // Opens the decoder afresh on this thread: FFmpeg's decoding threads are started from it.
  void startOnThisThread() override;

  // Closes the open video; frameCount() is -1 afterwards.
  void close();

  // Why the last open() failed (one of the kVideo... texts); empty after a success.
  const std::string& openError() const { return error_; }

  int width() const override;
  int height() const override;
  // Frame rate the file states, in frames per second; 0 when nothing is open.
  double frameRate() const;

 private:
  static bool openVideo(FfmpegVideoStream& video, const std::string& path, bool ignoreIndex);
  std::unique_ptr<FfmpegVideoStream> video_;
  std::string error_;
};

}  // namespace dravolin::platform
