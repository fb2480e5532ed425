// Today's footage through the line video reader: what phones and action cameras record (H.264
// and H.265 with B-frames and long key-frame intervals, 8 and 10 bits, VP9, AV1; MP4, MOV,
// Matroska, WebM and AVI), at 1920 x 1080 and 1920 x 1088 as well as small. Every frame is
// counted and shows its own number, read in order, after jumps, and scaled for the cab view.
// The videos are made small and short inside the test (few frames, the encoders' fastest
// settings), one per test program.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "fixtures/numbered_video.h"
#include "platform/ffmpeg_video_reader.h"

namespace dravolin::testing {
namespace {

using platform::Bitmap;
using platform::FfmpegVideoReader;
using platform::VideoFit;
using platform::VideoView;
using platform::ViewPicture;

struct Footage {
  const char* name;
  const char* file;  // its extension chooses the container
  int width;
  int height;
  int frames;
  const char* options;  // ffmpeg output options
};

void PrintTo(const Footage& f, std::ostream* out) { *out << f.name; }

// x264 and x265 at their fastest, with B-frames and one key frame every 60 frames.
#define DRAVOLIN_X264 "-c:v libx264 -preset ultrafast -bf 3 -g 60 -keyint_min 60 -sc_threshold 0 "
#define DRAVOLIN_X265                            \
  "-c:v libx265 -preset ultrafast -x265-params " \
  "log-level=none:keyint=60:min-keyint=60:scenecut=0:bframes=3:b-adapt=0:rc-lookahead=4 "

const Footage kFootage[] = {
    // Full HD: the size that once lost frames, and the size of a picture coded in 16-row blocks.
    {"H264Hd1080InAvi", "h264-1080.avi", 1920, 1080, 64, DRAVOLIN_X264 "-pix_fmt yuv420p"},
    {"H264Hd1088InMp4", "h264-1088.mp4", 1920, 1088, 64, DRAVOLIN_X264 "-pix_fmt yuv420p"},
    {"H265Hd1080TenBitsInMp4", "h265-1080.mp4", 1920, 1080, 32,
     DRAVOLIN_X265 "-pix_fmt yuv420p10le -tag:v hvc1"},
    {"H265Hd1088InAvi", "h265-1088.avi", 1920, 1088, 32,
     DRAVOLIN_X265 "-pix_fmt yuv420p -tag:v HEVC"},
    // Small, with more frames: a key frame every 60 or 300 frames.
    {"H265InMov", "h265.mov", 160, 96, 300, DRAVOLIN_X265 "-pix_fmt yuv420p"},
    {"H264TenBitsInMatroska", "h264-10.mkv", 160, 96, 300,
     "-c:v libx264 -preset ultrafast -bf 3 -g 300 -pix_fmt yuv420p10le"},
    {"Vp9InWebm", "vp9.webm", 160, 96, 300,
     "-c:v libvpx-vp9 -deadline realtime -cpu-used 8 -g 60 -pix_fmt yuv420p"},
    {"Av1InWebm", "av1.webm", 160, 96, 300,
     "-c:v libaom-av1 -usage realtime -cpu-used 8 -g 60 -pix_fmt yuv420p"},
};

// The frame numbers `requests` show; names the first wrong ones ("" when all are right).
std::string wrongFrames(FfmpegVideoReader& reader, const std::vector<int>& requests) {
  std::ostringstream out;
  int wrong = 0;
  Bitmap bitmap;
  for (const int n : requests) {
    const int shown = reader.getFrame(n, bitmap) ? readFrameNumber(bitmap) : -2;
    if (shown != n && wrong++ < 8) out << " frame " << n << " showed " << shown << ";";
  }
  return out.str();
}

class TodaysFootage : public ::testing::TestWithParam<Footage> {};

TEST_P(TodaysFootage, EveryFrameCountedAndShownAtTheRightNumber) {
  const Footage& f = GetParam();
  TemporaryFolder folder;
  const std::string path = folder.file(f.file);
  ASSERT_TRUE(writeNumberedVideo(path, f.width, f.height, f.frames, f.options))
      << "ffmpeg could not make " << f.file;
  FfmpegVideoReader reader;
  ASSERT_TRUE(reader.open(path)) << reader.openError();
  EXPECT_EQ(reader.frameCount(), f.frames);
  EXPECT_EQ(reader.width(), f.width);
  EXPECT_EQ(reader.height(), f.height);

  std::vector<int> inOrder;
  for (int n = 0; n < f.frames; ++n) inOrder.push_back(n);
  EXPECT_EQ(wrongFrames(reader, inOrder), "") << "in order";
  const int last = f.frames - 1;
  EXPECT_EQ(wrongFrames(reader, {last, 0, last - 2, last / 2, 1, last, last - 1, last / 2 - 1}), "")
      << "jumps";

  // Scaled for the cab view, filling the width at scale 1 and whole at scale 2: the number
  // still reads (the blocks are cut or shrunk, not moved), and the picture covers its place.
  for (const VideoView view :
       {VideoView{480, 240, VideoFit::FillWidth}, VideoView{960, 480, VideoFit::Whole}}) {
    const platform::VideoPlacement at = platform::placeVideo(f.width, f.height, view);
    for (const int n : {last, 3}) {
      ViewPicture picture;
      ASSERT_TRUE(reader.getViewFrame(n, view, picture)) << n;
      EXPECT_EQ(picture.frame, n);
      EXPECT_EQ(readFrameNumber(picture.pixels), n) << "view " << view.width;
      EXPECT_EQ(picture.pixels.width, at.width);
      EXPECT_EQ(picture.pixels.height, at.height);
      EXPECT_EQ(picture.x, at.x);
      EXPECT_EQ(picture.y, at.y);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(FfmpegVideoReader, TodaysFootage, ::testing::ValuesIn(kFootage),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace dravolin::testing
