// The rules that keep the user's files safe when a line is written: the station names the line
// file holds, where the line video may go, what of the trains folder is copied, which targets
// are refused, and that a refused or stopped write leaves nothing behind.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "author/line_folder.h"
#include "author/line_text.h"

namespace dravolin::author {
namespace {

namespace fs = std::filesystem;

struct NameCase {
  const char* given;
  const char* station;
};

// One rule for the tool and the window: nothing that would break the record or end the list.
TEST(StationName, IsMadeSafeForTheLineFile) {
  const std::string twenty = "一二三四五六七八九十一二三四五六七八九十";  // 40 bytes in CP932
  const std::vector<NameCase> cases = {
      {"#1 川辺", "＃1 川辺"},
      {"  #2", "＃2"},
      {"##", "＃#"},
      {"1# 川辺", "1# 川辺"},
      {"川辺,中町", "川辺、中町"},
      {"川\t辺\r\n", "川 辺"},
      {"\x7F駅前", "駅前"},
      {"\xC2\x85中町", "中町"},
      {"\xE3\x80\x80緑台\xE3\x80\x80", "緑台"},
      {"", "駅"},
      {" \t ", "駅"},
      {"[Station]", "[Station]"},
  };
  for (const NameCase& c : cases) {
    SCOPED_TRACE(c.given);
    EXPECT_EQ(stationName(c.given), c.station);
  }
  // Bounded in bytes of the line file's code page, cut at a character.
  EXPECT_EQ(stationName(twenty), twenty);
  EXPECT_EQ(stationName(twenty + "駅"), twenty);
  EXPECT_EQ(stationName("a" + twenty), "a" + twenty.substr(0, twenty.size() - 3));
  EXPECT_EQ(stationName(std::string(40, 'x')), std::string(40, 'x'));
  EXPECT_EQ(stationName(std::string(41, 'x')), std::string(40, 'x'));
  // The line's name: "[" first would read as a key; "#" is harmless in a value line.
  EXPECT_EQ(lineName("[Station] 線"), "［Station] 線");
  EXPECT_EQ(lineName("#7 線"), "#7 線");
  EXPECT_EQ(lineName(std::string(61, 'y')), std::string(60, 'y'));
  EXPECT_EQ(lineName(""), "路線");
}

struct PathCase {
  const char* raw;
  const char* folder;  // nullptr: refused
};

// The trains folder's "[Path]" takes the made line's video: only a folder inside it.
TEST(LineFolder, TheVideoGoesOnlyInsideTheFolder) {
  const std::vector<PathCase> cases = {
      {"move\\", "move/"},
      {"", ""},
      {"move\\sub\\", "move/sub/"},
      {"..move\\", "..move/"},
      {"/media/videos/", nullptr},
      {"\\videos\\", nullptr},
      {"C:\\videos\\", nullptr},
      {"..\\videos\\", nullptr},
      {"move\\..\\..\\x\\", nullptr},
      {"..", nullptr},
  };
  for (const PathCase& c : cases) {
    SCOPED_TRACE(c.raw);
    if (c.folder != nullptr) {
      EXPECT_EQ(videoFolderOf(c.raw, "demo/dravolin.dat"), c.folder);
    } else {
      try {
        videoFolderOf(c.raw, "demo/dravolin.dat");
        ADD_FAILURE() << "taken";
      } catch (const AuthorError& e) {
        EXPECT_NE(std::string(e.what()).find("demo/dravolin.dat: [Path]"), std::string::npos)
            << e.what();
      }
    }
  }
}

struct CopyCase {
  const char* file;
  bool ownTitle;
  bool copied;
};

TEST(LineFolder, OnlyWhatTheTrainsNeedIsCopied) {
  const std::vector<CopyCase> cases = {
      {"205_train.dat", true, true},
      {"dravolin.dat", true, true},
      {"sound/205/brake.wav", true, true},
      {"image/205/panel.BMP", true, true},
      {"readme.html", true, true},
      {"image/title/title.jpg", false, true},
      {"image/title/title.jpg", true, false},
      {"Image/Title/TITLE.JPG", true, false},
      {"E231_line2.dat", true, false},
      {"205_LINE.DAT", true, false},
      {"dravolin-author.txt", true, false},
      {"move/opening.avi", true, false},
      {"move/line.mp4", true, false},
      {"ride.MOV", true, false},
      {".generator", true, false},
  };
  for (const CopyCase& c : cases) {
    SCOPED_TRACE(c.file);
    EXPECT_EQ(copiedFromTrains(c.file, c.ownTitle), c.copied);
  }
}

class Folders : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() / ("dravolin_line_folder_" + std::to_string(::getpid()));
    fs::remove_all(root_);
    fs::create_directories(root_ / "demo" / "move");
    fs::create_directories(root_ / "footage");
    write(root_ / "demo" / "205_train.dat", "train");
    write(root_ / "footage" / "ride.mp4", std::string(4096, 'v'));
    write(root_ / "footage" / "ride.gpx", "<gpx/>");
  }
  void TearDown() override { fs::remove_all(root_); }
  static void write(const fs::path& p, const std::string& text) {
    std::ofstream(p, std::ios::binary) << text;
  }
  // What writeLineFolder says, or "" when it went through.
  std::string refusal(const fs::path& out) const {
    try {
      checkTarget(
          out, root_ / "demo",
          {(root_ / "footage" / "ride.mp4").string(), (root_ / "footage" / "ride.gpx").string()});
    } catch (const AuthorError& e) {
      return e.what();
    }
    return "";
  }
  // Everything under the root, but the fixture's own files.
  std::vector<std::string> leftOver() const {
    std::vector<std::string> found;
    for (const auto& e : fs::recursive_directory_iterator(root_)) {
      const std::string rel = fs::relative(e.path(), root_).generic_string();
      if (rel != "demo" && rel != "demo/move" && rel != "demo/205_train.dat" &&
          rel != "demo/dravolin.dat" && rel != "footage" && rel != "footage/ride.mp4" &&
          rel != "footage/ride.gpx") {
        found.push_back(rel);
      }
    }
    return found;
  }
  fs::path root_;
};

// The trains a made line takes by default: the installed demo, else, for a program built from
// source, the demo scripts/run makes beside the build's bin/ folder.
TEST_F(Folders, TheDefaultTrainsAreTheInstalledDemoElseTheBuildsOwn) {
  write(root_ / "demo" / "dravolin.dat", "Dravolin\r\n");
  fs::create_directories(root_ / "bin");
  EXPECT_EQ(installedTrainsFolder(root_ / "bin", "/nonexistent/share/dravolin"),
            (root_ / "demo").lexically_normal());
  fs::create_directories(root_ / "share" / "dravolin" / "demo");
  write(root_ / "share" / "dravolin" / "demo" / "dravolin.dat", "Dravolin\r\n");
  write(root_ / "share" / "dravolin" / "demo" / "E231_train.dat", "train");
  EXPECT_EQ(installedTrainsFolder(root_ / "bin", "/nonexistent/share/dravolin"),
            (root_ / "share" / "dravolin" / "demo").lexically_normal());
  EXPECT_EQ(installedTrainsFolder(root_ / "elsewhere" / "bin", "/nonexistent"), std::nullopt);
}

struct TargetCase {
  const char* out;  // under the root
  const char* refused;
};

// A target that is the trains folder, holds it or lies inside it is refused, and so is one that
// holds the footage or the track; a sibling whose name begins like the trains folder's is not.
TEST_F(Folders, TargetsThatOverlapTheInputsAreRefused) {
  fs::create_directories(root_ / "mine");
  write(root_ / "mine" / "notes.txt", "mine");
  write(root_ / "afile", "x");
  fs::create_directory_symlink(root_ / "demo", root_ / "link");
  const std::vector<TargetCase> cases = {
      {"demo", "と重なるフォルダには書き出せません"},
      {"demo/", "と重なるフォルダには書き出せません"},
      {"demo/line", "と重なるフォルダには書き出せません"},
      {"demo/move/line", "と重なるフォルダには書き出せません"},
      {".", "と重なるフォルダには書き出せません"},
      {"link", "と重なるフォルダには書き出せません"},
      {"link/line", "と重なるフォルダには書き出せません"},
      {"footage", "ride.mp4 を含むフォルダには書き出せません"},
      {"mine", "空でないフォルダです"},
      {"afile", "フォルダではありません"},
      {"demo2", ""},
      {"dem", ""},
      {"demo/../line", ""},
      {"new/line", ""},
  };
  for (const TargetCase& c : cases) {
    SCOPED_TRACE(c.out);
    const std::string why = refusal(root_ / c.out);
    if (*c.refused == '\0') {
      EXPECT_EQ(why, "");
    } else {
      EXPECT_NE(why.find(c.refused), std::string::npos) << why;
    }
  }
}

// A footage service that must not be reached: the write is refused or stopped before.
class NoFootage final : public platform::FootageService {
 public:
  platform::FootageInfo probe(const std::string&) override { throw std::logic_error("probe"); }
  std::vector<platform::TelemetryPacket> telemetry(const std::string&) override {
    throw std::logic_error("telemetry");
  }
  std::vector<platform::FrameMotion> motion(const std::string&,
                                            const platform::FootageProgress&) override {
    throw std::logic_error("motion");
  }
  std::vector<platform::FrameDifference> differences(const std::string&, double, double,
                                                     double) override {
    throw std::logic_error("differences");
  }
  platform::Bitmap frameAt(const std::string&, double, int, int) override {
    throw std::logic_error("frameAt");
  }
  void writeLineVideo(const std::string&, const std::string&, int,
                      const platform::FootageProgress&) override {
    throw std::logic_error("writeLineVideo");
  }
};

// A "[Path]" that is absolute or climbs out of the trains folder once made the writer truncate
// the user's footage (the video written over itself) and write outside the target: now it is
// refused before anything is written, and the footage is as it was.
TEST_F(Folders, APathOutsideTheTrainsFolderIsRefusedAndTheFootageKept) {
  RideMeasurements ride;
  ride.videoFile = (root_ / "footage" / "ride.mp4").string();
  ride.trackFile = (root_ / "footage" / "ride.gpx").string();
  LineDraft draft;
  draft.options.dataName = "ride";
  NoFootage footage;
  for (const std::string& path :
       {(root_ / "footage").string() + "/", std::string("..\\footage\\")}) {
    SCOPED_TRACE(path);
    write(root_ / "demo" / "dravolin.dat", "Dravolin\r\n[Path]\r\n" + path + "\r\n");
    FolderOptions o;
    o.outDir = root_ / "out";
    o.trainsDir = root_ / "demo";
    try {
      writeLineFolder(ride, draft, o, footage, [](double, const std::string&) { return true; });
      ADD_FAILURE() << "written";
    } catch (const AuthorError& e) {
      EXPECT_NE(std::string(e.what()).find("[Path]"), std::string::npos) << e.what();
    }
    EXPECT_EQ(fs::file_size(root_ / "footage" / "ride.mp4"), 4096u);
    EXPECT_EQ(leftOver(), std::vector<std::string>{});
  }
}

// Stopped (Ctrl+C, the window's cancel button or its closing): the folder it was writing is
// removed, and nothing else was made.
TEST_F(Folders, AStoppedWriteLeavesNothingBehind) {
  write(root_ / "demo" / "dravolin.dat", "Dravolin\r\n[Path]\r\nmove\\\r\n");
  RideMeasurements ride;
  ride.videoFile = (root_ / "footage" / "ride.mp4").string();
  LineDraft draft;
  NoFootage footage;
  FolderOptions o;
  o.outDir = root_ / "out";
  o.trainsDir = root_ / "demo";
  int reports = 0;
  EXPECT_THROW(writeLineFolder(ride, draft, o, footage,
                               [&](double, const std::string&) {
                                 // The folder being written is there when the stop comes.
                                 bool part = false;
                                 for (const auto& e : fs::directory_iterator(root_)) {
                                   part = part ||
                                          e.path().filename().string().rfind("out.part-", 0) == 0;
                                 }
                                 EXPECT_TRUE(part);
                                 return ++reports < 2;
                               }),
               platform::FootageCancelled);
  EXPECT_EQ(reports, 2);
  EXPECT_EQ(leftOver(), std::vector<std::string>{});
}

}  // namespace
}  // namespace dravolin::author
