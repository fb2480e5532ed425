// Hostile inputs against the budgets of one drive: sizes just under and just over each limit,
// the flood of empty lines and the long ".." name. Work is bounded through counters of the
// readers (key comparisons, path work), never through the clock.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "data/controller_map.h"
#include "data/data_path.h"
#include "data/keyed_file.h"
#include "data/line_file.h"
#include "data/load_context.h"
#include "data/settings_file.h"
#include "data/train_file.h"
#include "reader_test_support.h"

namespace dravolin::data {
namespace {

namespace fs = std::filesystem;

const std::string kLineError = "路線ファイルに誤りがあります。";
const std::string kTooManyLines = "行が多すぎます（最大100000行）";

// A head line followed by bare line ends, `lines` lines in all.
std::string flood(std::string_view head, std::size_t lines, std::string_view lineEnd = "\n") {
  std::string out(head);
  out += lineEnd;
  for (std::size_t i = 1; i < lines; ++i) out += lineEnd;
  return out;
}

struct KeyedCase {
  std::string name;
  std::function<void(std::string, LoadContext&)> parse;
  std::string bytes;
  std::string message;  // "(no error)" when the file is accepted
};

class KeyedFileBudgets : public ::testing::TestWithParam<KeyedCase> {};

TEST_P(KeyedFileBudgets, LinesPerFile) {
  testing::FakePictureLoader pictures;
  LoadContext ctx;
  ctx.pictures = &pictures;
  const KeyedCase& c = GetParam();
  EXPECT_EQ(errorOf([&] { c.parse(c.bytes, ctx); }), c.message);
}

void parseLine(std::string b, LoadContext& c) { parseLineFile(std::move(b), c); }
void parseTrain(std::string b, LoadContext& c) { parseTrainFile(std::move(b), c); }
void parseSettings(std::string b, LoadContext&) { parseSettingsFile(std::move(b)); }
void parseMascon(std::string b, LoadContext&) { parseControllerMap(b); }

INSTANTIATE_TEST_SUITE_P(
    Hostile, KeyedFileBudgets,
    ::testing::Values(
        KeyedCase{"LineJustUnder", parseLine, flood("[StartPos]\r\n5", kMaxLinesPerFile - 1),
                  "(no error)"},
        KeyedCase{"LineJustOver", parseLine, flood("[StartPos]\r\n5", kMaxLinesPerFile),
                  kLineError + "other:\n" + kTooManyLines},
        KeyedCase{"TrainJustUnder", parseTrain, flood("[Power]\n4", kMaxLinesPerFile - 1, "\r\n"),
                  "(no error)"},
        KeyedCase{"TrainJustOver", parseTrain, flood("[Power]\n4", kMaxLinesPerFile, "\r\n"),
                  std::string("車両ファイルに誤りがあります- 列車の基本設定:") + kTooManyLines},
        KeyedCase{"SettingsJustUnder", parseSettings, flood("", kMaxLinesPerFile), "(no error)"},
        KeyedCase{"SettingsJustOver", parseSettings, flood("", kMaxLinesPerFile + 1),
                  std::string("stringファイルに誤りがあります\ndravolin.dat:") + kTooManyLines},
        // The controller map stops at its 27th line however long the file is.
        KeyedCase{"MasconFlood", parseMascon, flood("", 5'000'000),
                  std::string("mascon.datに誤りがあります:コードは26行までです")}),
    [](const ::testing::TestParamInfo<KeyedCase>& info) { return info.param.name; });

TEST(KeyedFileWork, EmptyLinesAreNeverComparedWithKeys) {
  KeyedFile f(flood("[A]\n1", kMaxLinesPerFile - 2),
              [](const KeyedFile&, const Detail&) { return LoadError(msg::plainText("x")); });
  int lines = 0;
  while (!f.atEnd()) {
    f.next();
    ++lines;
    for (const char* key : {"[A]", "[B]", "[C]", "[D]", "[E]"}) {
      if (f.isKey(key)) f.next();
    }
  }
  EXPECT_EQ(lines, static_cast<int>(kMaxLinesPerFile) - 2);  // "1" is consumed by "[A]"
  EXPECT_EQ(f.keyComparisons(), 1u);  // only "[A]" is compared, once, before it matches
}

// --- files and names on disk ---

class DiskBudgets : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("dravolin_hostile_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_ / "a" / "b" / "Sub");
    fs::create_directories(dir_ / "Shared");
    std::ofstream(dir_ / "Shared" / "Lamp.bmp") << "x";
    ctx_.dataDir = dir_ / "a" / "b";
  }
  void TearDown() override { fs::remove_all(dir_); }

  // A sparse file of `size` bytes in the data folder.
  void sized(const std::string& name, std::uintmax_t size) {
    std::ofstream(ctx_.dataDir / name) << "";
    fs::resize_file(ctx_.dataDir / name, size);
  }

  fs::path dir_;
  LoadContext ctx_;
};

TEST_F(DiskBudgets, FileSizeIsCheckedBeforeReading) {
  sized("under.dat", kMaxDataFileBytes);
  sized("over.dat", kMaxDataFileBytes + 1);
  EXPECT_EQ(ctx_.readDataFile("under.dat")->size(), kMaxDataFileBytes);
  EXPECT_EQ(errorOf([&] { ctx_.readDataFile("over.dat"); }), "over.datが大きすぎます（最大8MiB）");
  sized("mascon.dat", kMaxDataFileBytes + 1);
  EXPECT_EQ(errorOf([&] { readControllerMap(ctx_); }), "mascon.datが大きすぎます（最大8MiB）");
}

TEST_F(DiskBudgets, DotDotClimbsToSharedFolders) {
  EXPECT_EQ(fs::canonical(ctx_.resolve("..\\..\\shared\\LAMP.BMP")),
            fs::canonical(dir_ / "Shared" / "Lamp.bmp"));
}

struct NameCase {
  std::string name;
  std::string rawName;
  bool accepted;
};

class NameBudgets : public DiskBudgets, public ::testing::WithParamInterface<NameCase> {};

TEST_P(NameBudgets, LengthAndComponents) {
  const std::string raw = GetParam().rawName;
  const std::string message = errorOf([&] { ctx_.resolve(raw); });
  if (GetParam().accepted) {
    EXPECT_EQ(message, "(no error)");
    // The lookup's work is linear in the name: a few units a byte, whatever the depth.
    std::uint64_t work = 0;
    resolveDataPath(ctx_.dataDir, raw, &work);
    EXPECT_LE(work, 8 * raw.size() + 8 * ctx_.dataDir.native().size() + 64);
  } else {
    EXPECT_EQ(message.rfind("ファイル名が長すぎます（最大1024バイト、64階層）:", 0), 0u) << message;
    EXPECT_LT(message.size(), 400u);  // the name shown is cut short
  }
}

std::string repeat(std::string_view part, std::size_t times) {
  std::string out;
  for (std::size_t i = 0; i < times; ++i) out += part;
  return out;
}

INSTANTIATE_TEST_SUITE_P(
    Hostile, NameBudgets,
    ::testing::Values(
        NameCase{"ComponentsJustUnder", repeat("..\\", kMaxNameComponents - 1) + "x.bmp", true},
        NameCase{"ComponentsJustOver", repeat("..\\", kMaxNameComponents) + "x.bmp", false},
        NameCase{"CaseFoldedDepth", repeat("SUB\\..\\", 30) + "..\\..\\SHARED\\lamp.bmp", true},
        NameCase{"BytesJustUnder", std::string(kMaxNameBytes, 'n'), true},
        NameCase{"BytesJustOver", std::string(kMaxNameBytes + 1, 'n'), false},
        NameCase{"HundredThousandDotDots", repeat("..\\", 100'000) + "x.bmp", false}),
    [](const ::testing::TestParamInfo<NameCase>& info) { return info.param.name; });

// --- pixels of one drive ---

struct PixelCase {
  std::string name;
  std::function<void(std::string, LoadContext&)> parse;
  std::string bytes;
  std::int64_t alreadyLoaded;  // pixels the drive holds before this file
  std::string message;
};

class PixelBudget : public ::testing::TestWithParam<PixelCase> {};

TEST_P(PixelBudget, CountsEveryPictureOfTheDrive) {
  testing::FakePictureLoader pictures;
  pictures.add("p.bmp", 100, 50);
  pictures.add("big.bmp", 4096, 4096);  // a quarter of the budget
  LoadContext ctx;
  ctx.pictures = &pictures;
  ctx.pixelsLoaded = GetParam().alreadyLoaded;
  EXPECT_EQ(errorOf([&] { GetParam().parse(GetParam().bytes, ctx); }), GetParam().message);
}

const std::string kOverPixels = "画像が大きすぎます（1回の運転で合計67108864画素まで）:p.bmp";

INSTANTIATE_TEST_SUITE_P(
    Hostile, PixelBudget,
    ::testing::Values(
        PixelCase{"SignImagesJustUnder", parseLine,
                  crlf({"[SignImageList]", "p.bmp", "p.bmp", "#"}), kMaxDrivePixels - 10000,
                  "(no error)"},
        PixelCase{"SignImagesJustOver", parseLine, crlf({"[SignImageList]", "p.bmp", "p.bmp", "#"}),
                  kMaxDrivePixels - 9999, kOverPixels},
        PixelCase{"IndicatorJustUnder", parseTrain, crlf({"[NotchImageP]", "0", "0", "p.bmp", "#"}),
                  kMaxDrivePixels - 5000, "(no error)"},
        PixelCase{"IndicatorJustOver", parseTrain, crlf({"[NotchImageB]", "0", "0", "p.bmp", "#"}),
                  kMaxDrivePixels - 4999, kOverPixels},
        // The same picture named again and again is counted each time it is loaded.
        PixelCase{"OnePictureManyTimes", parseLine,
                  "[SignalImageList]\r\n" + repeat("big.bmp\r\n", 5) + "#\r\n", 0,
                  "画像が大きすぎます（1回の運転で合計67108864画素まで）:big.bmp"}),
    [](const ::testing::TestParamInfo<PixelCase>& info) { return info.param.name; });

}  // namespace
}  // namespace dravolin::data
