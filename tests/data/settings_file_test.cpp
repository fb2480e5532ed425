#include "data/settings_file.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace dravolin::data {
namespace {

// A settings file in Shift-JIS with CR LF line ends, every key once.
const char kFullFile[] =
    "dravolin settings\r\n"
    "[Path]\r\n"
    "move\\\x83\x5C\x95\x5C\\\r\n"      // move\ソ表\ : trail bytes 0x5C stay as they are
    "[Forward]\r\n\x91\x4F\r\n"         // 前
    "[Neutral]\r\n\x90\xD8\r\n"         // 切
    "[Reverse]\r\n\x8C\xE3\r\n"         // 後
    "[Stop]\r\n \x92\xE2\x8E\xD4 \r\n"  // " 停車 " with its blanks
    "[Pass]\r\n\x92\xCA\x89\xDF\r\n"    // 通過
    "[Stop2]\r\nstop 2\r\n"
    "[Neut]\r\nN\r\n"
    "[Neut2]\r\nN2\r\n"
    "[Apply]\r\nA\r\n"
    "[Maintain]\r\nM\r\n"
    "[Hold]\r\nH\r\n"
    "[Hold2]\r\nH2\r\n"
    "[EB]\r\n\x94\xF1\x8F\xED\r\n"                         // 非常
    "[Start]\r\n\x89\x5E\x93\x5D\x8A\x4A\x8E\x6E(&S)\r\n"  // 運転開始(&S)
    "[Move]\r\n\x88\xDA\x93\xAE\r\n"                       // 移動
    "[Display]\r\n\x95\x5C\x8E\xA6\r\n\x91\x80\x8D\xEC\x90\xE0\x96\xBE(&H)\r\n"
    "\x8D\xC4\x95\x60\x89\xE6(&R)\r\n"  // 表示 / 操作説明(&H) / 再描画(&R)
    "[Control]\r\nController(&C)\r\n";

TEST(SettingsFile, ReadsEveryKeyAndConvertsShownTextsToUtf8) {
  const Settings s = parseSettingsFile(kFullFile);
  EXPECT_EQ(s.Path, "move\\\x83\x5C\x95\x5C\\");  // raw bytes: a path, not shown
  EXPECT_EQ(s.Forward, "前");
  EXPECT_EQ(s.Neutral, "切");
  EXPECT_EQ(s.Reverse, "後");
  EXPECT_EQ(s.Stop, " 停車 ");
  EXPECT_EQ(s.Pass, "通過");
  EXPECT_EQ(s.Stop2, "stop 2");
  EXPECT_EQ(s.Neut, "N");
  EXPECT_EQ(s.Neut2, "N2");
  EXPECT_EQ(s.Apply, "A");
  EXPECT_EQ(s.Maintain, "M");
  EXPECT_EQ(s.Hold, "H");
  EXPECT_EQ(s.Hold2, "H2");
  EXPECT_EQ(s.EB, "非常");
  EXPECT_EQ(s.Start, "運転開始(&S)");
  EXPECT_EQ(s.Move, "移動");
  ASSERT_TRUE(s.Display.has_value());
  EXPECT_EQ(*s.Display, (std::array<std::string, 3>{"表示", "操作説明(&H)", "再描画(&R)"}));
  EXPECT_EQ(s.Control, "Controller(&C)");
}

TEST(SettingsFile, LfLineEndsReadTheSame) {
  std::string lf(kFullFile);
  for (std::size_t p; (p = lf.find("\r\n")) != std::string::npos;) lf.erase(p, 1);
  const Settings a = parseSettingsFile(kFullFile);
  const Settings b = parseSettingsFile(lf);
  EXPECT_EQ(a.Path, b.Path);
  EXPECT_EQ(a.Stop, b.Stop);
  EXPECT_EQ(a.Display, b.Display);
  EXPECT_EQ(a.Control, b.Control);
}

TEST(SettingsFile, AbsentKeysLeaveTextsEmptyAndCaptionsDesigned) {
  const Settings s = parseSettingsFile("[path]\r\nx\\\r\n[Forward] remark\r\nF\r\n");
  EXPECT_EQ(s.Path, "");  // other letter case: not the key
  EXPECT_EQ(s.Forward, "F");
  EXPECT_EQ(s.EB, "");
  EXPECT_FALSE(s.Start.has_value());
  EXPECT_FALSE(s.Display.has_value());
}

TEST(SettingsFile, DisplayCutShortByTheEndOfTheFileLeavesEmptyCaptions) {
  const Settings s = parseSettingsFile("[Display]\r\nShow\r\n");
  ASSERT_TRUE(s.Display.has_value());
  EXPECT_EQ(*s.Display, (std::array<std::string, 3>{"Show", "", ""}));
}

TEST(SettingsFile, AValueThatLooksLikeAKeyIsStillAValueAndThenMatches) {
  // "[Path]" takes "[Forward]" as its text; the "[Forward]" test then sees that line.
  const Settings s = parseSettingsFile("[Path]\n[Forward]\nF\n");
  EXPECT_EQ(s.Path, "[Forward]");
  EXPECT_EQ(s.Forward, "F");
}

TEST(SettingsFile, AMissingFileEndsWithItsMessage) {
  LoadContext ctx;
  ctx.dataDir = "/nonexistent/dravolin";
  try {
    readSettingsFile(ctx);
    FAIL() << "no error";
  } catch (const LoadError& e) {
    EXPECT_EQ(e.message(), "stringファイルに誤りがあります");
  }
}

TEST(SettingsFile, FoundInTheDataFolderIgnoringCase) {
  const auto dir =
      std::filesystem::temp_directory_path() / ("dravolin_settings_" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  std::ofstream(dir / "DRAVOLIN.DAT") << "[Path]\r\nvideo\\\r\n";
  LoadContext ctx;
  ctx.dataDir = dir;
  EXPECT_EQ(readSettingsFile(ctx).Path, "video\\");
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace dravolin::data
