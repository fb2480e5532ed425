// Every program of the project answers --help (and -h) with its usage on standard output and
// exit status 0, and still refuses an unknown option with status 2.
#include <gtest/gtest.h>

#include <string>

#include "fixtures/run_tool.h"

namespace dravolin::testing {
namespace {

TEST(ToolHelp, EveryToolPrintsItsUsageAndExitsZero) {
  const struct {
    const char* exe;
    const char* usage;  // how the usage text begins
  } tools[] = {
      {DRAVOLIN_EXE, "usage: dravolin "},
      {DRAVOLIN_DRIVE_EXE, "usage: dravolin-drive "},
      {DRAVOLIN_CURVE_EXE, "usage: dravolin-curve "},
      {DRAVOLIN_CHECK_EXE, "usage: dravolin-check "},
      {DRAVOLIN_MAKE_DEMO_EXE, "usage: dravolin-make-demo "},
      {DRAVOLIN_VIDEO_EXE, "usage: dravolin-video "},
      {DRAVOLIN_TIMER_CHECK_EXE, "usage: dravolin-timer-check "},
      {DRAVOLIN_AUTHOR_EXE, "usage: dravolin-author "},
      {DRAVOLIN_PACKAGE_EXE, "usage: dravolin-package "},
  };
  for (const auto& tool : tools) {
    for (const char* option : {"--help", "-h"}) {
      SCOPED_TRACE(std::string(tool.exe) + " " + option);
      const ToolRun run = runTool(tool.exe, option);
      EXPECT_EQ(run.status, 0);
      EXPECT_EQ(run.out.rfind(tool.usage, 0), 0u) << run.out;
      EXPECT_TRUE(!run.out.empty() && run.out.back() == '\n');
      EXPECT_EQ(run.err, "");
    }
    SCOPED_TRACE(tool.exe);
    const ToolRun bad = runTool(tool.exe, "--no-such-option");
    EXPECT_EQ(bad.status, 2);
    EXPECT_EQ(bad.out, "");
    EXPECT_NE(bad.err.find("usage: "), std::string::npos) << bad.err;
  }
}

}  // namespace
}  // namespace dravolin::testing
