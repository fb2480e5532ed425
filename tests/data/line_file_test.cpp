#include "data/line_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <initializer_list>
#include <string>

#include "data/keyed_file.h"
#include "data/line_distances.h"
#include "fixtures/bmp_builder.h"
#include "fixtures/fake_picture_loader.h"
#include "platform/file_picture_loader.h"
#include "reader_test_support.h"

namespace dravolin::data {
namespace {

const std::string E = "路線ファイルに誤りがあります。";

using LineFileTest = ReaderTest<LineFile, parseLineFile>;

// Shift-JIS names: 東京 (93 8C 8B 9E), 表示 (95 5C 8E A6, a trail byte 0x5C) and ソ (83 5C).
const std::string kTokyo = "\x93\x8C\x8B\x9E";
const std::string kHyoji = "\x95\x5C\x8E\xA6";
const std::string kSo = "\x83\x5C";

std::string kankoSound1() {
  std::string out = "[KankoSound1]\r\n";
  for (int i = 0; i < 28; ++i) {
    out += "sound\\k" + std::to_string(i) + ".wav\r\n";
  }
  return out;
}

// A line with every key and list.
// clang-format off
const std::string kLine =
    crlf({"Test line, written by hand",
          "[LineName]", kTokyo + " line",
          "[StartPos]", "120",
          "[FrameRate]", "15",
          "[Staf]", "image\\staf.bmp", "image\\still.bmp",
          "[StartTime]", "972000",
          "[Speed_YY]", "25", "[Speed_Y]", "45", "[Speed_YG]", "65", "[Speed_G]", "120",
          "[DataName]", "line\\movie",
          "[Pre_Time]", "10",
          "[OneMan]", "1",
          "[SoundData]", "sound\\a.wav", "", "sound\\b.wav", "#",
          "[Announce]", "0,1", "2, 3", "#"}) +
    kankoSound1() +
    crlf({"[KankoSound2]", kHyoji, "sound\\k28.wav", "G", "sound\\k29.wav", "#",
          "[Sound]", ";frames 0 to 300", "1,0,300,60,1", "; second", "2, 10, 20, 1, 0", "#",
          "[Doppler]", "1,100,150,200", "#",
          "[Tunnel]", "400", "450", "#",
          "[Station]", kTokyo + ",0,140,160,2,972300,972450", kSo + ",1,400,500,0,0,0", "#",
          "[StopSound]", "155", "#",
          "[Signal]", "1," + kHyoji + ",2,50,100,110,150,0,972000", "#",
          "[Slope]", "-2.5,10,200", "#",
          "[Sign]", "3,20,40", "#",
          "[SpeedLimit]", "45,80,100,250", "#",
          "[SpeedCheck]", "60,90", "#",
          "[SignImageList]", "image\\sign.bmp", "#",
          "[OtherImageList]", "image\\other.bmp", "sound\\o.wav", "#",
          "[SignalImageList]", "image\\signal.bmp", "#",
          "[SpeedUnit]", "0,300,0,60", "300,600,60,60", "#"});
// clang-format on

TEST_F(LineFileTest, ReadsEveryKeyAndList) {
  pictures.add("sign.bmp", 50, 50);
  pictures.add("other.bmp", 100, 50);
  pictures.add("signal.bmp", 50, 100);
  const LineFile l = parse(kLine);

  EXPECT_EQ(l.lineName, kTokyo + " line");
  EXPECT_EQ(l.lineNameUtf8, "東京 line");
  EXPECT_EQ(l.params.StartPos, 120);
  EXPECT_EQ(l.params.FrameRate, 15);
  EXPECT_EQ(l.timetableImageFile, "image\\staf.bmp");
  EXPECT_EQ(l.stillImageFile, "image\\still.bmp");
  EXPECT_EQ(l.params.StartTime, 972000);
  EXPECT_EQ(l.speedYY, 25);
  EXPECT_EQ(l.speedY, 45);
  EXPECT_EQ(l.speedYG, 65);
  EXPECT_EQ(l.speedG, 120);
  EXPECT_EQ(l.dataName, "line\\movie");
  EXPECT_EQ(l.preTimeSeconds, 10);
  EXPECT_EQ(l.params.PreTimeFrames, 300);
  EXPECT_EQ(l.oneMan, 1);

  EXPECT_EQ(l.soundData, (std::vector<std::string>{"sound\\a.wav", "", "sound\\b.wav"}));
  ASSERT_EQ(l.announce.size(), 2u);
  EXPECT_EQ(l.announce[1].sound, 2);
  EXPECT_EQ(l.announce[1].value, 3);
  EXPECT_EQ(l.kankoSound1[0], "sound\\k0.wav");
  EXPECT_EQ(l.kankoSound1[27], "sound\\k27.wav");
  ASSERT_EQ(l.kankoSound2.size(), 2u);
  EXPECT_EQ(l.kankoSound2[0].text, kHyoji);
  EXPECT_EQ(l.kankoSound2[0].textUtf8, "表示");
  EXPECT_EQ(l.kankoSound2[1].soundFile, "sound\\k29.wav");
  EXPECT_EQ(l.announcementCount, 30);

  // The two remark lines of "[Sound]" are no records.
  ASSERT_EQ(l.sounds.size(), 2u);
  EXPECT_EQ(l.sounds[0].endFrame, 300);
  EXPECT_EQ(l.sounds[0].referenceSpeed, 60);
  EXPECT_EQ(l.sounds[1].sound, 2);
  EXPECT_EQ(l.sounds[1].mode, 0);
  ASSERT_EQ(l.dopplers.size(), 1u);
  EXPECT_EQ(l.dopplers[0].passFrame, 150);
  ASSERT_EQ(l.tunnels.size(), 1u);
  EXPECT_EQ(l.tunnels[0].firstFrame, 400);
  EXPECT_EQ(l.tunnels[0].lastFrame, 450);

  ASSERT_EQ(l.stations.size(), 2u);
  EXPECT_EQ(l.stations[0].nameUtf8, "東京");
  EXPECT_EQ(l.stations[0].type, 0);
  EXPECT_EQ(l.stations[0].rangeStart, 140);
  EXPECT_EQ(l.stations[0].rangeEnd, 160);
  EXPECT_EQ(l.stations[0].departureSound, 2);
  EXPECT_EQ(l.stations[0].departureSoundTime, 972300);
  EXPECT_EQ(l.stations[0].departureTime, 972450);
  EXPECT_EQ(l.stations[1].name, kSo);
  EXPECT_EQ(l.stations[1].nameUtf8, "ソ");
  EXPECT_EQ(l.stopSoundFrames, std::vector<int>{155});

  ASSERT_EQ(l.signals.size(), 1u);
  const SignalRecord& s = l.signals[0];
  EXPECT_EQ(s.control, 1);
  EXPECT_EQ(s.name, kHyoji);
  EXPECT_EQ(s.nameUtf8, "表示");
  EXPECT_EQ(s.kind, 2);
  EXPECT_EQ(s.displayFromFrame, 50);
  EXPECT_EQ(s.boundaryFrame, 100);
  EXPECT_EQ(s.transponderFrame, 110);
  EXPECT_EQ(s.checkFrame, 150);
  EXPECT_EQ(s.fixedState, 0);
  EXPECT_EQ(s.until, 972000);

  ASSERT_EQ(l.slopes.size(), 1u);
  EXPECT_EQ(l.slopes[0].gradient.raw(), -25000);
  EXPECT_EQ(l.slopes[0].toFrame, 200);
  ASSERT_EQ(l.signs.size(), 1u);
  EXPECT_EQ(l.signs[0].image, 3);
  ASSERT_EQ(l.speedLimits.size(), 1u);
  EXPECT_EQ(l.speedLimits[0].limit, 45);
  EXPECT_EQ(l.speedLimits[0].announceFrame, 80);
  EXPECT_EQ(l.speedLimits[0].startFrame, 100);
  EXPECT_EQ(l.speedLimits[0].endFrame, 250);
  ASSERT_EQ(l.speedChecks.size(), 1u);
  EXPECT_EQ(l.speedChecks[0].speed, 60);
  EXPECT_EQ(l.speedChecks[0].frame, 90);

  EXPECT_EQ(l.signImages.images.size(), 1u);
  ASSERT_EQ(l.otherImageRecords.size(), 1u);
  EXPECT_EQ(l.otherImageRecords[0].soundFile, "sound\\o.wav");
  EXPECT_EQ(l.otherImages.images.size(), 1u);
  EXPECT_EQ(l.signalImages.images.size(), 1u);
  EXPECT_EQ(pictures.requested, (std::vector<std::string>{"/nonexistent/data/image/sign.bmp",
                                                          "/nonexistent/data/image/other.bmp",
                                                          "/nonexistent/data/image/signal.bmp"}));

  ASSERT_EQ(l.params.SpeedUnit.size(), 2u);
  EXPECT_EQ(l.params.SpeedUnit[1].startFrame, 300);
  EXPECT_EQ(l.params.SpeedUnit[1].endSpeed, 60);
  // Every line runs the label through to the last list key.
  EXPECT_EQ(ctx.sectionLabel, "[SpeedUnit]");
}

TEST_F(LineFileTest, DerivedDataOfTheWholeFile) {
  pictures.add("sign.bmp", 50, 50);
  pictures.add("other.bmp", 100, 50);
  pictures.add("signal.bmp", 50, 100);
  LineFile l = parse(kLine);
  computeLineDistances(l);
  EXPECT_EQ(l.params.SpeedUnit[0].endDistance, 8333);
  EXPECT_EQ(l.params.SpeedUnit[1].endDistance, 25000);
  // The signal at 150 (2083 cm), then the limit at 100 (926 cm).
  EXPECT_EQ(l.checkPoints, (std::vector<CheckPoint>{{2083, 0, 0}, {926, 45, 0}}));
  EXPECT_EQ(l.stations[0].stopDistance, 2083);
  EXPECT_EQ(l.stations[1].stopDistance, 0);  // a passing station has none
}

TEST_F(LineFileTest, LfLineEndsAndCrLfReadTheSame) {
  pictures.add("sign.bmp", 50, 50);
  pictures.add("other.bmp", 100, 50);
  pictures.add("signal.bmp", 50, 100);
  std::string lf = kLine;
  for (std::size_t at; (at = lf.find("\r\n")) != std::string::npos;) {
    lf.erase(at, 1);
  }
  const LineFile a = parse(kLine);
  const LineFile b = parse(lf);
  EXPECT_EQ(b.lineName, a.lineName);
  EXPECT_EQ(b.stations[0].line, a.stations[0].line);
  EXPECT_EQ(b.kankoSound1, a.kankoSound1);
  EXPECT_EQ(b.params.SpeedUnit.size(), 2u);
  EXPECT_EQ(b.announcementCount, 30);
}

TEST_F(LineFileTest, NoKankoSound2LeavesTheAnnouncementCountAtZero) {
  EXPECT_EQ(parse(kankoSound1()).announcementCount, 0);
  EXPECT_EQ(parse(crlf({"[KankoSound2]", "#"})).announcementCount, 28);
}

TEST_F(LineFileTest, ASecondListKeyStartsTheListAfresh) {
  const LineFile l = parse(crlf(
      {"[Station]", "A,0,1,2,0,0,0", "B,0,3,4,0,0,0", "#", "[Station]", "C,2,5,6,0,0,0", "#"}));
  ASSERT_EQ(l.stations.size(), 1u);
  EXPECT_EQ(l.stations[0].name, "C");
  EXPECT_EQ(l.stations[0].type, 2);
}

TEST_F(LineFileTest, ImageListsAppendAndCutStripsIntoCells) {
  pictures.add("sign.bmp", 50, 50);
  pictures.add("strip.bmp", 160, 60);  // three 50 x 50 cells and a 10 pixel remainder
  pictures.add("small.bmp", 30, 20);
  pictures.add("\xE3\x82\xBD.bmp", 50, 50);  // ソ.bmp on disk, in UTF-8
  const LineFile l = parse(crlf({"[SignImageList]", "sign.bmp", "strip.bmp", "#", "[SignImageList]",
                                 "image\\" + kSo + ".bmp", "small.bmp", "#"}));
  // The trail byte 0x5C of ソ is no separator.
  EXPECT_EQ(pictures.requested[2], "/nonexistent/data/image/ソ.bmp");
  // The record count is that of the last key; the pictures of both stay.
  EXPECT_EQ(l.signImageFiles.size(), 2u);
  ASSERT_EQ(l.signImages.images.size(), 6u);
  EXPECT_EQ(l.signImages.images[1].width, 50);
  EXPECT_EQ(l.signImages.images[1].height, 50);
  EXPECT_EQ(l.signImages.images[5].width, 30);
  EXPECT_EQ(l.signImages.images[5].height, 20);
  // The work bitmap holds the last picture loaded, for the train file's indicator lists.
  EXPECT_EQ(ctx.workWidth, 30);
}

TEST(ImageList, CellsCopyTheirPartOfTheStrip) {
  platform::Bitmap strip;
  strip.width = 4;
  strip.height = 2;
  strip.pixels = {1, 2, 3, 4, 5, 6, 7, 8};
  ImageList list{2, 1, {}};
  list.add(strip);
  ASSERT_EQ(list.images.size(), 2u);
  EXPECT_EQ(list.images[0].pixels, (std::vector<std::uint32_t>{1, 2}));
  EXPECT_EQ(list.images[1].pixels, (std::vector<std::uint32_t>{3, 4}));
}

TEST_F(LineFileTest, LaterKeysAreTestedAgainstTheLastValueLine) {
  // "[LineName]" takes "[StartPos]" as its text; the "[StartPos]" test then sees that line and
  // takes the next one.
  const LineFile l = parse(crlf({"[LineName]", "[StartPos]", "77", "[OneMan] remark", "1"}));
  EXPECT_EQ(l.lineName, "[StartPos]");
  EXPECT_EQ(l.params.StartPos, 77);
  EXPECT_EQ(l.oneMan, 1);
}

TEST_F(LineFileTest, FieldsAreSplitOnRawBytesSkippingTrailBytes) {
  // 0x2C after a lead byte belongs to the character, so this name keeps its comma byte.
  const std::string odd = "\x81\x2C" + kSo;
  const LineFile l = parse(crlf({"[Station]", odd + ",0,1,3,0,0,0", "#"}));
  ASSERT_EQ(l.stations.size(), 1u);
  EXPECT_EQ(l.stations[0].name, odd);
  EXPECT_EQ(l.stations[0].rangeEnd, 3);
}

struct MessageCase {
  std::string name;
  std::string file;
  std::string message;
};

class LineFileMessages : public LineFileTest, public ::testing::WithParamInterface<MessageCase> {};

TEST_P(LineFileMessages, EndsWithTheExactMessage) {
  pictures.add("ok.bmp", 50, 50);
  EXPECT_EQ(errorOf(GetParam().file), GetParam().message);
}

std::string repeated(std::string_view key, std::string_view record, int count) {
  std::string out = std::string(key) + "\r\n";
  for (int i = 0; i < count; ++i) {
    out += std::string(record) + "\r\n";
  }
  return out + "#\r\n";
}

INSTANTIATE_TEST_SUITE_P(
    Faults, LineFileMessages,
    ::testing::Values(
        MessageCase{"StationWithOnlyItsName", crlf({"[Station]", kTokyo, "#"}),
                    E + "[Station]:東京"},
        MessageCase{"BlankAfterACommaIsAccepted",
                    crlf({"[SpeedCheck]", "60, 90", "#", "[Tunnel]", "1", "x", "#"}),
                    E + "[Tunnel]:x"},
        MessageCase{"BlankBeforeACommaIsNot", crlf({"[SpeedCheck]", "60 ,90", "#"}),
                    E + "[SpeedCheck]:60 ,90"},
        MessageCase{"RemarkOutsideSoundIsARecord", crlf({"[Doppler]", ";note", "#"}),
                    E + "[Doppler]:;note"},
        MessageCase{"SingleKeysReportOther", crlf({"[StartPos]", "12a"}), E + "other:12a"},
        MessageCase{"NonNumericSlope", crlf({"[Slope]", "steep,1,2", "#"}),
                    E + "[Slope]:steep,1,2"},
        MessageCase{"SignalWithEightFields", crlf({"[Signal]", "1,A,2,3,4,5,6,7", "#"}),
                    E + "[Signal]:1,A,2,3,4,5,6,7"},
        MessageCase{"PictureThatCannotBeLoaded",
                    crlf({"[OtherImageList]", "ok.bmp", "o.wav", "image\\gone.bmp", "o.wav", "#"}),
                    E + "[OtherImageList]:image\\gone.bmp"},
        MessageCase{"FrameRateZero", crlf({"[FrameRate]", "0"}),
                    E + "other:0\n[FrameRate]は1から30までの整数で指定してください"},
        MessageCase{"FrameRateAboveThirty", crlf({"[FrameRate]", "31"}),
                    E + "other:31\n[FrameRate]は1から30までの整数で指定してください"},
        MessageCase{"PreTimeOverflows", crlf({"[Pre_Time]", "100000000"}),
                    E + "other:100000000\n[Pre_Time]の値が大きすぎます"},
        // The end of the file inside a list of names, or inside a record, is an error.
        MessageCase{"SoundDataNotClosed", crlf({"[SoundData]", "a.wav"}),
                    E + "[SoundData]:\n" +
                        std::string("「#」で始まる行がないままファイルが終わっています")},
        MessageCase{"KankoSound2CutInARecord", crlf({"[KankoSound2]", "R"}),
                    E + "[KankoSound2]:\n" +
                        std::string("「#」で始まる行がないままファイルが終わっています")},
        MessageCase{"SignalImageListNotClosed", crlf({"[SignalImageList]", "ok.bmp"}),
                    E + "[SignalImageList]:\n" +
                        std::string("「#」で始まる行がないままファイルが終わっています")},
        MessageCase{"KankoSound1Short", "[KankoSound1]\r\na.wav\r\n",
                    E + "[KankoSound1]:\n値の行がないままファイルが終わっています"},
        MessageCase{"StafWithoutSecondLine", "[Staf]\r\nt.bmp\r\n",
                    E + "other:\n値の行がないままファイルが終わっています"},
        // A numeric single key as the last line explains itself like a text key.
        MessageCase{"StartTimeAtTheEnd", "[StartTime]\r\n",
                    E + "other:\n値の行がないままファイルが終わっています"},
        MessageCase{"FrameRateAtTheEnd", "[LineName]\r\nL\r\n[FrameRate]",
                    E + "other:\n値の行がないままファイルが終わっています"},
        MessageCase{"SpeedUnitNotClosed", crlf({"[SpeedUnit]", "0,300,0,60"}), E + "[SpeedUnit]:"},
        // More records than a table holds.
        MessageCase{"TooManySoundData", repeated("[SoundData]", "s.wav", 502),
                    E + "[SoundData]:s.wav\n指定が多すぎます（最大501個）"},
        MessageCase{"TooManySpeedUnits", repeated("[SpeedUnit]", "0,1,2,3", 502),
                    E + "[SpeedUnit]:0,1,2,3\n指定が多すぎます（最大501個）"},
        MessageCase{"TooManyKankoSound2", repeated("[KankoSound2]", "t\r\nk.wav", 474),
                    E + "[KankoSound2]:t\n指定が多すぎます（最大473個）"},
        MessageCase{"TooManyOtherImages", repeated("[OtherImageList]", "ok.bmp\r\no.wav", 101),
                    E + "[OtherImageList]:ok.bmp\n指定が多すぎます（最大100個）"}),
    [](const ::testing::TestParamInfo<MessageCase>& info) { return info.param.name; });

TEST_F(LineFileTest, TablesHoldExactlyTheirRoom) {
  EXPECT_EQ(parse(repeated("[Signal]", "0,S,0,0,0,0,0,0,0", 501)).signals.size(), 501u);
  EXPECT_EQ(parse(repeated("[KankoSound2]", "t\r\nk.wav", 473)).announcementCount, 501);
}

TEST_F(LineFileTest, MissingFileNamesItself) {
  ctx.sectionLabel = "- 列車の基本設定";
  try {
    readLineFile("none_line.dat", ctx);
    FAIL() << "no error";
  } catch (const LoadError& e) {
    EXPECT_EQ(e.message(), E + "- 列車の基本設定:\nnone_line.datが見つかりません");
  }
}

TEST(LineFileOnDisk, ReadsRealBitmapsThroughResolvedNames) {
  namespace fs = std::filesystem;
  const fs::path dir = fs::path(::testing::TempDir()) / "line_file_on_disk";
  fs::remove_all(dir);
  fs::create_directories(dir / "Image");
  testing::writeFile((dir / "Image" / "Signal.BMP").string(),
                     testing::makeSolidBmp(100, 100, 0x00FF00));
  testing::writeFile((dir / "Line.dat").string(),
                     {'[', 'S', 'i', 'g',  'n',  'a', 'l', 'I',  'm',  'a', 'g',  'e', 'L', 'i',
                      's', 't', ']', '\r', '\n', 'i', 'm', 'a',  'g',  'e', '\\', 's', 'i', 'g',
                      'n', 'a', 'l', '.',  'b',  'm', 'p', '\r', '\n', '#', '\r', '\n'});
  platform::FilePictureLoader loader;
  LoadContext ctx;
  ctx.dataDir = dir;
  ctx.pictures = &loader;
  const LineFile l = readLineFile("line.dat", ctx);
  // A 100 x 100 picture is two 50 x 100 signal cells.
  ASSERT_EQ(l.signalImages.images.size(), 2u);
  EXPECT_EQ(l.signalImages.images[1].pixel(49, 99), 0xFF00FF00u);
  fs::remove_all(dir);
}

}  // namespace
}  // namespace dravolin::data
