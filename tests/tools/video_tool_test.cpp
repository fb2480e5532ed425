#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <numeric>
#include <string>
#include <vector>

#include "fixtures/numbered_video.h"
#include "fixtures/run_tool.h"
#include "platform/bmp_reader.h"

namespace dravolin::testing {
namespace {

namespace fs = std::filesystem;

ToolRun video(const std::string& args) { return runTool(DRAVOLIN_VIDEO_EXE, args); }

// A 45-frame MPEG-4 line video with a key frame every 20 frames, each frame showing its number.
class VideoTool : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = fs::temp_directory_path() / ("dravolin_video_tool_" + std::to_string(::getpid()));
    fs::create_directories(dir_);
    std::vector<int> numbers(45);
    std::iota(numbers.begin(), numbers.end(), 0);
    ASSERT_TRUE(writeNumberedVideo((dir_ / "line.avi").string(), 160, 96, numbers,
                                   "-c:v mpeg4 -q:v 3 -g 20 -bf 0"));
    std::ofstream(dir_ / "not_a_video.avi") << "RIFF but nothing a decoder can use";
  }
  static void TearDownTestSuite() { fs::remove_all(dir_); }

  static fs::path dir_;
};
fs::path VideoTool::dir_;

TEST_F(VideoTool, TellsFramesSizeAndRate) {
  const ToolRun run = video(quoted((dir_ / "line.avi").string()));
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "frames 45\nsize 160 96\nfps 30\n");
}

TEST_F(VideoTool, WritesTheAskedFrameAsABitmap) {
  const fs::path out = dir_ / "frame.bmp";
  for (int n : {37, 3, 44, 0}) {
    const ToolRun run = video(quoted((dir_ / "line.avi").string()) + " --frame " +
                              std::to_string(n) + " --out " + quoted(out.string()));
    ASSERT_EQ(run.status, 0) << run.err;
    const std::string bytes = slurp(out);
    ASSERT_GE(bytes.size(), 54u);
    EXPECT_EQ(static_cast<unsigned char>(bytes[28]), 24u);  // bits per pixel
    const auto bitmap = platform::decodeBmp(std::span<const std::uint8_t>(
        reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()));
    ASSERT_TRUE(bitmap.has_value());
    EXPECT_EQ(bitmap->width, 160);
    EXPECT_EQ(bitmap->height, 96);
    EXPECT_EQ(readFrameNumber(*bitmap), n);
  }
}

TEST_F(VideoTool, RefusesWhatItCannotDo) {
  struct Case {
    std::string args;
    int status;
  };
  const std::string file = quoted((dir_ / "line.avi").string());
  const Case cases[] = {
      {"", 2},
      {file + " --frame 3", 2},              // --frame without --out
      {file + " --frame x --out y.bmp", 2},  // not a number
      {file + " --frame 45 --out " + quoted((dir_ / "z.bmp").string()), 1},  // past the end
      {quoted((dir_ / "missing.avi").string()), 1},
      {quoted((dir_ / "not_a_video.avi").string()), 1},
  };
  for (const Case& c : cases) {
    const ToolRun run = video(c.args);
    EXPECT_EQ(run.status, c.status) << c.args;
    EXPECT_FALSE(run.err.empty()) << c.args;
  }
}

TEST_F(VideoTool, BenchReportsItsThreeFigures) {
  const ToolRun run = video(quoted((dir_ / "line.avi").string()) + " --bench");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("\nsequential_fps "), std::string::npos);
  EXPECT_NE(run.out.find("\nrandom_ms_mean "), std::string::npos);
  EXPECT_NE(run.out.find("\nrandom_ms_max "), std::string::npos);
}

}  // namespace
}  // namespace dravolin::testing
