#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "drive/recording.h"
#include "drive/script_controller.h"
#include "fixtures/run_tool.h"
#include "fixtures/wave_bytes.h"

namespace dravolin::testing {
namespace {

namespace fs = std::filesystem;

const fs::path kGolden = DRAVOLIN_TOOLS_GOLDEN_DIR;
constexpr const char* kColumns =
    "t_ms,Speed,PowerHandle,BrakeHandle,PowerNotch,BrakeNotch,FrameIndex,DoorsOpen,SignalCode,"
    "StationLabel,StopMarker,StopLineTop,Lamp_Door,Lamp_Power,Lamp_Air,PowerLabel,BrakeLabel,"
    "ClockLabel";

void writeText(const fs::path& p, const std::string& text) {
  std::ofstream(p, std::ios::binary) << text;
}

// A trace as rows of named fields (no field of these traces holds a comma).
std::vector<std::map<std::string, std::string>> rowsOf(const std::string& csv) {
  std::istringstream in(csv);
  std::string line;
  std::getline(in, line);
  std::vector<std::string> names;
  std::istringstream header(line);
  for (std::string n; std::getline(header, n, ',');) names.push_back(n);
  std::vector<std::map<std::string, std::string>> rows;
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::map<std::string, std::string> row;
    std::string v;
    for (std::size_t i = 0; i < names.size() && std::getline(fields, v, ','); ++i) {
      row[names[i]] = v;
    }
    rows.push_back(row);
  }
  return rows;
}

double number(const std::map<std::string, std::string>& row, const std::string& column) {
  return std::strtod(row.at(column).c_str(), nullptr);
}

// The sample drive in a folder of its own, with the golden train (a notched brake that releases
// in seconds) and silent WAV files of fixed lengths for every sound the two files name.
class DriveTool : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* env = std::getenv("DRAVOLIN_FIXTURES");
    const fs::path fixtures = env && *env ? fs::path(env) : fs::path(DRAVOLIN_FIXTURES_DIR);
    dir_ = fs::temp_directory_path() /
           ("dravolin_drive_tool_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::copy(fixtures / "drive", dir_, fs::copy_options::recursive);
    fs::copy_file(kGolden / "drive_train.dat", dir_ / "drive_train.dat");
    fs::create_directories(dir_ / "sound");
    const std::vector<std::pair<std::string, int>> waves = {
        {"run.wav", 1000},   {"表.wav", 3000},        {"depart.wav", 2000},     {"other.wav", 500},
        {"motor.wav", 1000}, {"door_open.wav", 1500}, {"door_close.wav", 2500}, {"squeak.wav", 800},
        {"bell.wav", 1000},  {"chime.wav", 600},      {"eb.wav", 700},          {"horn.wav", 900},
        {"stop.wav", 1200},  {"cp.wav", 2000}};
    for (const auto& [name, ms] : waves) wave(name, ms);
    for (int i = 0; i < 13; ++i) wave("run" + std::to_string(i) + ".wav", 1000);
  }
  void TearDown() override { fs::remove_all(dir_); }

  // A silent 8 kHz wave of `ms` milliseconds.
  void wave(const std::string& name, int ms) {
    writeFile((dir_ / "sound" / name).string(),
              wav16(std::vector<std::int16_t>(static_cast<std::size_t>(8 * ms)), 8000));
  }

  ToolRun drive(const std::string& args) {
    return runTool(DRAVOLIN_DRIVE_EXE, "--dir " + quoted(dir_.string()) + " " + args);
  }

  // Compares with a golden file; DRAVOLIN_UPDATE_GOLDEN=1 rewrites it instead.
  static void expectGolden(const std::string& actual, const std::string& name) {
    const char* update = std::getenv("DRAVOLIN_UPDATE_GOLDEN");
    if (update != nullptr && std::string(update) == "1") writeText(kGolden / name, actual);
    EXPECT_EQ(actual, slurp(kGolden / name)) << name;
  }

  fs::path dir_;
};

// From the start at the first station to the stop at the last one. What the trace shows:
// - 0 to 20 s: standing at ソ表駅 with the doors open and the brake at EB; the clock runs from
//   09:00:00, the departure sound plays at 10 s (line sound 0, slot 27);
// - at the departure time (20 s) the station sequence closes the doors: the door-closing sound
//   (slot 14) plays 2.5 s, then the door lamp comes on and DoorsOpen clears;
// - 23 s: brake released ("5"), two wheel steps to P2; the notches follow after the delays, the
//   power lamp comes on, the brake pressure falls and the train moves off; the running noise
//   bands cross-fade as it gains speed (slots 0 to 4);
// - the station label turns to the pass station 能登通過, then, after it, to 予十停車; the
//   passing sound (slot 28) loops on the way past frame 450; at 40 s the controller box's horn
//   button posts a "3" and the horn (slot 21) sounds;
// - 50 s: power off, coasting downhill; 57.8 s: four brake steps to B4, the air lamp comes on;
// - the train enters the stopping range (700 to 800): the label shows 予十 and the stop marker
//   is drawn; it comes to rest at frame 730 with the brake at B4.
TEST_F(DriveTool, DrivesFromTheFirstStationToAStopAtTheLast) {
  const fs::path sounds = dir_ / "sounds.csv";
  const ToolRun run = drive("drive_train.dat test_line.dat --until 90000 --every 1000 --script " +
                            quoted((kGolden / "drive_script.txt").string()) + " --columns " +
                            kColumns + " --sounds " + quoted(sounds.string()));
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err, "");
  expectGolden(run.out, "drive_trace.csv");
  expectGolden(slurp(sounds), "drive_sounds.csv");
}

// The pattern-ATS train with the holding brake on the protection line
// (tests/tools/golden/protection_script.txt tells the story). Besides the golden trace:
// - Distance starts at the start position's distance from the line's origin and never jumps
//   at the row change;
// - the announcement of the start plays once while the train stands within its window;
// - the controller box's forward code lights the forward lamp and puts out the backward one,
//   and its P2 code leaves the holding position;
// - past the boundary of 1表 the repeater 2表, showing the same code, is drawn and named;
// - powered again after a reset, the pattern ATS brakes again: the train stops short of the
//   check point of the home signal at stop (frame 1050).
TEST_F(DriveTool, ProtectionSignalsAndTheControllerBox) {
  for (const char* name : {"protection_train.dat", "protection_line.dat"}) {
    fs::copy_file(kGolden / name, dir_ / name);
  }
  const fs::path sounds = dir_ / "sounds.csv";
  const ToolRun run =
      drive("protection_train.dat protection_line.dat --until 90000 --every 500 --script " +
            quoted((kGolden / "protection_script.txt").string()) +
            " --columns t_ms,Speed,PowerHandle,BrakeHandle,HoldingBrake,Reverser,Lamp_Fwd,Lamp_Bck,"
            "FrameIndex,Distance,DoorsOpen,SignalCode,SignalImage,SignalLabel,PatternState,"
            "AtcBrakeApplied,Lamp_Atsp2,BrakeLabel --sounds " +
            quoted(sounds.string()));
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err, "");
  expectGolden(run.out, "protection_trace.csv");
  expectGolden(slurp(sounds), "protection_sounds.csv");

  const auto rows = rowsOf(run.out);
  ASSERT_EQ(rows.size(), 180u);
  // Frame 100 in the row from frame 0 (0 km/h) to 300 (60 km/h): 20 km/h there, 3.33 s.
  EXPECT_EQ(rows[0].at("Distance"), "926.0000");
  for (std::size_t i = 1; i < rows.size() && number(rows[i], "t_ms") < 60000; ++i) {
    // Half a second at the higher of the two speeds, and a little for the rounding.
    const double fastest =
        std::max(std::abs(number(rows[i - 1], "Speed")), std::abs(number(rows[i], "Speed")));
    const double run500ms = fastest / 3.6 * 50 + 100;
    EXPECT_LE(std::abs(number(rows[i], "Distance") - number(rows[i - 1], "Distance")), run500ms)
        << "at " << rows[i].at("t_ms");
  }
  const auto& after = rows[1];  // 1000 ms
  EXPECT_EQ(after.at("PowerHandle"), "2");
  EXPECT_EQ(after.at("HoldingBrake"), "0");
  EXPECT_EQ(after.at("Reverser"), "1");
  EXPECT_EQ(after.at("Lamp_Fwd"), "1");
  EXPECT_EQ(after.at("Lamp_Bck"), "0");

  bool sawRepeater = false;
  for (const auto& row : rows) {
    const double frame = number(row, "FrameIndex");
    if (frame < 170 || frame >= 260) continue;
    sawRepeater = true;
    EXPECT_EQ(row.at("SignalLabel"), "2表") << "at " << row.at("t_ms");
    EXPECT_EQ(row.at("SignalImage"), "2") << "at " << row.at("t_ms");
  }
  EXPECT_TRUE(sawRepeater);

  const std::string log = slurp(sounds);
  std::size_t announcements = 0;
  for (std::size_t at = log.find(",28,play"); at != std::string::npos;
       at = log.find(",28,play", at + 1)) {
    ++announcements;
  }
  EXPECT_EQ(announcements, 1u);

  const auto& end = rows.back();
  EXPECT_LT(number(end, "FrameIndex"), 1050);
  EXPECT_LT(std::abs(number(end, "Speed")), 0.5);
  EXPECT_EQ(end.at("PatternState"), "2");
  EXPECT_EQ(end.at("AtcBrakeApplied"), "1");
}

// A train that stands on frame 0 at the first Start (the frame just below the last-shown frame
// number start-up leaves): Start presents it at once, and every resume presents it again.
TEST_F(DriveTool, StartPresentsTheCurrentFrameOnce) {
  const ToolRun run = drive("drive_train.dat test_line.dat --until 5000 --every 500 --script " +
                            quoted((kGolden / "start_frame0_script.txt").string()) +
                            " --columns t_ms,FrameIndex,ShownFrame,FramesShown");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out,
            "t_ms,FrameIndex,ShownFrame,FramesShown\n"
            "500,0,0,1\n"
            "1000,0,0,1\n"
            "1500,0,0,1\n"
            "2000,0,0,1\n"
            "2500,0,0,1\n"
            "3000,0,0,1\n"
            "3500,0,0,1\n"
            "4000,0,0,2\n"
            "4500,0,0,2\n"
            "5000,0,0,2\n");
}

// The same drive judged: the start at ソ表駅 (left on its departure), the stop at 予十.
TEST_F(DriveTool, JudgesTheDrivesStops) {
  const ToolRun run =
      drive("drive_train.dat test_line.dat --until 90000 --every 1000 --script " +
            quoted((kGolden / "drive_script.txt").string()) +
            " --columns t_ms,FrameIndex,Speed,ClockTicks,Eval.Station,Eval.Outcome,Eval.StopCm,"
            "Eval.ArrivalLateS,Eval.DepartureLateS,Eval.Protection,Eval.StationScore,Eval.Score,"
            "Eval.PendingAtsAlarms,Eval.PendingOverspeeds");
  ASSERT_EQ(run.status, 0) << run.err;
  expectGolden(run.out, "drive_eval.csv");
}

// A recording names its drive and ends with its "end": given alone, it replays to the trace of
// the same events run as a script; a file that changed since, or a hash edited by hand, is
// refused.
TEST_F(DriveTool, RecordingReplaysItsDrive) {
  drive::RecordingHeader h{dir_.string(), "drive_train.dat", "test_line.dat", "", {}, {}};
  for (const char* name : {"drive_train.dat", "test_line.dat", "sound/door_close.wav"}) {
    h.files.push_back(*drive::hashFile(dir_, name));
  }
  const std::string script = slurp(kGolden / "drive_script.txt");
  writeText(dir_ / "rec.drs", drive::formatRecordingHeader(h) + script + "60001 end\n");
  const std::string columns = std::string(" --every 500 --columns ") + kColumns;
  const ToolRun replayed =
      runTool(DRAVOLIN_DRIVE_EXE, "--script " + quoted((dir_ / "rec.drs").string()) + columns);
  ASSERT_EQ(replayed.status, 0) << replayed.err;
  writeText(dir_ / "plain.txt", script);
  const ToolRun plain = drive("drive_train.dat test_line.dat --until 60001 --script " +
                              quoted((dir_ / "plain.txt").string()) + columns);
  ASSERT_EQ(plain.status, 0) << plain.err;
  EXPECT_EQ(replayed.out, plain.out);
  EXPECT_GT(std::count(replayed.out.begin(), replayed.out.end(), '\n'), 100);

  // The hash of the train file edited by hand.
  std::string edited = drive::formatRecordingHeader(h);
  const std::size_t at = edited.find("# file ", edited.find("drive_train.dat\n")) + 7;
  ASSERT_NE(at, std::string::npos);
  edited[at] = edited[at] == 'f' ? 'e' : 'f';
  writeText(dir_ / "edited.drs", edited + script + "60001 end\n");
  const ToolRun refused =
      runTool(DRAVOLIN_DRIVE_EXE, "--script " + quoted((dir_ / "edited.drs").string()));
  EXPECT_EQ(refused.status, 1);
  EXPECT_EQ(refused.out, "");
  EXPECT_NE(refused.err.find("has changed since the recording"), std::string::npos) << refused.err;

  // A sound changed after the recording.
  wave("door_close.wav", 2600);
  const ToolRun changed =
      runTool(DRAVOLIN_DRIVE_EXE, "--script " + quoted((dir_ / "rec.drs").string()));
  EXPECT_EQ(changed.status, 1);
  EXPECT_NE(changed.err.find("sound/door_close.wav has changed"), std::string::npos) << changed.err;
}

// The driving window records a USB controller's commands ("controller N"), not the device's
// events: a drive with a device and the same drive with the commands its profile gave in their
// place give one trace.
TEST_F(DriveTool, ControllerCommandsReplayTheDevicesDrive) {
  const std::string deviceScript =
      "50 device add one-handle\n100 start\n23000 axis 0 8737\n23500 axis 0 13106\n"
      "23600 axis 0 17475\n23600 axis 0 17000\n40000 button 0 down\n40100 button 0 up\n"
      "50000 axis 0 8737\n57800 axis 0 4368\n57900 axis 0 -1\n58000 axis 0 -4370\n"
      "58100 axis 0 -8739\n";
  std::string error;
  const auto events = drive::parseScript(deviceScript, error);
  ASSERT_TRUE(events) << error;
  drive::ScriptProfiles profiles;
  ASSERT_EQ(drive::loadScriptProfiles(*events, dir_, profiles), "");
  drive::ScriptController controller(profiles);
  std::string commandScript;
  int commands = 0;
  const auto add = [&](int t, const std::vector<int>& lines) {
    for (int line : lines) {
      commandScript += std::to_string(t) + " controller " + std::to_string(line) + "\n";
      ++commands;
    }
  };
  for (std::size_t i = 0; i < events->size(); ++i) {
    const drive::ScriptEvent& e = (*events)[i];
    if (e.kind == drive::ScriptEventKind::Start)
      commandScript += std::to_string(e.timeMs) + " start\n";
    add(e.timeMs, controller.handle(e));
    if (i + 1 == events->size() || (*events)[i + 1].timeMs != e.timeMs) {
      add(e.timeMs, controller.flush());
    }
  }
  EXPECT_GE(commands, 8) << commandScript;

  writeText(dir_ / "device.txt", deviceScript);
  writeText(dir_ / "commands.txt", commandScript);
  const std::string columns = std::string(" --every 500 --columns ") + kColumns;
  const ToolRun device = drive("drive_train.dat test_line.dat --until 70000 --script " +
                               quoted((dir_ / "device.txt").string()) + columns);
  ASSERT_EQ(device.status, 0) << device.err;
  const ToolRun replayed = drive("drive_train.dat test_line.dat --until 70000 --script " +
                                 quoted((dir_ / "commands.txt").string()) + columns);
  ASSERT_EQ(replayed.status, 0) << replayed.err;
  EXPECT_EQ(replayed.out, device.out);
  const auto rows = rowsOf(device.out);
  double fastest = 0;
  for (const auto& row : rows) fastest = std::max(fastest, number(row, "Speed"));
  EXPECT_GT(fastest, 5.0);
}

TEST_F(DriveTool, DefaultColumnsBeforeTheStart) {
  const ToolRun run = drive("test_train.dat test_line.dat --until 300");
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out,
            "t_ms,Speed,PowerHandle,BrakeHandle,PowerNotch,BrakeNotch,Reverser,FrameIndex,"
            "Distance,ClockTicks,ScheduleFrame,DoorsOpen,SignalCode,AtsBrakeApplied,"
            "AtcBrakeApplied,StationLabel\n"
            "100,0.0000,0,-4,0,-4,1,100,926.0000,972000,250,1,999,0,0,ソ表駅\n"
            "200,0.0000,0,-4,0,-4,1,100,926.0000,972000,250,1,999,0,0,ソ表駅\n"
            "300,0.0000,0,-4,0,-4,1,100,926.0000,972000,250,1,999,0,0,ソ表駅\n");
}

TEST_F(DriveTool, LoadErrorsAreTheProgramsOwnMessage) {
  const ToolRun run = drive("no_such_train.dat test_line.dat --until 100");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err.rfind("車両ファイルに誤りがあります", 0), 0u) << run.err;
}

// A random drive whose folder does not hold the demo, or whose train does not load, ends with
// the program's own message, as any drive.
TEST_F(DriveTool, RandomDrivesThatDoNotLoad) {
  const ToolRun demo = drive("--random 1 --until 100");
  EXPECT_EQ(demo.status, 1);
  EXPECT_EQ(demo.out, "");
  EXPECT_FALSE(demo.err.empty());
  const ToolRun train = drive("no_such_train.dat test_line.dat --random 1 --until 100");
  EXPECT_EQ(train.status, 1);
  EXPECT_EQ(train.err.rfind("車両ファイルに誤りがあります", 0), 0u) << train.err;
}

// A failing random drive is reduced to a short script that breaks the same way when replayed. The
// train's horn names slot 150, outside its sound layout, which the checks count as a fault.
TEST_F(DriveTool, FailingRandomDriveIsReducedToAShortScript) {
  std::string train = slurp(dir_ / "drive_train.dat");
  const std::size_t at = train.find("[Sound_Horn]");
  ASSERT_NE(at, std::string::npos);
  const std::size_t value = train.find('\n', at) + 1;
  train.replace(value, train.find_first_of("\r\n", value) - value, "150");
  writeText(dir_ / "horn_train.dat", train);
  const ToolRun run = drive("horn_train.dat test_line.dat --random 3 --until 3600000");
  ASSERT_EQ(run.status, 3) << run.err << run.out;
  EXPECT_NE(run.err.find("sound: played slot 150"), std::string::npos) << run.err;
  std::istringstream lines(run.out);
  std::string first, second, line;
  std::getline(lines, first);
  std::getline(lines, second);
  EXPECT_EQ(first.rfind("# dravolin-drive --dir ", 0), 0u) << first;
  EXPECT_NE(first.find(" horn_train.dat test_line.dat --check --until "), std::string::npos);
  EXPECT_NE(second.find("sound: played slot 150"), std::string::npos) << second;
  int events = 0;
  while (std::getline(lines, line)) ++events;
  EXPECT_GE(events, 1);
  EXPECT_LE(events, 3) << run.out;  // Start, the horn and at most one more
  const std::string until = first.substr(first.find("--until ") + 8);
  writeText(dir_ / "reduced.txt", run.out);
  const ToolRun replay =
      drive("horn_train.dat test_line.dat --check --until " + until.substr(0, until.find(' ')) +
            " --script " + quoted((dir_ / "reduced.txt").string()));
  EXPECT_EQ(replay.status, 3) << replay.out;
  EXPECT_NE(replay.err.find("sound: played slot 150"), std::string::npos) << replay.err;
}

// A checked drive writes no trace: it tells whether the drive kept its invariants.
TEST_F(DriveTool, CheckedDriveOfTheSampleLine) {
  writeText(dir_ / "script.txt", "100 start\n23000 char 5\n23500 wheel down\n57800 char 2\n");
  const ToolRun run = drive("test_train.dat test_line.dat --until 90000 --check --script " +
                            quoted((dir_ / "script.txt").string()));
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "no fault in 900 display ticks\n");
}

TEST_F(DriveTool, UsageErrorsNameTheProblem) {
  struct Case {
    std::string script;  // empty: no script
    std::string args;
    std::string message;
    std::string files = "test_train.dat test_line.dat ";
  };
  const std::vector<Case> cases = {
      {"", "--until 100", "a train file and a line file are needed", "test_train.dat "},
      {"", "--until 100 x.dat", "unexpected argument 'x.dat'"},
      {"", "", "--until MS is needed"},
      {"", "--until 0", "--until needs a whole number"},
      {"", "--until 100 --every x", "--every needs a whole number"},
      {"", "--until 100 --speed 3", "unknown option '--speed'"},
      {"", "--until 100 --columns Speed,Nope", "unknown column 'Nope'"},
      {"", "--until 100 --columns Speed,", "an empty column name"},
      {"", "--until 100 --script", "the option --script needs a value"},
      {"100 start\n50 start\n", "--until 100", "line 2: the time 50 is before"},
      {"# comment\n100 jump\n", "--until 100", "line 2: unknown event 'jump'"},
      {"100 start\n200 station 1\n", "--until 100", "line 2: the \"Move\" menu has no entry Sta1"},
      {"100 station 2\n", "--until 100", "line 1: the \"Move\" menu has no entry Sta2"},
      {"100 axis 0 5\n", "--until 100", "line 1: no device is plugged in"},
      {"1 device add one-handle\n2 device remove\n3 button 1 down\n", "--until 100",
       "line 3: no device is plugged in"},
      {"100 device add wheel\n", "--until 100", "line 1: no built-in profile 'wheel'"},
      {"100 device add none.profile\n", "--until 100", "line 1: cannot read the profile"},
      {"100 device add bad.profile\n", "--until 100", "bad.profile:2: 'kind' is one-handle"},
      {"100 device\n", "--until 100", "line 1: 'device' takes 'add PROFILE' or 'remove'"},
      {"100 device remove x\n", "--until 100", "line 1: 'device' takes"},
      {"100 axis 64 0\n", "--until 100", "line 1: 'axis' takes an axis number from 0 to 63"},
      {"100 axis 0 32768\n", "--until 100", "line 1: 'axis' takes"},
      {"100 button 1024 down\n", "--until 100", "line 1: 'button' takes a button number"},
      {"100 button 1 pressed\n", "--until 100", "line 1: 'button' takes"},
      {"100 controller 0\n", "--until 100", "line 1: 'controller' takes a command line"},
      {"100 controller 23\n", "--until 100", "line 1: 'controller' takes"},
      {"100 controller\n", "--until 100", "line 1: 'controller' takes"},
      {"", "--random x --until 100", "--random needs a seed, a whole number", ""},
      {"", "--random -1 --until 100", "--random needs a seed, a whole number", ""},
      {"", "--random 18446744073709551616 --until 100", "--random needs a seed", ""},
      {"", "--random --until 100", "--random needs a seed", ""},
      {"", "--random 1", "--until MS is needed", ""},
      {"", "--random 1 --until 100 --check", "--random makes its own events", ""},
      {"100 start\n", "--random 1 --until 100", "--random makes its own events", ""},
      {"", "--random 1 --until 100 --columns Speed", "--random makes its own events", ""},
      {"", "--random 1 --until 100", "a train file needs its line file", "test_train.dat "},
      {"", "--random 1 --until 100 --soak", "unknown option '--soak'", ""},
  };
  writeText(dir_ / "bad.profile", "dravolin-profile 1\nkind wheel\n");
  for (const Case& c : cases) {
    std::string args = c.files + c.args;
    if (!c.script.empty()) {
      writeText(dir_ / "script.txt", c.script);
      args += " --script " + quoted((dir_ / "script.txt").string());
    }
    const ToolRun run = drive(args);
    EXPECT_EQ(run.status, 2) << c.args << c.script;
    EXPECT_EQ(run.out, "") << c.args << c.script;
    EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
  }
  const ToolRun missing = drive("test_train.dat test_line.dat --until 10 --script /no/such");
  EXPECT_EQ(missing.status, 2);
  EXPECT_NE(missing.err.find("cannot read the script"), std::string::npos) << missing.err;
}

}  // namespace
}  // namespace dravolin::testing
