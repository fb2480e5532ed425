#include "platform/message.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "fixtures/run_tool.h"
#include "platform/message_ids.h"

namespace dravolin::msg {
namespace {

// Restores the catalogue's language and pseudo mode after a test.
struct CatalogueState {
  ~CatalogueState() {
    setLanguage(Language::Japanese);
    setPseudoTexts(false);
  }
};

int placeholdersOf(std::string_view pattern) {
  int highest = 0;
  for (std::size_t i = 0; i + 2 < pattern.size(); ++i) {
    if (pattern[i] == '{' && pattern[i + 2] == '}' && pattern[i + 1] >= '1' &&
        pattern[i + 1] <= '9') {
      highest = std::max(highest, pattern[i + 1] - '0');
    }
  }
  return highest;
}

// True when `s` holds a kana or a CJK ideograph (UTF-8 lead bytes of U+3000 to U+9FFF and the
// full-width forms U+FF00 to U+FFEF).
bool hasJapanese(std::string_view s) {
  for (std::size_t i = 0; i + 2 < s.size(); ++i) {
    const auto a = static_cast<unsigned char>(s[i]);
    const auto b = static_cast<unsigned char>(s[i + 1]);
    if ((a >= 0xE3 && a <= 0xE9) || (a == 0xEF && b >= 0xBC && b <= 0xBF)) return true;
  }
  return false;
}

TEST(Catalogue, EveryLanguageHasEveryMessageWithItsArguments) {
  for (Language l : kLanguages) {
    ASSERT_TRUE(hasCatalogue(l)) << languageCode(l);
    for (int i = 0; i < kMessageCount; ++i) {
      const Id id = static_cast<Id>(i);
      EXPECT_EQ(placeholdersOf(pattern(id, l)), argumentCount(id))
          << idName(id) << " in " << languageCode(l);
      EXPECT_FALSE(pattern(id, l).empty() && argumentCount(id) == 0) << idName(id);
    }
  }
}

TEST(Catalogue, EnglishTextsHoldNoJapanese) {
  for (int i = 0; i < kMessageCount; ++i) {
    const Id id = static_cast<Id>(i);
    EXPECT_FALSE(hasJapanese(pattern(id, Language::English))) << idName(id);
  }
}

// The messages that matter most, as the user reads them in each language. In Japanese they are
// the system's own texts, character for character.
TEST(Catalogue, MessagesInBothLanguages) {
  CatalogueState restore;
  const struct {
    Message message;
    const char* japanese;
    const char* english;
  } cases[] = {
      {lineFileError("[Station]", "駅,1"), "路線ファイルに誤りがあります。[Station]:駅,1",
       "The line file has an error. [Station]: 駅,1"},
      {lineFileErrorDetail("other", "0", frameRateRange()),
       "路線ファイルに誤りがあります。other:0\n[FrameRate]は1から30までの整数で指定してください",
       "The line file has an error. other: 0\n[FrameRate] must be a whole number from 1 to 30"},
      {trainFileErrorDetail(trainLabelPanel(), tooManyRecords(11)),
       "車両ファイルに誤りがあります- 運転台パネル:指定が多すぎます（最大11個）",
       "The train file has an error - cab panel: too many entries (at most 11)"},
      {trainFileError("[Notch]"), "車両ファイルに誤りがあります[Notch]",
       "The train file has an error [Notch]"},
      {fileNotFound("image\\panel.bmp"), "image\\panel.bmpが見つかりません",
       "image\\panel.bmp was not found"},
      {settingsFileError(), "stringファイルに誤りがあります",
       "The settings file dravolin.dat has an error"},
      {controllerMapMissing(), "mascon.datが見つかりません", "mascon.dat was not found"},
      {brakeStepsTooFew(), "ブレーキの段数を3段以上に設定してください",
       "Give the brake 3 steps or more"},
      {tooManySoundSlots(), "DirectSoundの割り当てに失敗しました。256チャンネルを超えています。",
       "The sounds cannot be assigned: more than 256 channels are needed."},
      {carsLabel(10), "10両", "10 cars"},
      {gearDirect(3), "直3", "D3"},
      {pauseCaption(), "一時停止(&S)", "Pau&se"},
      {wordStopSuffix(), " 停車", " stop"},
      {videoTooLarge(4096), "動画の画面が大きすぎます（最大4096 x 4096）",
       "The video's pictures are too large (at most 4096 x 4096)"},
      {deviceAdded("Pad", "gamepad"), "コントローラー「Pad」を接続しました（gamepad）",
       "Controller \"Pad\" connected (gamepad)"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.message.text(Language::Japanese), c.japanese);
    EXPECT_EQ(c.message.text(Language::English), c.english);
    setLanguage(Language::English);
    EXPECT_EQ(c.message.text(), c.english);
    setLanguage(Language::Japanese);
    EXPECT_EQ(c.message.text(), c.japanese);
  }
}

TEST(Catalogue, ArgumentsAreShownAsTheyAre) {
  // A placeholder in an argument is not replaced again, a missing argument leaves its
  // placeholder, and numbers are written in full.
  EXPECT_EQ(fileNotFound("{1}.bmp").text(Language::English), "{1}.bmp was not found");
  EXPECT_EQ(Message(Id::FileNotFound, {}).text(Language::English), "{1} was not found");
  EXPECT_EQ(picturesTooLarge(std::int64_t{1} << 40, "a").text(Language::Japanese),
            "画像が大きすぎます（1回の運転で合計1099511627776画素まで）:a");
  EXPECT_EQ(carsLabel(-3).text(Language::English), "-3 cars");
}

TEST(Catalogue, ThePseudoLanguageMarksTheCataloguesOwnText) {
  CatalogueState restore;
  setPseudoTexts(true);
  EXPECT_EQ(fileNotFound("a.bmp").text(), "a.bmp⟦ was not found⟧");
  EXPECT_EQ(lineFileErrorDetail("[Sign]", "x", tooManyRecords(501)).text(Language::Japanese),
            "⟦The line file has an error. ⟧[Sign]⟦: ⟧x⟦\n⟧⟦too many entries (at most ⟧501⟦)⟧");
  // A text that is no message of the catalogue stays unmarked.
  EXPECT_EQ(plainText("as it is").text(), "as it is");
  EXPECT_EQ(carsLabel(6).text(), "6⟦ cars⟧");
}

TEST(Catalogue, MessagesCompareByIdAndArguments) {
  EXPECT_EQ(notchSpeeds(2), notchSpeeds(2));
  EXPECT_NE(notchSpeeds(2), notchSpeeds(3));
  EXPECT_NE(notchSpeeds(2), gearSpeeds(2));
  EXPECT_EQ(trainFileError(trainLabelBasic()), trainFileError(trainLabelBasic()));
  EXPECT_NE(trainFileError(trainLabelBasic()), trainFileError("- 列車の基本設定"));
  EXPECT_EQ(idName(Id::LineFileError), "LineFileError");
}

// The catalogue's builder refuses a catalogue a translator has left incomplete or wrong, and
// says where.
TEST(CatalogueBuilder, RefusesWhatATranslatorGotWrong) {
  namespace fs = std::filesystem;
  const fs::path dir =
      fs::temp_directory_path() / ("dravolin_catalogue_" + std::to_string(::getpid()));
  fs::create_directories(dir);
  const std::string source =
      "# remark\n\nFileNotFound = {1}が見つかりません\nPair = {1}と{2}\nPlain = 停車\n";
  const struct {
    const char* what;
    std::string source;
    std::string english;
    const char* error;  // empty: accepted
  } cases[] = {
      {"complete", source, "Pair = {2} and {1}\nFileNotFound = {1} was not found\nPlain = stop\n",
       ""},
      {"a missing message", source, "FileNotFound = {1} was not found\nPlain = stop\n",
       "no text for Pair"},
      {"a message the source lacks", source,
       "FileNotFound = {1}\nPair = {1}{2}\nPlain = x\nExtra = y\n", "Extra is not a message"},
      {"an argument left out", source, "FileNotFound = not found\nPair = {1}{2}\nPlain = x\n",
       "FileNotFound must use the arguments"},
      {"an argument too many", source, "FileNotFound = {1}\nPair = {1}{2}{3}\nPlain = x\n",
       "Pair must use the arguments"},
      {"a message given twice", source, "FileNotFound = {1}\nPair = {1}{2}\nPlain = x\nPlain = y\n",
       "Plain is given twice"},
      {"an unknown escape", source, "FileNotFound = {1}\\t\nPair = {1}{2}\nPlain = x\n",
       "is no escape"},
      {"a trailing blank", source, "FileNotFound = {1}\nPair = {1}{2}\nPlain = x \n",
       "ends with a blank"},
      {"a line without =", source, "FileNotFound = {1}\nPair = {1}{2}\nPlain x\n", "ID = TEXT"},
      {"a gap in the arguments", "A = {1}{3}\n", "A = {1}{3}\n", "uses {3} without {2}"},
      {"not UTF-8", source, "FileNotFound = {1}\nPair = {1}{2}\nPlain = \x93\x5a\n", "not UTF-8"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::ofstream(dir / "messages_ja.txt", std::ios::binary | std::ios::trunc) << c.source;
    std::ofstream(dir / "messages_en.txt", std::ios::binary | std::ios::trunc) << c.english;
    fs::remove(dir / "ids.h");
    const testing::ToolRun run =
        testing::runTool(DRAVOLIN_MESSAGE_CATALOGUE_EXE,
                         testing::quoted((dir / "ids.h").string()) + " " +
                             testing::quoted((dir / "texts.cpp").string()) + " " +
                             testing::quoted((dir / "messages_ja.txt").string()) + " " +
                             testing::quoted((dir / "messages_en.txt").string()));
    if (std::string(c.error).empty()) {
      EXPECT_EQ(run.status, 0) << run.err;
      const std::string header = testing::slurp(dir / "ids.h");
      EXPECT_NE(header.find("inline Message pair(Arg a1, Arg a2)"), std::string::npos) << header;
      EXPECT_NE(header.find("inline Message plain()"), std::string::npos) << header;
    } else {
      EXPECT_EQ(run.status, 1);
      EXPECT_NE(run.err.find(c.error), std::string::npos) << run.err;
      EXPECT_FALSE(fs::exists(dir / "ids.h"));
    }
  }
  fs::remove_all(dir);
}

}  // namespace
}  // namespace dravolin::msg
