#include "drive/recording.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "drive/script.h"
#include "input/key_codes.h"

namespace dravolin::testing {
namespace {

namespace fs = std::filesystem;

class Recording : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("dravolin_recording_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  void write(const fs::path& p, const std::string& text) {
    std::ofstream(dir_ / p, std::ios::binary) << text;
  }
  std::string read(const fs::path& p) {
    std::ifstream in(dir_ / p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
  }
  fs::path dir_;
};

// Every kind of event the window records reads back as the event it was.
TEST_F(Recording, EventsReadBackAsRecorded) {
  drive::RecordingHeader h{dir_.string(), "電車.dat", "line 2.dat", "2026-12-07 15:04:05", {}};
  drive::DriveRecorder r;
  ASSERT_TRUE(r.open(dir_ / "a.drs", h));
  r.record(1, "start");
  r.recordKey(40, 38, 0);
  r.recordKey(40, 90, input::kShift | input::kCtrl | input::kRightButton);
  r.recordChar(41, ' ');
  r.recordChar(41, 'z');
  r.recordChar(41, '\x01');  // not a character the drive takes: not recorded
  r.record(99, "wheel down");
  r.recordSerial(120, std::string("A1\\B\r\n \t\0\xff", 10));
  r.recordStation(130, 12);
  r.recordController(140, 1);
  r.recordController(140, 22);
  r.end(5000);
  EXPECT_FALSE(r.failed());

  const std::string text = read("a.drs");
  std::string error;
  const auto events = drive::parseScript(text, error);
  ASSERT_TRUE(events) << error;
  struct Expected {
    int t;
    drive::ScriptEventKind kind;
    std::string text;
  };
  const std::vector<Expected> expected = {
      {1, drive::ScriptEventKind::Start, "start"},
      {40, drive::ScriptEventKind::Key, "key 38"},
      {40, drive::ScriptEventKind::Key, "key 90 shift+ctrl+right"},
      {41, drive::ScriptEventKind::Char, "char space"},
      {41, drive::ScriptEventKind::Char, "char z"},
      {99, drive::ScriptEventKind::WheelDown, "wheel down"},
      {120, drive::ScriptEventKind::Serial, "serial A1\\\\B\\r\\n\\x20\\x09\\x00\\xff"},
      {130, drive::ScriptEventKind::Station, "station 12"},
      {140, drive::ScriptEventKind::Controller, "controller 1"},
      {140, drive::ScriptEventKind::Controller, "controller 22"},
      {5000, drive::ScriptEventKind::End, "end"},
  };
  ASSERT_EQ(events->size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ((*events)[i].timeMs, expected[i].t) << i;
    EXPECT_EQ((*events)[i].kind, expected[i].kind) << i;
    EXPECT_EQ((*events)[i].text, expected[i].text) << i;
  }
  EXPECT_EQ((*events)[2].modifiers, input::kShift | input::kCtrl | input::kRightButton);
  EXPECT_EQ((*events)[3].character, ' ');
  EXPECT_EQ((*events)[6].bytes, std::string("A1\\B\r\n \t\0\xff", 10));
  EXPECT_EQ((*events)[7].station, 12);
  EXPECT_EQ((*events)[8].index, 1);
  EXPECT_EQ((*events)[9].index, 22);
  EXPECT_EQ(drive::scriptEndMs(*events), 5000);

  const auto header = drive::parseRecordingHeader(text, error);
  ASSERT_TRUE(header) << error;
  EXPECT_EQ(header->dataFolder, dir_.string());
  EXPECT_EQ(header->trainFile, "電車.dat");
  EXPECT_EQ(header->lineFile, "line 2.dat");
  EXPECT_EQ(header->started, "2026-12-07 15:04:05");
}

// The recorder buffers: a long drive is written in pieces, and everything is there at the end.
TEST_F(Recording, LongDriveIsWrittenWhole) {
  drive::DriveRecorder r;
  ASSERT_TRUE(r.open(dir_ / "long.drs", {dir_.string(), "t", "l", "", {}}));
  for (int t = 1; t <= 20000; ++t) r.recordKey(t, 37 + t % 4, 0);
  r.end(20001);
  std::string error;
  const auto events = drive::parseScript(read("long.drs"), error);
  ASSERT_TRUE(events) << error;
  ASSERT_EQ(events->size(), 20001u);
  EXPECT_EQ((*events)[19999].virtualKey, 37 + 20000 % 4);
}

// A file that changed since the recording, or went missing, is named; an unchanged set passes.
TEST_F(Recording, ChangedFilesAreNamed) {
  write("train.dat", "[Cars]\n10\n");
  write("line.dat", "[Station]\n");
  drive::RecordingHeader h{dir_.string(), "train.dat", "line.dat", "", {}};
  for (const char* name : {"train.dat", "line.dat"})
    h.files.push_back(*drive::hashFile(dir_, name));
  EXPECT_EQ(drive::checkRecordedFiles(h, dir_), "");

  write("line.dat", "[Station]\r\n");
  EXPECT_NE(drive::checkRecordedFiles(h, dir_).find("line.dat has changed"), std::string::npos);
  fs::remove(dir_ / "line.dat");
  EXPECT_NE(drive::checkRecordedFiles(h, dir_).find("line.dat of the recording is missing"),
            std::string::npos);

  // A hash edited by hand in the recording is refused as well.
  write("line.dat", "[Station]\n");
  std::string text = drive::formatRecordingHeader(h);
  const std::size_t at = text.rfind("# file ");
  text[at + 7] = text[at + 7] == '0' ? '1' : '0';
  std::string error;
  const auto edited = drive::parseRecordingHeader(text, error);
  ASSERT_TRUE(edited) << error;
  EXPECT_NE(drive::checkRecordedFiles(*edited, dir_).find("has changed"), std::string::npos);
}

struct HeaderCase {
  std::string name;
  std::string text;
  bool recording;
  std::string error;  // part of the message; empty for none
};

TEST(RecordingHeader, ReadsOrRefusesItsLines) {
  const std::string magic = "# dravolin recording 1\n";
  const std::vector<HeaderCase> cases = {
      {"a plain script", "# a note\n1 start\n", false, ""},
      {"complete", magic + "# data-folder /d\n# train t\n# line l\n1 start\n", true, ""},
      {"no train", magic + "# data-folder /d\n# line l\n", false, "does not name"},
      {"short hash", magic + "# data-folder /d\n# train t\n# line l\n# file 12 3 a\n", false,
       "line 5: a file line"},
      {"no path", magic + "# data-folder /d\n# train t\n# line l\n# file 0123456789abcdef 3\n",
       false, "line 5"},
      {"bad size", magic + "# data-folder /d\n# train t\n# line l\n# file 0123456789abcdef x a\n",
       false, "line 5"},
  };
  for (const HeaderCase& c : cases) {
    SCOPED_TRACE(c.name);
    std::string error;
    const auto h = drive::parseRecordingHeader(c.text, error);
    EXPECT_EQ(h.has_value(), c.recording);
    if (c.error.empty()) {
      EXPECT_EQ(error, "");
    } else {
      EXPECT_NE(error.find(c.error), std::string::npos) << error;
    }
  }
}

// The newest recordings are kept, by the date and time their names start with.
TEST_F(Recording, OnlyTheNewestAreKept) {
  for (int i = 0; i < 53; ++i) {
    char name[64];
    std::snprintf(name, sizeof name, "20261207-%06d-1.drs", 100000 + i);
    write(name, "x");
  }
  write("notes.txt", "keep me");
  EXPECT_EQ(drive::pruneRecordings(dir_, 50), 3);
  EXPECT_FALSE(fs::exists(dir_ / "20261207-100002-1.drs"));
  EXPECT_TRUE(fs::exists(dir_ / "20261207-100003-1.drs"));
  EXPECT_TRUE(fs::exists(dir_ / "notes.txt"));
  EXPECT_EQ(drive::recordingFileName("2026-12-07 15:04:05", 2), "20261207-150405-2.drs");
}

// Besides the newest, the recordings named to be kept (the trains' best drives) stay, however
// old; a name that is not there, or among the newest anyway, changes nothing.
TEST_F(Recording, TheBestDrivesRecordingsAreKept) {
  for (int i = 0; i < 54; ++i) {
    char name[64];
    std::snprintf(name, sizeof name, "20261207-%06d-1.drs", 100000 + i);
    write(name, "x");
  }
  const std::set<std::string> best = {"20261207-100000-1.drs", "20261207-100003-1.drs",
                                      "20261207-100053-1.drs", "19991231-235959-1.drs"};
  EXPECT_EQ(drive::pruneRecordings(dir_, 50, best), 2);
  for (int i = 0; i < 54; ++i) {
    char name[64];
    std::snprintf(name, sizeof name, "20261207-%06d-1.drs", 100000 + i);
    EXPECT_EQ(fs::exists(dir_ / name), i != 1 && i != 2) << name;
  }
  // Kept ones are not counted among the newest: the next prune keeps them and 50 others.
  write("20261207-100054-1.drs", "x");
  EXPECT_EQ(drive::pruneRecordings(dir_, 50, best), 1);
  EXPECT_FALSE(fs::exists(dir_ / "20261207-100004-1.drs"));
  EXPECT_TRUE(fs::exists(dir_ / "20261207-100000-1.drs"));
}

}  // namespace
}  // namespace dravolin::testing
