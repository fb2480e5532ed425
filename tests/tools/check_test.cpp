#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "data/text_encoding.h"
#include "fixtures/run_tool.h"

namespace dravolin::testing {
namespace {

namespace fs = std::filesystem;

// Runs dravolin-check with `args`, capturing its standard output, error and exit status.
ToolRun check(const std::string& args) { return runTool(DRAVOLIN_CHECK_EXE, args); }

fs::path sampleDrive() {
  // ctest passes the fixtures folder in DRAVOLIN_FIXTURES; the build knows it too.
  const char* fixtures = std::getenv("DRAVOLIN_FIXTURES");
  return fs::path(fixtures && *fixtures ? fixtures : DRAVOLIN_FIXTURES_DIR) / "drive";
}

// A scratch copy of the sample drive that a test may break.
class CheckOnACopy : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("dravolin_check_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::copy(sampleDrive(), dir_, fs::copy_options::recursive);
  }
  void TearDown() override { fs::remove_all(dir_); }

  // Replaces `from` by `to` (UTF-8, written in Shift-JIS) in the file `name`.
  void edit(const std::string& name, const std::string& from, const std::string& to) {
    std::string bytes = slurp(dir_ / name);
    const std::string f = data::utf8ToCp932(from);
    const std::size_t at = bytes.find(f);
    ASSERT_NE(at, std::string::npos) << from;
    bytes.replace(at, f.size(), data::utf8ToCp932(to));
    std::ofstream(dir_ / name, std::ios::binary) << bytes;
  }

  ToolRun checkHere() {
    return check("--dir " + quoted(dir_.string()) + " test_train.dat test_line.dat");
  }

  fs::path dir_;
};

TEST(DravolinCheck, PrintsTheRecordsOfTheSampleDrive) {
  const ToolRun run =
      check("--dir " + quoted(sampleDrive().string()) + " test_train.dat test_line.dat");
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out,
            "ok\n"
            "counts mascon=22 drivesound=2 motorsound=1 notch=2 gear=0 sounddata=2 announce=2 "
            "kanko=29 sound=1 doppler=1 tunnel=1 station=3 stopsound=1 signal=2 slope=2 sign=1 "
            "speedlimit=1 speedcheck=1 signimages=2 otherimages=1 signalimages=3 speedunit=2 "
            "checkpoints=3\n"
            "speedunit 0 0 300 0 60 8333\n"
            "speedunit 1 300 900 60 60 41666\n"
            "checkpoint 0 2083 0 0\n"
            "checkpoint 1 25000 0 1\n"
            "checkpoint 2 16666 70 0\n"
            "station 0 0 100 200 2083 ソ表駅\n"
            "station 1 1 400 420 0 能登\n"
            "station 2 2 700 800 33333 予十\n"
            "train Power=2 Brake=4 BrakeType=0 Engine_Type=1 Cars=4 Tons=140.1234 Mt=120.5000 "
            "MaxSpeed=110\n");
}

TEST(DravolinCheck, WrongArgumentsShowTheUsage) {
  const ToolRun run = check("only_one.dat");
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(run.err, "usage: dravolin-check [--dir DIR] [--lang ja|en] TRAIN_FILE LINE_FILE\n");
  EXPECT_EQ(run.out, "");
}

TEST_F(CheckOnACopy, AMissingControllerMapIsReportedFirst) {
  fs::remove(dir_ / "mascon.dat");
  fs::remove(dir_ / "test_line.dat");
  const ToolRun run = checkHere();
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "mascon.datが見つかりません\n");
  EXPECT_EQ(run.out, "");
}

TEST_F(CheckOnACopy, AMissingTrainFileReportsTheLineFilesLastLabel) {
  fs::remove(dir_ / "test_train.dat");
  const ToolRun run = checkHere();
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "車両ファイルに誤りがあります[SpeedUnit]\n");
}

TEST_F(CheckOnACopy, TheLineFileIsReadBeforeTheSettingsAndTheTrain) {
  fs::remove(dir_ / "dravolin.dat");
  edit("test_train.dat", "[Cars]\r\n4", "[Cars]\r\nfour");
  edit("test_line.dat", "能登,1,400,420,0,0,0", "能登");
  const ToolRun run = checkHere();
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "路線ファイルに誤りがあります。[Station]:能登\n");
}

TEST_F(CheckOnACopy, TheSettingsFileIsReadBeforeTheTrain) {
  fs::remove(dir_ / "dravolin.dat");
  edit("test_train.dat", "[Cars]\r\n4", "[Cars]\r\nfour");
  const ToolRun run = checkHere();
  EXPECT_EQ(run.err, "stringファイルに誤りがあります\n");
}

TEST_F(CheckOnACopy, TrainFileErrorsCarryTheirLabel) {
  edit("test_train.dat", "[Cars]\r\n4", "[Cars]\r\nfour");
  EXPECT_EQ(checkHere().err, "車両ファイルに誤りがあります- 列車の基本設定\n");
}

TEST_F(CheckOnACopy, TheBrakeIsValidatedAfterTheTrainFile) {
  edit("test_train.dat", "[BrakeType]\r\n0\r\n[Brake]\r\n8", "[BrakeType]\r\n1\r\n[Brake]\r\n2");
  const ToolRun run = checkHere();
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "ブレーキの段数を3段以上に設定してください\n");
}

TEST_F(CheckOnACopy, AMissingIndicatorBitmapIsATrainFileError) {
  fs::remove(dir_ / "image" / "p1.bmp");
  EXPECT_EQ(checkHere().err, "車両ファイルに誤りがあります[NotchImageP]\n");
}

TEST_F(CheckOnACopy, LfLineEndsAndOtherLetterCaseAreAccepted) {
  for (const char* name : {"mascon.dat", "dravolin.dat", "test_line.dat", "test_train.dat"}) {
    std::string bytes = slurp(dir_ / name);
    for (std::size_t p; (p = bytes.find("\r\n")) != std::string::npos;) bytes.erase(p, 1);
    std::ofstream(dir_ / name, std::ios::binary) << bytes;
  }
  fs::rename(dir_ / "image", dir_ / "IMAGE");
  fs::rename(dir_ / "test_train.dat", dir_ / "Test_Train.DAT");
  const ToolRun run = checkHere();
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.status, 0);
  EXPECT_NE(run.out.find("station 2 2 700 800 33333 予十\n"), std::string::npos);
}

}  // namespace
}  // namespace dravolin::testing
