#include "drive/recording.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
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
  drive::RecordingHeader h{dir_.string(), "電車.dat", "line 2.dat", "2026-12-07 15:04:05", {}, {}};
  drive::DriveRecorder r;
  ASSERT_TRUE(r.open(dir_ / "a.drs", h));
  r.record(1, "start");
  r.recordKey(40, 38, 0);
  r.recordKey(40, 90, input::kShift | input::kCtrl | input::kRightButton);
  r.recordChar(41, ' ');
  r.recordChar(41, 'z');
  r.recordChar(41, '\r');  // Enter, Ctrl+A and a half-width kana reach the drive as well
  r.recordChar(41, '\x01');
  r.recordChar(41, '\xb1');
  r.recordEvent(99, drive::ScriptEventKind::WheelDown);
  r.recordEvent(99, drive::ScriptEventKind::ValuesClosed);
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
      {41, drive::ScriptEventKind::Char, "char \\r"},
      {41, drive::ScriptEventKind::Char, "char \\x01"},
      {41, drive::ScriptEventKind::Char, "char \\xb1"},
      {99, drive::ScriptEventKind::WheelDown, "wheel down"},
      {99, drive::ScriptEventKind::ValuesClosed, "values closed"},
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
  EXPECT_EQ((*events)[5].character, '\r');
  EXPECT_EQ((*events)[7].character, '\xb1');
  EXPECT_EQ((*events)[10].bytes, std::string("A1\\B\r\n \t\0\xff", 10));
  EXPECT_EQ((*events)[11].station, 12);
  EXPECT_EQ((*events)[12].index, 1);
  EXPECT_EQ((*events)[13].index, 22);
  EXPECT_EQ(drive::scriptEndMs(*events), 5000);

  const auto header = drive::parseRecordingHeader(text, error);
  ASSERT_TRUE(header) << error;
  EXPECT_EQ(header->dataFolder, dir_.string());
  EXPECT_EQ(header->trainFile, "電車.dat");
  EXPECT_EQ(header->lineFile, "line 2.dat");
  EXPECT_EQ(header->started, "2026-12-07 15:04:05");
}

// Every byte the character handler can receive is recorded, and read back as that byte; so is
// every kind of event the script reader knows, written from the same table of words.
TEST_F(Recording, EveryByteAndEveryEventKindReadsBack) {
  drive::DriveRecorder r;
  ASSERT_TRUE(r.open(dir_ / "bytes.drs", {dir_.string(), "t", "l", "", {}, {}}));
  for (int b = 0; b < 256; ++b) r.recordChar(1 + b, static_cast<char>(b));
  r.recordSerial(300, std::string(" \\x \x7f", 6));
  r.end(400);
  std::string error;
  const auto events = drive::parseScript(read("bytes.drs"), error);
  ASSERT_TRUE(events) << error;
  ASSERT_EQ(events->size(), 258u);
  for (int b = 0; b < 256; ++b) {
    EXPECT_EQ((*events)[static_cast<std::size_t>(b)].character, static_cast<char>(b))
        << (*events)[static_cast<std::size_t>(b)].text;
  }
  EXPECT_EQ((*events)[256].bytes, std::string(" \\x \x7f", 6));

  // formatScriptEvent writes every kind from the table, and the reader takes it back as it was.
  for (const drive::ScriptEventWords& words : drive::scriptEventWords()) {
    drive::ScriptEvent e;
    e.timeMs = 7;
    e.kind = words.kind;
    e.character = '\x1b';
    e.virtualKey = 13;
    e.bytes = "P5 ";
    e.profile = "one-handle";
    e.index = 3;
    e.value = 1;
    const std::string line = drive::formatScriptEvent(e);
    const auto back = drive::parseScript(line, error);
    ASSERT_TRUE(back && back->size() == 1) << line << ": " << error;
    EXPECT_EQ(back->front().kind, words.kind) << line;
    EXPECT_EQ(drive::formatScriptEvent(back->front()), line);
  }
}

// What has been recorded reaches the file within a second of driving (virtual time), or at once
// when the owner asks (a station, a pause), without waiting for the buffer to fill.
TEST_F(Recording, EventsAreWrittenWithinASecond) {
  struct Step {
    const char* what;
    int recordAt;  // an event at this time; 0 for none
    int dueAt;     // then flushDue(dueAt); 0 for none
    bool flushNow;
    int linesInFile;  // event lines in the file afterwards
  };
  const Step steps[] = {
      {"an event is buffered", 100, 0, false, 0},
      {"a moment under a second", 0, 1099, false, 0},
      {"a second after it", 0, 1100, false, 1},
      {"the next event", 1200, 1200, false, 1},
      {"a later event before the first is a second old", 2199, 0, false, 1},
      {"an event a second after the first buffered", 2200, 0, false, 4},
      {"asked at once (a station)", 2300, 0, true, 5},
      {"nothing buffered: nothing to write", 0, 9000, false, 5},
  };
  const drive::RecordingHeader header{dir_.string(), "t", "l", "", {}, {}};
  const std::string headerText = drive::formatRecordingHeader(header);
  const long headerLines = std::count(headerText.begin(), headerText.end(), '\n');
  drive::DriveRecorder r;
  ASSERT_TRUE(r.open(dir_ / "due.drs", header));
  for (const Step& s : steps) {
    SCOPED_TRACE(s.what);
    if (s.recordAt > 0) r.recordEvent(s.recordAt, drive::ScriptEventKind::WheelUp);
    if (s.dueAt > 0) r.flushDue(s.dueAt);
    if (s.flushNow) r.flush();
    const std::string text = read("due.drs");
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n') - headerLines, s.linesInFile) << text;
  }
  r.end(3000);
}

// The recorder buffers: a long drive is written in pieces, and everything is there at the end.
TEST_F(Recording, LongDriveIsWrittenWhole) {
  drive::DriveRecorder r;
  ASSERT_TRUE(r.open(dir_ / "long.drs", {dir_.string(), "t", "l", "", {}, {}}));
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
  write("DRAVOLIN.DAT", "[Path]\n");
  write("train.dat", "[Cars]\n10\n");
  write("line.dat", "[Station]\n");
  drive::RecordingHeader h{dir_.string(), "train.dat", "line.dat", "", {}, {}};
  for (const char* name : {"train.dat", "line.dat"})
    h.files.push_back(*drive::hashFile(dir_, name));
  EXPECT_EQ(drive::checkRecordedFiles(h, dir_), "");

  write("line.dat", "[Station]\r\n");
  EXPECT_NE(drive::checkRecordedFiles(h, dir_).find("line.dat has changed"), std::string::npos);
  fs::remove(dir_ / "line.dat");
  EXPECT_NE(drive::checkRecordedFiles(h, dir_).find("line.dat of the recording is missing"),
            std::string::npos);

  // A folder that is no data folder is refused before any of its files is read.
  EXPECT_NE(drive::checkRecordedFiles(h, "/etc").find("is not a data folder"), std::string::npos);

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

// A header is read whole, or refused with a message that names its line: a malformed line, a
// file outside the data folder (a full path, or a way out with ".."), a data folder that is not
// a full path, a setting this program does not know.
TEST(RecordingHeader, ReadsOrRefusesItsLines) {
  const std::string magic = "# dravolin recording 1\n";
  const std::string head = magic + "# data-folder /d\n# train t\n# line l\n";
  const std::string file = "# file 0123456789abcdef 3 ";
  const std::vector<HeaderCase> cases = {
      {"a plain script", "# a note\n1 start\n", false, ""},
      {"complete", head + "1 start\n", true, ""},
      {"no train", magic + "# data-folder /d\n# line l\n", false, "does not name"},
      {"no line", magic + "# data-folder /d\n# train t\n1 start\n", false, "does not name"},
      {"no data folder", magic + "# train t\n# line l\n", false, "does not name"},
      {"the line after the first event is no header line",
       magic + "# data-folder /d\n# train t\n1 start\n# line l\n", false, "does not name"},
      {"a line without its name", magic + "# data-folder /d\n# train t\n# line\n", false, "line 4"},
      {"short hash", head + "# file 12 3 a\n", false, "line 5: a file line"},
      {"no path", head + "# file 0123456789abcdef 3\n", false, "line 5"},
      {"bad size", head + "# file 0123456789abcdef x a\n", false, "line 5"},
      {"a file in a subfolder", head + file + "sound/a b.wav\n", true, ""},
      {"a name that starts with two dots", head + file + "..a.wav\n", true, ""},
      {"a train by full path", magic + "# data-folder /d\n# train /etc/passwd\n# line l\n", false,
       "line 3: the recording names \"/etc/passwd\""},
      {"a train out of the folder",
       magic + "# data-folder /d\n# train ../../etc/passwd\n# line l\n", false, "line 3"},
      {"a line out of the folder, Windows style",
       magic + "# data-folder /d\n# train t\n# line sub\\..\\..\\l.dat\n", false, "line 4"},
      {"a file by full path", head + file + "/etc/passwd\n", false, "line 5: the recording names"},
      {"a file out of the folder", head + file + "sound/../../x\n", false, "line 5"},
      {"a file that is only a way up", head + file + "..\n", false, "line 5"},
      {"a control character", head + file + "a\tb\n", false, "line 5"},
      {"a data folder that is not a full path",
       magic + "# data-folder trains\n# train t\n# line l\n", false,
       "line 2: the data folder must be a full path"},
      {"a setting", head + "# setting keypad-swap on\n# setting value-display shown\n", true, ""},
      {"an unknown setting", head + "# setting autopilot on\n", false, "line 5: the setting"},
      {"a setting's unknown value", head + "# setting keypad-swap yes\n", false, "line 5"},
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

// The settings that change what an input does come back as they were written; a recording made
// before they were recorded starts with them off.
TEST(RecordingHeader, SettingsReadBackAsWritten) {
  for (const drive::RecordedSettings settings :
       {drive::RecordedSettings{false, false}, drive::RecordedSettings{true, false},
        drive::RecordedSettings{false, true}, drive::RecordedSettings{true, true}}) {
    drive::RecordingHeader h{"/d", "t", "l", "", {}, settings};
    std::string error;
    const auto back = drive::parseRecordingHeader(drive::formatRecordingHeader(h), error);
    ASSERT_TRUE(back) << error;
    EXPECT_EQ(back->settings, settings);
  }
  std::string error;
  const auto old = drive::parseRecordingHeader(
      "# dravolin recording 1\n# data-folder /d\n# train t\n# line l\n", error);
  ASSERT_TRUE(old) << error;
  EXPECT_EQ(old->settings, drive::RecordedSettings{});
}

// Event times run from 1 ms to a day of driving.
TEST(RecordingHeader, EventTimesStayWithinADay) {
  const struct {
    std::string line;
    bool read;
  } cases[] = {{"1 start", true},
               {"0 start", false},
               {std::to_string(drive::kLongestScriptMs) + " start", true},
               {std::to_string(drive::kLongestScriptMs + 1) + " start", false},
               {"2147483647 start", false},
               {"2147483648 start", false}};
  for (const auto& c : cases) {
    std::string error;
    const auto events = drive::parseScript("# dravolin recording 1\n" + c.line + "\n", error);
    EXPECT_EQ(events.has_value(), c.read) << c.line;
    if (!c.read) {
      EXPECT_EQ(error.rfind("line 2: the time", 0), 0u) << error;
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
