#include "drive/startup.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>

#include "data/load_error.h"
#include "data/text_encoding.h"
#include "fixtures/fake_sound_slots.h"
#include "platform/file_picture_loader.h"

namespace dravolin::drive {
namespace {

namespace fs = std::filesystem;

// Remembers which wave (by its file) each slot was given, and the output format.
class SlotRecorder : public testing::FakeSoundSlots {
 public:
  void assign(int slot, WaveId wave) override {
    FakeSoundSlots::assign(slot, wave);
    slotFile[slot] = wave == kNoWave ? "" : loaded[static_cast<std::size_t>(wave)];
  }
  void setOutputFormat(int rate, int bits, bool stereo) override {
    format = std::to_string(rate) + "/" + std::to_string(bits) + (stereo ? "/stereo" : "/mono");
  }
  std::string fileOf(int slot) const {
    const auto it = slotFile.find(slot);
    if (it == slotFile.end()) return "(not assigned)";
    return it->second.substr(it->second.find_last_of('/') + 1);
  }
  std::map<int, std::string> slotFile;
  std::string format;
};

class FakeVideo : public platform::VideoReader {
 public:
  bool open(const std::string& path) override {
    opened = path;
    return frames >= 0;
  }
  int frameCount() const override { return frames; }
  int width() const override { return 480; }
  int height() const override { return 240; }
  bool getFrame(int, platform::Bitmap&) override { return false; }
  bool getViewFrame(int, const platform::VideoView&, platform::ViewPicture&) override {
    return false;
  }
  std::string opened;
  int frames = 1234;
};

// A scratch copy of the sample drive that a test may change.
class Startup : public ::testing::Test {
 public:
  void SetUp() override {
    const char* env = std::getenv("DRAVOLIN_FIXTURES");
    const fs::path fixtures = env && *env ? fs::path(env) : fs::path(DRAVOLIN_FIXTURES_DIR);
    dir_ = fs::temp_directory_path() /
           ("dravolin_startup_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::copy(fixtures / "drive", dir_, fs::copy_options::recursive);
  }
  void TearDown() override { fs::remove_all(dir_); }

  // Replaces `from` by `to` (UTF-8, written in Shift-JIS) in the file `name`.
  void edit(const std::string& name, const std::string& from, const std::string& to) {
    std::ifstream in(dir_ / name, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), {});
    const std::string f = data::utf8ToCp932(from);
    const std::size_t at = bytes.find(f);
    ASSERT_NE(at, std::string::npos) << from;
    bytes.replace(at, f.size(), data::utf8ToCp932(to));
    std::ofstream(dir_ / name, std::ios::binary) << bytes;
  }
  static std::string lines(const std::string& format, int n) {
    std::string out;
    for (int i = 0; i < n; ++i) out += format + std::to_string(i) + ".wav\r\n";
    return out;
  }

  DriveData load() {
    shown.clear();
    return loadDriveData({dir_, "test_train.dat", "test_line.dat"}, {pictures, sounds, &video},
                         [this](const std::string& text) { shown.push_back(text); });
  }
  std::string errorOf() {
    try {
      load();
    } catch (const data::LoadError& e) {
      return e.message();
    }
    return "(no error)";
  }

  fs::path dir_;
  platform::FilePictureLoader pictures;
  SlotRecorder sounds;
  FakeVideo video;
  std::vector<std::string> shown;
};

// A picture component as "left,top WxH", then "hidden" and "clear" (transparent) when so.
std::string show(const sim::CabPicture& p) {
  if (!p.exists) return "none";
  return std::to_string(p.left) + "," + std::to_string(p.top) + " " + std::to_string(p.width) +
         "x" + std::to_string(p.height) + (p.visible ? "" : " hidden") +
         (p.transparent ? " clear" : "");
}

TEST_F(Startup, BuildsTheSampleDrive) {
  const DriveData d = load();
  EXPECT_EQ(shown, (std::vector<std::string>{
                       "設定ファイルを読み込んでいます", "運転台を描画しています",
                       "DirectSoundオブジェクトを作成しています", "サウンドを読み込んでいます",
                       "環境をセットアップしています"}));
  // Stations of types 0, 1, 2: the last one never gets an entry.
  ASSERT_EQ(d.stationMenu.size(), 1u);
  EXPECT_EQ(d.stationMenu[0].name + d.stationMenu[0].captionUtf8, "Sta0ソ表駅");

  const sim::CabModel& c = d.cab;
  EXPECT_EQ(show(c.Panel), "0,240 64x20");
  EXPECT_EQ(show(c.Panel2), "0,0 0x0 hidden");  // no file: no picture
  EXPECT_EQ(show(c.Lamp_EB), "0,0 0x0 hidden");
  EXPECT_EQ(show(c.Lamp_P) + " " + show(c.Lamp_B), "400,300 40x20 clear 450,300 40x20 clear");
  EXPECT_EQ(show(c.Staf), "640,0 20x44");
  EXPECT_EQ(std::vector<int>({c.NotchImageP.count(), c.NotchImageB.count(), c.GearImageList.count(),
                              c.SignalImages.count(), c.SignImages.count(), c.OtherImages.count()}),
            std::vector<int>({3, 1, 0, 3, 2, 1}));
  EXPECT_FALSE(c.clock.exists || c.Needle_Speed.exists);
  EXPECT_EQ(c.CarsLabel.text + c.GearLabel.text + c.Label4.text + c.Label1.text, "4両変ソ表駅前");
  EXPECT_FALSE(c.GearLabel.visible);  // an electric train

  // A four-position brake starts at emergency (position 4) with the emergency pressure.
  EXPECT_EQ(std::vector<long long>({d.state.BrakeHandle, d.state.BrakeNotch,
                                    d.state.BrakePressure.raw(), d.state.MrPressure.raw(),
                                    d.state.FrameIndex, d.state.ClockTicks, d.state.ScheduleFrame}),
            std::vector<long long>({-4, -4, 4400000, 8800000, 100, 972000, 250}));

  EXPECT_EQ(d.videoFrameCount, 1234);
  EXPECT_EQ(fs::path(video.opened), dir_ / "move" / "test.avi");

  // Slots: 2 drive, 2 line, 29 announcements, 1 other indication, 1 motor sound.
  EXPECT_EQ(sounds.loaded.size(), 35u);
  const std::map<int, std::string> expected = {
      {0, "ソ表.wav"},    {1, "brake.wav"},    {2, "run.wav"},     {3, "表.wav"},
      {4, "kanko00.wav"}, {31, "kanko27.wav"}, {32, "depart.wav"}, {33, "other.wav"},
      {34, ""},           {200, "motor.wav"},  {201, ""}};
  for (const auto& [slot, file] : expected) EXPECT_EQ(sounds.fileOf(slot), file) << slot;
  const auto stopped = [&](int slot) {
    return std::count(sounds.log.begin(), sounds.log.end(), "stop " + std::to_string(slot));
  };
  EXPECT_EQ(std::vector<long>({stopped(0), stopped(32), stopped(33), stopped(200)}),
            std::vector<long>({1, 1, 0, 1}));  // other-indication slots are left alone
  EXPECT_EQ(sounds.format, "22050/8/mono");
}

// A line with 10 drive sounds, 20 line sounds, no "[KankoSound2]", 3 other indications and four
// stations of types 0, 1, 2, 0; a train with a clock, a door lamp, two needles and six extra
// images; no timetable card.
TEST_F(Startup, BuildsAVariantDrive) {
  edit("test_train.dat", "sound\\ソ表.wav\r\nsound\\brake.wav\r\n",
       lines("sound\\d", 4) + "\r\n" + lines("sound\\e", 5));
  edit("test_line.dat", "sound\\run.wav\r\nsound\\表.wav\r\n", lines("sound\\s", 20));
  edit("test_line.dat", "[KankoSound2]", "[NoKanko]");
  edit("test_line.dat", "sound\\other.wav\r\n",
       "sound\\o0.wav\r\nimage\\other.bmp\r\nsound\\o1.wav\r\nimage\\other.bmp\r\nsound\\o2."
       "wav\r\n");
  edit("test_line.dat", "973300\r\n", "973300\r\n終点,0,850,870,0,0,0\r\n");
  edit("test_line.dat", "image\\staf.bmp", "");
  std::string others;
  for (int i = 0; i < 6; ++i) others += "image\\p0.bmp\r\n" + std::to_string(10 * i) + "\r\n5\r\n";
  edit("test_train.dat", "[Panel]",
       "[Clock]\r\n100\r\n80\r\n20\r\n[Lamp_Door]\r\nimage\\b0.bmp\r\n7\r\n8\r\n"
       "[Needle_Speed]\r\nimage\\p1.bmp\r\n1\r\n2\r\n30\r\n40\r\n-120\r\n1.5\r\n"
       "[Needle_BC]\r\n\r\n1\r\n2\r\n30\r\n40\r\n0\r\n1\r\n[Others]\r\n" +
           others + "#\r\n[Panel]");
  video.frames = -1;  // a video that cannot be opened shows no picture
  const DriveData d = load();
  EXPECT_EQ(d.videoFrameCount, -1);

  EXPECT_EQ(std::vector<int>({d.sounds.D, d.sounds.S, d.sounds.K, d.sounds.O, d.sounds.M}),
            std::vector<int>({10, 20, 0, 3, 1}));
  EXPECT_EQ(sounds.fileOf(4), "");  // an unnamed sound leaves its slot empty
  EXPECT_EQ(sounds.fileOf(9) + sounds.fileOf(29) + sounds.fileOf(30) + sounds.fileOf(32),
            "e4.wavs19.wavo0.wavo2.wav");
  EXPECT_EQ(sounds.loaded.size(), 33u);  // no unnamed wave, no announcement without a slot

  ASSERT_EQ(d.stationMenu.size(), 2u);
  EXPECT_EQ(d.stationMenu[0].name + d.stationMenu[1].name + d.stationMenu[1].captionUtf8,
            "Sta0Sta2予十");

  const sim::CabModel& c = d.cab;
  EXPECT_EQ(std::vector<int>({c.clock.exists, c.clock.left, c.clock.top, c.clock.handLength}),
            std::vector<int>({1, 75, 55, 20}));
  EXPECT_EQ(show(c.Lamp_Door), "7,8 40x20 clear");
  ASSERT_TRUE(c.Needle_Speed.exists);
  EXPECT_EQ(std::vector<int>({c.Needle_Speed.width, c.Needle_Speed.height, c.Needle_Speed.zeroAngle,
                              c.Needle_Speed.bitmap.width}),
            std::vector<int>({30, 40, -120, 40}));
  EXPECT_EQ(c.Needle_Speed.anglePerUnit, 1.5L);
  EXPECT_FALSE(c.Needle_BC.exists);  // a needle without a bitmap does not exist
  ASSERT_EQ(c.Others.size(), 6u);
  EXPECT_EQ(show(c.Others[4]) + " " + show(c.Others[5]),
            "40,5 40x20 clear 50,5 40x20 hidden clear");
  EXPECT_EQ(show(c.Staf), "none");
}

// Each fault ends the loading with its message after the progress texts shown so far.
TEST_F(Startup, FaultsEndTheLoading) {
  struct Case {
    const char* what;
    std::function<void(Startup&)> change;
    std::string message;
    std::size_t shown;
  };
  const std::string tooMany = "DirectSoundの割り当てに失敗しました。256チャンネルを超えています。";
  const Case cases[] = {
      {"overlay", [](Startup& t) { fs::remove(t.dir_ / "image" / "atsp.bmp"); },
       "image\\atsp.bmpが見つかりません", 0},
      {"mascon", [](Startup& t) { fs::remove(t.dir_ / "mascon.dat"); },
       "mascon.datが見つかりません", 1},
      {"panel", [](Startup& t) { fs::remove(t.dir_ / "image" / "panel.bmp"); },
       "image\\panel.bmpが見つかりません", 2},
      {"57 motor sounds",
       [](Startup& t) {
         std::string motor;
         for (int i = 0; i < 57; ++i)
           motor += "sound\\m.wav\r\n0\r\n0\r\n100\r\n1\r\n1\r\n1\r\n1\r\n";
         t.edit("test_train.dat", "sound\\motor.wav\r\n0\r\n0\r\n100\r\n0.5\r\n1.5\r\n0.2\r\n1\r\n",
                motor);
       },
       tooMany, 3},
  };
  for (const Case& c : cases) {
    SetUp();
    c.change(*this);
    EXPECT_EQ(errorOf(), c.message) << c.what;
    EXPECT_EQ(shown.size(), c.shown) << c.what;
  }
}

TEST(SoundLayoutCheck, SlotsStayWithinTheServiceAndBelowTheMotorSounds) {
  constexpr std::string_view kTooMany =
      "DirectSoundの割り当てに失敗しました。256チャンネルを超えています。";
  constexpr std::string_view kOverlap =
      "DirectSoundの割り当てに失敗しました。サウンドの数が多すぎてモーター音のチャンネル（200番から"
      "）"
      "と重なっています。";
  struct Case {
    SoundLayout layout;
    std::string_view message;  // empty: accepted
  };
  const Case cases[] = {
      {{10, 20, 0, 3, 56}, {}},  {{10, 20, 0, 3, 57}, kTooMany},
      {{200, 28, 28, 0, 0}, {}}, {{200, 29, 28, 0, 0}, kTooMany},
      {{150, 22, 28, 0, 1}, {}}, {{150, 22, 28, 1, 1}, kOverlap},
  };
  for (const Case& c : cases) {
    std::string message;
    try {
      checkSoundLayout(c.layout);
    } catch (const data::LoadError& e) {
      message = e.message();
    }
    EXPECT_EQ(message, c.message) << c.layout.D + c.layout.S + c.layout.K + c.layout.O;
  }
}

}  // namespace
}  // namespace dravolin::drive
