// The line maker's footage service on FFmpeg: what it writes (H.264 in MP4 with a creation time
// and a "gpmd" telemetry stream) it reads back; the motion of frames; a frame at a time; the line
// video written afresh at 30 frames a second from a faster file.
#include <gtest/gtest.h>

#include <unistd.h>
#include <cmath>
#include <filesystem>
#include <fstream>

#include "platform/ffmpeg_footage.h"
#include "platform/ffmpeg_mp4_writer.h"

namespace dravolin::platform {
namespace {

namespace fs = std::filesystem;

// A picture of `level` grey with, in its lower half, vertical bars shifted by `shift` pixels.
Bitmap picture(int w, int h, int level, int shift) {
  Bitmap b{w, h, std::vector<std::uint32_t>(static_cast<std::size_t>(w) * h)};
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      int v = level;
      if (y >= h / 2 && ((x + shift) / 4) % 2 == 0) v = std::min(255, level + 100);
      const auto c = static_cast<std::uint32_t>(v);
      b.pixels[static_cast<std::size_t>(y) * w + x] = 0xFF000000u | c << 16 | c << 8 | c;
    }
  }
  return b;
}

int greyAt(const Bitmap& b, int x, int y) { return static_cast<int>(b.pixel(x, y) & 0xFF); }

class FfmpegFootageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("dravolin_footage_" + std::to_string(::getpid()));
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  fs::path dir_;
  FfmpegFootage footage_;
};

TEST_F(FfmpegFootageTest, ReadsBackItsCreationTimeAndTelemetry) {
  const std::string path = (dir_ / "camera.mp4").string();
  FfmpegMp4Writer::Options o;
  o.width = 64;
  o.height = 32;
  o.creationTimeS = 1714525170.0;
  o.telemetry = true;
  FfmpegMp4Writer w(path, o);
  for (int f = 0; f < 90; ++f) {
    w.addFrame(picture(64, 32, 40, 0));
    if (f % 30 == 10) w.addTelemetry({1, 2, 3, static_cast<std::uint8_t>(f)}, f / 30.0, 1.0);
  }
  w.finish();

  const FootageInfo info = footage_.probe(path);
  EXPECT_EQ(info.width, 64);
  EXPECT_EQ(info.height, 32);
  EXPECT_DOUBLE_EQ(info.frameRate, 30);
  EXPECT_NEAR(info.durationS, 3.0, 0.05);
  ASSERT_TRUE(info.creationTimeS.has_value());
  EXPECT_DOUBLE_EQ(*info.creationTimeS, 1714525170.0);
  EXPECT_TRUE(info.hasTelemetry);
  EXPECT_EQ(info.videoCodec, "h264");
  const std::vector<TelemetryPacket> t = footage_.telemetry(path);
  ASSERT_EQ(t.size(), 3u);
  for (std::size_t i = 0; i < t.size(); ++i) {
    EXPECT_EQ(t[i].bytes,
              (std::vector<std::uint8_t>{1, 2, 3, static_cast<std::uint8_t>(10 + 30 * i)}));
    EXPECT_NEAR(t[i].timeS, (10 + 30.0 * i) / 30, 0.001);
    // The muxer keeps a sample's duration as the time to the next (the last one ends with the
    // video).
    if (i + 1 < t.size()) {
      EXPECT_NEAR(t[i].durationS, 1.0, 0.001);
    }
    EXPECT_GT(t[i].fileOffset, 0);
  }
}

TEST_F(FfmpegFootageTest, MotionIsAtTheFloorWhileStillAndHighWhileMoving) {
  const std::string path = (dir_ / "moving.mp4").string();
  FfmpegMp4Writer::Options o;
  o.width = 160;
  o.height = 80;
  o.crf = 10;
  FfmpegMp4Writer w(path, o);
  // Still for a second, the bars moving a pixel a frame for a second, still again.
  for (int f = 0; f < 90; ++f) w.addFrame(picture(160, 80, 60, std::clamp(f - 30, 0, 30)));
  w.finish();
  const std::vector<FrameMotion> m = footage_.motion(path, {});
  ASSERT_EQ(m.size(), 90u);
  EXPECT_DOUBLE_EQ(m[0].timeS, 0);
  EXPECT_NEAR(m[45].timeS, 1.5, 1e-9);
  for (int f = 2; f < 29; ++f) EXPECT_LT(m[static_cast<std::size_t>(f)].motion, 1.0f) << f;
  for (int f = 32; f < 60; ++f) EXPECT_GT(m[static_cast<std::size_t>(f)].motion, 10.0f) << f;
  for (int f = 63; f < 90; ++f) EXPECT_LT(m[static_cast<std::size_t>(f)].motion, 1.0f) << f;
  // Against a still frame, the moving ones differ and the still ones do not.
  const std::vector<FrameDifference> d = footage_.differences(path, 1.5, 2.5, 2.5);
  ASSERT_FALSE(d.empty());
  EXPECT_NEAR(d.front().timeS, 1.5, 1e-9);
  EXPECT_GT(d.front().difference, 10.0f);
  EXPECT_LT(d.back().difference, 1.0f);
  // A progress that says stop stops it.
  EXPECT_THROW(footage_.motion(path, [](double) { return false; }), FootageCancelled);
}

TEST_F(FfmpegFootageTest, LineVideoAtThirtyFramesShowsTheFrameOnScreenAtEachTime) {
  const std::string fast = (dir_ / "fast.mp4").string();
  FfmpegMp4Writer::Options o;
  o.width = 32;
  o.height = 16;
  o.fpsNumerator = 60;
  o.crf = 0;
  FfmpegMp4Writer w(fast, o);
  // Frame n of the 60-frame file is grey 2n.
  for (int f = 0; f < 120; ++f) w.addFrame(picture(32, 16, 2 * f, 0));
  w.finish();
  const std::string line = (dir_ / "line.mp4").string();
  double last = -1;
  footage_.writeLineVideo(fast, line, 30, [&last](double share) {
    EXPECT_GE(share, last);
    last = share;
    return true;
  });
  EXPECT_DOUBLE_EQ(last, 1.0);
  const FootageInfo info = footage_.probe(line);
  EXPECT_DOUBLE_EQ(info.frameRate, 30);
  const std::vector<FrameMotion> frames = footage_.motion(line, {});
  ASSERT_EQ(frames.size(), 60u);
  for (const int k : {0, 1, 17, 59}) {
    SCOPED_TRACE(k);
    const Bitmap b = footage_.frameAt(line, k / 30.0, 32, 16);
    EXPECT_NEAR(greyAt(b, 1, 1), 4 * k, 3);  // input frame 2k
  }
}

TEST_F(FfmpegFootageTest, AFileThatIsNoVideoIsNamedInTheError) {
  const fs::path notes = dir_ / "notes.txt";
  std::ofstream(notes) << "no video";
  try {
    footage_.probe(notes.string());
    FAIL();
  } catch (const FootageError& e) {
    EXPECT_NE(std::string(e.what()).find("notes.txt: 動画ファイルを読み込めません"),
              std::string::npos)
        << e.what();
  }
}

TEST(BlockMotion, APassengerInOneCornerDoesNotMoveTheCamera) {
  std::vector<std::uint8_t> a(160 * 80, 50), b = a;
  // A fifth of the lower half's blocks changing is below the value returned.
  for (int y = 40; y < 80; ++y) {
    for (int x = 0; x < 20; ++x) b[static_cast<std::size_t>(y) * 160 + x] = 200;
  }
  EXPECT_EQ(blockMotion(a.data(), b.data(), 160, 80, 160), 0.0f);
  // The upper half (sky, distance) is not looked at.
  std::vector<std::uint8_t> c = a;
  for (int i = 0; i < 160 * 40; ++i) c[static_cast<std::size_t>(i)] = 0;
  EXPECT_EQ(blockMotion(a.data(), c.data(), 160, 80, 160), 0.0f);
  // The whole lower half changing is motion.
  std::vector<std::uint8_t> d = a;
  for (int i = 160 * 40; i < 160 * 80; ++i) d[static_cast<std::size_t>(i)] = 60;
  EXPECT_EQ(blockMotion(a.data(), d.data(), 160, 80, 160), 10.0f);
}

}  // namespace
}  // namespace dravolin::platform
