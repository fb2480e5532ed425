#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "data/text_encoding.h"
#include "fixtures/run_tool.h"

namespace dravolin::testing {
namespace {

namespace fs = std::filesystem;

const fs::path kGolden = DRAVOLIN_TOOLS_GOLDEN_DIR;
constexpr const char* kColumns =
    "t_ms,Speed,PowerHandle,BrakeHandle,FrameIndex,DoorsOpen,SignalCode,AtsCheck,AtsAlarm,"
    "AtsBrakeApplied,AtcBrakeApplied,PatternState,StationLabel,StopMarker,ClockLabel";
// A change in one of these columns is a moment of the story and gets a golden row.
const char* const kStoryColumns[] = {
    "PowerHandle",     "BrakeHandle",     "DoorsOpen",    "SignalCode",   "AtsCheck",  "AtsAlarm",
    "AtsBrakeApplied", "AtcBrakeApplied", "PatternState", "StationLabel", "StopMarker"};

using Row = std::map<std::string, std::string>;

struct Trace {
  std::string header;
  std::vector<std::string> lines;  // one a row, as printed
  std::vector<Row> rows;

  double num(std::size_t i, const std::string& column) const {
    return std::strtod(rows[i].at(column).c_str(), nullptr);
  }
};

Trace parse(const std::string& csv) {
  Trace t;
  std::istringstream in(csv);
  std::getline(in, t.header);
  std::vector<std::string> names;
  std::istringstream h(t.header);
  for (std::string n; std::getline(h, n, ',');) names.push_back(n);
  for (std::string l; std::getline(in, l);) {
    Row row;
    std::istringstream f(l);
    std::string v;
    for (std::size_t i = 0; i < names.size() && std::getline(f, v, ','); ++i) row[names[i]] = v;
    t.lines.push_back(l);
    t.rows.push_back(row);
  }
  return t;
}

// The short form kept as golden output: a row every 5 s and every row in which a story column
// changed.
std::string story(const Trace& t) {
  std::string out = t.header + "\n";
  for (std::size_t i = 0; i < t.rows.size(); ++i) {
    bool keep = std::lround(t.num(i, "t_ms")) % 5000 == 0;
    for (const char* c : kStoryColumns) keep |= i > 0 && t.rows[i].at(c) != t.rows[i - 1].at(c);
    if (keep) out += t.lines[i] + "\n";
  }
  return out;
}

struct StationRange {
  std::string name;
  int type = 0;
  long start = 0, end = 0;
};

struct Case {
  const char* name;
  const char* train;
  const char* line;
  const char* script;  // in tests/tools/golden
  int untilMs;
  const char* golden;
  bool careful;  // a careful drive, or one that runs a red signal
};

const Case kCases[] = {
    {"E231", "E231_train.dat", "E231_line2.dat", "demo_e231_script.txt", 540000,
     "demo_e231_trace.csv", true},
    {"205", "205_train.dat", "205_line.dat", "demo_205_script.txt", 605000, "demo_205_trace.csv",
     true},
    {"E231 red", "E231_train.dat", "E231_line2.dat", "demo_e231_red_script.txt", 70000,
     "demo_e231_red_trace.csv", false},
    {"205 red", "205_train.dat", "205_line.dat", "demo_205_red_script.txt", 90000,
     "demo_205_red_trace.csv", false},
    // The rapid's careful drive with a USB one-handle master controller.
    {"E231 controller", "E231_train.dat", "E231_line2.dat", "demo_e231_controller_script.txt",
     540000, "demo_e231_controller_trace.csv", true},
};

// The fast demo written once for every drive of this file.
class DemoDrive : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new fs::path(fs::temp_directory_path() /
                        ("dravolin_demo_drive_" + std::to_string(::getpid())));
    fs::remove_all(*dir_);
    made_ = new ToolRun(runTool(DRAVOLIN_MAKE_DEMO_EXE, quoted(dir_->string()) + " --fast"));
  }
  static void TearDownTestSuite() {
    fs::remove_all(*dir_);
    delete dir_;
    delete made_;
  }

  // The comma-separated records of a list key of a generated line file.
  static std::vector<std::vector<std::string>> records(const std::string& line,
                                                       const std::string& key) {
    std::istringstream in(data::cp932ToUtf8(slurp(*dir_ / line)));
    std::vector<std::vector<std::string>> out;
    bool inside = false;
    for (std::string l; std::getline(in, l);) {
      if (!l.empty() && l.back() == '\r') l.pop_back();
      if (inside && !l.empty() && l[0] == '#') break;
      if (inside) {
        std::istringstream f(l);
        out.emplace_back();
        for (std::string v; std::getline(f, v, ',');) out.back().push_back(v);
      }
      if (l == key) inside = true;
    }
    return out;
  }
  static std::vector<StationRange> stations(const std::string& line) {
    std::vector<StationRange> out;
    for (const auto& v : records(line, "[Station]")) {
      if (v.size() >= 4) out.push_back({v[0], std::stoi(v[1]), std::stol(v[2]), std::stol(v[3])});
    }
    return out;
  }

  static void expectGolden(const std::string& actual, const std::string& name) {
    const char* update = std::getenv("DRAVOLIN_UPDATE_GOLDEN");
    if (update != nullptr && std::string(update) == "1") {
      std::ofstream(kGolden / name, std::ios::binary) << actual;
    }
    // Names the first differing row rather than printing two whole traces.
    std::istringstream a(actual), e(slurp(kGolden / name));
    std::string la, le;
    for (int row = 0;; ++row) {
      const bool moreActual = static_cast<bool>(std::getline(a, la));
      const bool moreExpected = static_cast<bool>(std::getline(e, le));
      if (!moreActual && !moreExpected) return;
      if (!moreActual) la = "(end)";
      if (!moreExpected) le = "(end)";
      if (la != le) {
        ADD_FAILURE() << name << " row " << row << "\n  actual:   " << la << "\n  expected: " << le;
        return;
      }
    }
  }

  static fs::path* dir_;
  static ToolRun* made_;
};

fs::path* DemoDrive::dir_ = nullptr;
ToolRun* DemoDrive::made_ = nullptr;

// A careful drive stands inside the stopping range of every stopping station after the first
// with the doors open, leaves each intermediate one with the doors closed again, and never meets
// the ATS or the pattern ATS. A drive at a red signal is stopped by the train's protection: the
// pattern ATS warns and then brakes, the ATS rings and then applies the emergency brake.
TEST_F(DemoDrive, ScriptedDrivesOnTheDemoLine) {
  ASSERT_EQ(made_->status, 0) << made_->err;
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    const ToolRun run = runTool(
        DRAVOLIN_DRIVE_EXE, "--dir " + quoted(dir_->string()) + " " + c.train + " " + c.line +
                                " --until " + std::to_string(c.untilMs) + " --every 100 --script " +
                                quoted((kGolden / c.script).string()) + " --columns " + kColumns);
    ASSERT_EQ(run.status, 0) << run.err;
    const Trace t = parse(run.out);
    ASSERT_EQ(t.rows.size(), static_cast<std::size_t>(c.untilMs / 100));
    expectGolden(story(t), c.golden);

    int alarmAt = -1, atsBrakeAt = -1, warnAt = -1, patternBrakeAt = -1, atcBrakeAt = -1;
    for (std::size_t i = 0; i < t.rows.size(); ++i) {
      const auto first = [&](int& at, bool now) {
        if (now && at < 0) at = static_cast<int>(i);
      };
      first(alarmAt, t.num(i, "AtsAlarm") != 0);
      first(atsBrakeAt, t.num(i, "AtsBrakeApplied") != 0);
      first(warnAt, t.num(i, "PatternState") == 1);
      first(patternBrakeAt, t.num(i, "PatternState") == 2);
      first(atcBrakeAt, t.num(i, "AtcBrakeApplied") != 0);
    }
    const double endSpeed = t.num(t.rows.size() - 1, "Speed");
    if (!c.careful) {
      // Stopped by the protection, still short of the next station.
      EXPECT_LT(std::abs(endSpeed), 0.5);
      EXPECT_LT(t.num(t.rows.size() - 1, "FrameIndex"), stations(c.line)[1].start);
      if (std::string(c.train) == "E231_train.dat") {
        ASSERT_GE(warnAt, 0);
        EXPECT_LT(warnAt, patternBrakeAt);
        EXPECT_EQ(atcBrakeAt, patternBrakeAt);
        EXPECT_EQ(alarmAt, -1);
      } else {
        ASSERT_GE(alarmAt, 0);
        EXPECT_LT(alarmAt, atsBrakeAt);
        EXPECT_EQ(t.num(static_cast<std::size_t>(atsBrakeAt), "BrakeHandle"), 0)
            << "the driver did not brake";
        EXPECT_EQ(atcBrakeAt, -1);
      }
      continue;
    }
    EXPECT_EQ(alarmAt, -1);
    EXPECT_EQ(atsBrakeAt, -1);
    EXPECT_EQ(warnAt, -1);
    EXPECT_EQ(patternBrakeAt, -1);
    EXPECT_EQ(atcBrakeAt, -1);

    // Within every speed limit, from its start frame to its end frame.
    const auto limits = records(c.line, "[SpeedLimit]");
    ASSERT_FALSE(limits.empty());
    for (const auto& limit : limits) {
      ASSERT_EQ(limit.size(), 4u);
      for (std::size_t i = 0; i < t.rows.size(); ++i) {
        const long frame = std::lround(t.num(i, "FrameIndex"));
        if (frame < std::stol(limit[2]) || frame > std::stol(limit[3])) continue;
        ASSERT_LE(t.num(i, "Speed"), std::stod(limit[0])) << t.lines[i];
      }
    }
    const std::vector<StationRange> all = stations(c.line);
    ASSERT_EQ(all.size(), 4u);
    for (std::size_t i = 0; i < t.rows.size(); ++i) {
      if (t.num(i, "DoorsOpen") == 0) continue;
      const long frame = std::lround(t.num(i, "FrameIndex"));
      bool inside = false;
      for (const StationRange& st : all) inside |= st.start <= frame && frame <= st.end;
      ASSERT_TRUE(inside) << "doors open outside every stopping range: " << t.lines[i];
    }
    for (std::size_t s = 1; s < all.size(); ++s) {
      const StationRange& st = all[s];
      SCOPED_TRACE(st.name);
      std::size_t opened = 0, closed = 0;
      bool stood = false;
      for (std::size_t i = 0; i < t.rows.size(); ++i) {
        const long frame = std::lround(t.num(i, "FrameIndex"));
        const bool inRange = st.start <= frame && frame <= st.end;
        const bool open = t.num(i, "DoorsOpen") != 0;
        stood |= inRange && std::abs(t.num(i, "Speed")) < 0.5;
        if (inRange && open && opened == 0) opened = i;
        if (opened > 0 && !open && closed == 0) closed = i;
      }
      if (st.type == 1) {
        EXPECT_FALSE(stood) << "stopped at a passed station";
        continue;
      }
      ASSERT_GT(opened, 0u) << "the doors never opened inside the stopping range";
      if (s + 1 < all.size()) {
        ASSERT_GT(closed, opened) << "the doors never closed again";
        // The train stood inside the range while the doors were open.
        for (std::size_t i = opened; i < closed; ++i) {
          const long frame = std::lround(t.num(i, "FrameIndex"));
          EXPECT_TRUE(st.start <= frame && frame <= st.end) << t.lines[i];
        }
      }
    }
  }
}

// What the README's first screen and the demo's operation.dat tell a new driver, driven on the
// demo: the EB device of both trains brakes 5 s after its buzzer; after an emergency stop the way
// on is stop, 0, then r; the first two "." positions of the 205's automatic brake hold or lap and
// do not brake; Space confirms the ATS bell only with a brake step applied and before the ATS
// brake applies.
TEST_F(DemoDrive, TheDriversAdviceHolds) {
  ASSERT_EQ(made_->status, 0) << made_->err;
  struct Expect {
    int atMs;
    const char* column;
    double low, high;  // the value lies in [low, high]
  };
  constexpr double kAny = 1e9;
  // The EB device's story after the last character key: nothing but the device brakes; at the
  // stop "r" alone does nothing, "0" then "r" resets, and the train powers away again.
  const std::vector<Expect> afterEb = {{124500, "AtsBrakeApplied", 1, 1},
                                       {124500, "Speed", -0.5, 0.5},
                                       {125500, "AtsBrakeApplied", 1, 1},
                                       {126500, "BrakeHandle", -kAny, -4},
                                       {127500, "AtsBrakeApplied", 0, 0}};
  const struct {
    const char* what;
    const char* train;
    const char* line;
    const char* base;  // a golden script the lines below are added to, or null
    std::vector<std::string> script;
    int untilMs;
    bool ebDevice;  // the EB device brakes, 5 s after its buzzer
    std::vector<Expect> expect;
  } cases[] = {
      {"E231: EB device, then stop, 0, r",
       "E231_train.dat",
       "E231_line2.dat",
       nullptr,
       {"100 start", "32700 char 5", "33300 char 8", "125000 char r", "126000 char 0",
        "127000 char r", "128000 char 5", "128100 char 8"},
       165000,
       true,
       {{165000, "Speed", 10, kAny}}},
      {"205: EB device, then stop, 0, r; then the automatic brake's positions",
       "205_train.dat",
       "205_line.dat",
       nullptr,
       {"100 start", "31300 char 5", "39400 char z", "125000 char r", "126000 char 0",
        "127000 char r", "128000 char 5", "128100 char z", "145000 char a", "146000 char .",
        "148000 char .", "150000 char ."},
       152000,
       true,
       {{144500, "Speed", 1, kAny},
        {147900, "BrakeHandle", -1, -1},
        {147900, "BrakePressure", 0, 0},
        {149900, "BrakeHandle", -2, -2},
        {149900, "BrakePressure", 0, 0},
        {151500, "BrakeHandle", -3, -3},
        {151500, "BrakePressure", 100, kAny}}},
      {"205: Space without a brake step, then with one",
       "205_train.dat",
       "205_line.dat",
       "demo_205_red_script.txt",
       {"45500 char space", "47000 char .", "47100 char space"},
       53000,
       false,
       {{45400, "AtsAlarm", 1, 1},
        {46900, "AtsAlarm", 1, 1},
        {47500, "AtsAlarm", 0, 0},
        {53000, "AtsBrakeApplied", 0, 0}}},
      {"205: Space after the ATS brake",
       "205_train.dat",
       "205_line.dat",
       "demo_205_red_script.txt",
       {"45500 char .", "51000 char space"},
       52000,
       false,
       {{50500, "AtsBrakeApplied", 1, 1}, {51500, "AtsAlarm", 1, 1}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::string script = c.base != nullptr ? slurp(kGolden / c.base) : std::string();
    for (const std::string& l : c.script) script += l + "\n";
    const fs::path file = *dir_ / "advice_script.txt";
    std::ofstream(file, std::ios::binary) << script;
    const ToolRun run =
        runTool(DRAVOLIN_DRIVE_EXE,
                "--dir " + quoted(dir_->string()) + " " + c.train + " " + c.line + " --until " +
                    std::to_string(c.untilMs) + " --every 100 --script " + quoted(file.string()) +
                    " --columns t_ms,Speed,PowerHandle,BrakeHandle,BrakePressure,AtsAlarm,"
                    "AtsBrakeApplied,PatternState,Lamp_EB");
    ASSERT_EQ(run.status, 0) << run.err;
    const Trace t = parse(run.out);
    const auto row = [&](int ms) { return static_cast<std::size_t>(ms / 100 - 1); };
    std::vector<Expect> expect = c.expect;
    if (c.ebDevice) {
      expect.insert(expect.end(), afterEb.begin(), afterEb.end());
      int buzzerAt = -1, brakeAt = -1;
      for (std::size_t i = 0; i < t.rows.size(); ++i) {
        const int ms = static_cast<int>(std::lround(t.num(i, "t_ms")));
        if (buzzerAt < 0 && t.num(i, "Lamp_EB") != 0) buzzerAt = ms;
        if (brakeAt < 0 && t.num(i, "AtsBrakeApplied") != 0) brakeAt = ms;
        if (brakeAt < 0) {
          ASSERT_EQ(t.num(i, "AtsAlarm"), 0) << t.lines[i];
          ASSERT_EQ(t.num(i, "PatternState"), 0) << t.lines[i];
        }
      }
      ASSERT_GT(buzzerAt, 60000 + 33300);
      EXPECT_NEAR(brakeAt - buzzerAt, 5000, 200);
    }
    for (const Expect& e : expect) {
      ASSERT_LT(row(e.atMs), t.rows.size());
      const double v = t.num(row(e.atMs), e.column);
      EXPECT_TRUE(e.low <= v && v <= e.high)
          << e.column << " at " << e.atMs << " ms: " << t.lines[row(e.atMs)];
    }
  }
}

// The controller's commands reach the handles as the keys do: moved notch by notch at the times
// the keyboard drive presses its keys, the one-handle controller drives the same trace.
TEST_F(DemoDrive, AOneHandleControllerDrivesAsTheKeyboard) {
  EXPECT_EQ(slurp(kGolden / "demo_e231_controller_trace.csv"),
            slurp(kGolden / "demo_e231_trace.csv"));
}

// Faults that random driving found, each as the script it was reduced to, replayed with the
// drive's checks: each broke an invariant before it was mended.
TEST_F(DemoDrive, RandomDrivingFindingsStayMended) {
  ASSERT_EQ(made_->status, 0) << made_->err;
  const struct {
    const char* fault;
    const char* train;
    const char* line;
    int untilMs;
    const char* script;
  } cases[] = {
      {"the first display tick allocated the signal's name and the window caption",
       "E231_train.dat", "E231_line2.dat", 4200, "4159 start\n"},
      {"the controller box's P6 put a 4-notch train's power handle at 6", "E231_train.dat",
       "E231_line2.dat", 11000, "4159 start\n10990 serial TSA65\n"},
      {"the brake cylinder gauge of a train with electric braking fell below 0 kPa",
       "E231_train.dat", "E231_line2.dat", 318200,
       "616 start\n2598 wheel down\n278608 key 123 shift\n"},
      {"a frame key (Shift+F5, 100 frames back) took the train before the line's first frame",
       "E231_train.dat", "E231_line2.dat", 1000, "100 start\n200 key 116 shift\n"},
      {"a standing train's distance crept on by the step of its last moving tick, for its whole "
       "stand (found again by the invariant DistanceAtRest with that fault put back)",
       "E231_train.dat", "E231_line2.dat", 614823,
       "2530 start\n575292 device add gamepad\n576832 axis 5 17115\n604776 char q\n"},
      {"a frame key put the standing train into another row of the speed table, whose start "
       "its distance takes: no creep",
       "E231_train.dat", "E231_line2.dat", 1000, "100 start\n200 key 119 shift\n"},
  };
  const fs::path script = *dir_ / "finding.txt";
  for (const auto& c : cases) {
    std::ofstream(script, std::ios::binary) << c.script;
    const ToolRun run =
        runTool(DRAVOLIN_DRIVE_EXE, "--dir " + quoted(dir_->string()) + " " + c.train + " " +
                                        c.line + " --check --until " + std::to_string(c.untilMs) +
                                        " --script " + quoted(script.string()));
    EXPECT_EQ(run.status, 0) << c.fault << "\n" << run.err;
    EXPECT_EQ(run.out.rfind("no fault in ", 0), 0u) << c.fault << "\n" << run.out;
  }
}

// Ten virtual minutes of random driving on each demo train keep every invariant of the drive.
TEST_F(DemoDrive, RandomDrivingKeepsTheInvariants) {
  ASSERT_EQ(made_->status, 0) << made_->err;
  const ToolRun run = runTool(DRAVOLIN_DRIVE_EXE,
                              "--dir " + quoted(dir_->string()) + " --random 20 --until 600000");
  EXPECT_EQ(run.status, 0) << run.err << run.out;
  EXPECT_NE(run.out.find("E231_train.dat E231_line2.dat: seed 20, 600000 ms, "), std::string::npos)
      << run.out;
  EXPECT_NE(run.out.find("205_train.dat 205_line.dat: seed 20, 600000 ms, "), std::string::npos)
      << run.out;
}

}  // namespace
}  // namespace dravolin::testing
