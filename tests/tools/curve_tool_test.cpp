#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "fixtures/run_tool.h"

namespace dravolin::testing {
namespace {

namespace fs = std::filesystem;

fs::path sampleDrive() {
  const char* fixtures = std::getenv("DRAVOLIN_FIXTURES");
  return fs::path(fixtures && *fixtures ? fixtures : DRAVOLIN_FIXTURES_DIR) / "drive";
}

ToolRun curveIn(const fs::path& dir, const std::string& args) {
  return runTool("/bin/sh", "-c " + quoted("cd " + quoted(dir.string()) + " && " +
                                           quoted(DRAVOLIN_CURVE_EXE) + " " + args));
}

// The sample train has a four-position brake: its "[Brake]" is validated to 4 positions, so the
// starting notch is -4 whatever the file says.
TEST(CurveTool, RunsTheSampleTrainAfterTheBrakeValidation) {
  const ToolRun run = curveIn(sampleDrive(), "test_train.dat --until 250 --set 1:2:0");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out.rfind("t_ms,Speed,PowerNotch,BrakeNotch,", 0), 0u);
  EXPECT_NE(run.out.find("\n100,"), std::string::npos);
  EXPECT_NE(run.out.find("\n200,"), std::string::npos);
  EXPECT_EQ(run.out.find("\n300,"), std::string::npos);
  const ToolRun idle = curveIn(sampleDrive(), "test_train.dat --until 100");
  EXPECT_NE(idle.out.find("\n100,0.0000,0,-4,"), std::string::npos) << idle.out;
}

TEST(CurveTool, ReportsTheTrainFilesOwnMessage) {
  const ToolRun run = curveIn(sampleDrive(), "no_such_train.dat --until 100");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err.rfind("車両ファイルに誤りがあります", 0), 0u) << run.err;
  EXPECT_EQ(curveIn(sampleDrive(), "test_train.dat").status, 2);
}

}  // namespace
}  // namespace dravolin::testing
