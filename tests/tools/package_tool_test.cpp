// dravolin-package end to end: the demo packaged, installed into a library of its own, listed
// and verified; the drive on the installed line gives the same trace as on the folder it was
// made from; a changed or missing file is named; wrong command lines and folders are refused.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "fixtures/run_tool.h"

namespace dravolin::testing {
namespace {

namespace fs = std::filesystem;

const fs::path kGolden = DRAVOLIN_TOOLS_GOLDEN_DIR;

class PackageTool : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("dravolin_package_tool_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_ / "data");
    const char* old = std::getenv("XDG_DATA_HOME");
    oldData_ = old != nullptr ? std::optional<std::string>(old) : std::nullopt;
    ::setenv("XDG_DATA_HOME", (dir_ / "data").c_str(), 1);
    const ToolRun made =
        runTool(DRAVOLIN_MAKE_DEMO_EXE, quoted((dir_ / "demo").string()) + " --fast");
    ASSERT_EQ(made.status, 0) << made.err;
  }
  void TearDown() override {
    if (oldData_) {
      ::setenv("XDG_DATA_HOME", oldData_->c_str(), 1);
    } else {
      ::unsetenv("XDG_DATA_HOME");
    }
    fs::remove_all(dir_);
  }
  static ToolRun tool(const std::string& args) { return runTool(DRAVOLIN_PACKAGE_EXE, args); }

  fs::path dir_;
  std::optional<std::string> oldData_;
};

TEST_F(PackageTool, TheInstalledDemoDrivesAsTheFolderItWasMadeFrom) {
  const std::string file = quoted((dir_ / "sakura.dravolin").string());
  ToolRun r = tool("create " + quoted((dir_ / "demo").string()) + " " + file +
                   " --id sakura --version 2.1 --author 'Dravolin' --licence CC0-1.0");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(
      r.out.rfind("「" + (dir_ / "sakura.dravolin").string() + "」を作りました（ファイル ", 0), 0u)
      << r.out;
  r = tool("install " + file);
  ASSERT_EQ(r.status, 0) << r.err;
  const fs::path installed = dir_ / "data" / "dravolin" / "lines" / "sakura";
  EXPECT_EQ(r.out,
            "「さくら線 快速」（版 2.1）をインストールしました: " + installed.string() + "\n");
  r = tool("list");
  EXPECT_EQ(r.out, "sakura 2.1 7.4km 4 E231_train,205_train さくら線 快速\n");
  r = tool("--lang en install " + file);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "Version 2.1 of \"さくら線 快速\" is already installed\n");
  r = tool("verify sakura");
  EXPECT_EQ(r.status, 0) << r.err;
  r = tool("verify " + file);
  EXPECT_EQ(r.status, 0) << r.err;

  // The same scripted drive on the folder and on the installed line: the same trace.
  const std::string drive = "E231_train.dat E231_line2.dat --until 150000 --every 100 --script " +
                            quoted((kGolden / "demo_e231_script.txt").string()) +
                            " --columns t_ms,Speed,PowerNotch,BrakeNotch,FrameIndex,DoorsOpen,"
                            "SignalCode,StationLabel,ClockLabel";
  const ToolRun onFolder =
      runTool(DRAVOLIN_DRIVE_EXE, "--dir " + quoted((dir_ / "demo").string()) + " " + drive);
  const ToolRun onLine =
      runTool(DRAVOLIN_DRIVE_EXE, "--dir " + quoted(installed.string()) + " " + drive);
  ASSERT_EQ(onFolder.status, 0) << onFolder.err;
  ASSERT_EQ(onLine.status, 0) << onLine.err;
  EXPECT_GT(onFolder.out.size(), 10000u);
  EXPECT_TRUE(onLine.out == onFolder.out) << "the traces differ";

  // A changed and a missing file are named; the check fails.
  std::ofstream(installed / "E231_line2.dat", std::ios::app) << "\n";
  fs::remove(installed / "readme.html");
  r = tool("verify sakura");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "変更されています: E231_line2.dat\nありません: readme.html\n");
  EXPECT_EQ(r.err,
            "dravolin-package: 「さくら線 快速」のファイル 2 個が manifest.json と違います\n");

  // An older version asks for --force; remove takes the line away.
  r = tool("create " + quoted((dir_ / "demo").string()) + " " +
           quoted((dir_ / "old.dravolin").string()) + " --id sakura --version 2.0.9");
  ASSERT_EQ(r.status, 0) << r.err;
  r = tool("install " + quoted((dir_ / "old.dravolin").string()));
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err,
            "dravolin-package: 「さくら線 快速」は新しい版 2.1 がインストールされています。古い版 "
            "2.0.9 で置き換えるには --force を付けてください\n");
  r = tool("install --force " + quoted((dir_ / "old.dravolin").string()));
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(tool("verify sakura").status, 0);
  r = tool("remove sakura");
  EXPECT_EQ(r.status, 0);
  EXPECT_FALSE(fs::exists(installed));
  EXPECT_EQ(tool("list").err, "インストールされた路線はありません\n");
}

TEST_F(PackageTool, WrongCommandLinesAndFoldersAreRefused) {
  struct Case {
    std::string args;
    int status;
    std::string err;  // the start of standard error
  };
  const std::string demo = quoted((dir_ / "demo").string());
  const std::string out = quoted((dir_ / "x.dravolin").string());
  const std::vector<Case> cases = {
      {"", 2, "usage: dravolin-package"},
      {"frobnicate", 2, "usage: dravolin-package"},
      {"install", 2, "usage: dravolin-package"},
      {"list --force", 2, "dravolin-package: option not used by list"},
      {"create " + demo + " " + out + " --bogus", 2, "dravolin-package: unknown option --bogus"},
      {"create " + demo + " " + out + " --id Sakura", 1,
       "dravolin-package: ID「Sakura」は使えません"},
      {"create " + demo + " " + out + " --version 1.x", 1,
       "dravolin-package: 版「1.x」は使えません"},
      {"create " + quoted(dir_.string()) + " " + out, 1,
       "dravolin-package: 「" + dir_.string() + "」は路線のデータフォルダではありません"},
      {"remove nothing", 1,
       "dravolin-package: 「nothing」という ID の路線はインストールされていません"},
      {"verify nothing", 1,
       "dravolin-package: 「nothing」という ID の路線はインストールされていません"},
      {"install " + quoted((dir_ / "none.dravolin").string()), 1,
       "dravolin-package: 「none.dravolin」はインストールできません: ZIP "
       "形式のパッケージとして読めません"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args);
    const ToolRun r = tool(c.args);
    EXPECT_EQ(r.status, c.status) << r.err;
    EXPECT_EQ(r.err.rfind(c.err, 0), 0u) << r.err;
  }
  EXPECT_FALSE(fs::exists(dir_ / "x.dravolin"));
  EXPECT_FALSE(fs::exists(dir_ / "data" / "dravolin"));
  EXPECT_EQ(tool("--help").status, 0);
}

}  // namespace
}  // namespace dravolin::testing
