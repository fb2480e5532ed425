// The judgement of drives on the demo, driven through dravolin-drive: how each drive ends
// (complete, abandoned, not driven), which drives are practice, which stop of a station is
// judged, and the end of the line. Each case is one of the careful demo drives, cut short or
// changed by a few lines. tests/tools/golden/demo_judgement.csv keeps, per case, every row in
// which the judgement or the doors changed, and the last row (DRAVOLIN_UPDATE_GOLDEN=1 rewrites
// it).
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "fixtures/run_tool.h"

namespace dravolin::testing {
namespace {

namespace fs = std::filesystem;

const fs::path kGolden = DRAVOLIN_TOOLS_GOLDEN_DIR;
constexpr const char* kColumns =
    "t_ms,Speed,FrameIndex,Distance,BrakeHandle,DoorsOpen,Eval.Station,Eval.Outcome,Eval.StopCm,"
    "Eval.ArrivalLateS,Eval.DepartureLateS,Eval.StationScore,Eval.Score,Eval.Kind,Eval.Practice,"
    "Eval.Finished";
// A change in one of these columns is kept in the golden file.
const char* const kJudgementColumns[] = {"DoorsOpen",     "Eval.Station",  "Eval.Outcome",
                                         "Eval.StopCm",   "Eval.Score",    "Eval.Kind",
                                         "Eval.Practice", "Eval.Finished", "Eval.StationScore"};

using Row = std::map<std::string, std::string>;

std::vector<Row> rowsOf(const std::string& csv, std::vector<std::string>& lines) {
  std::istringstream in(csv);
  std::string header;
  std::getline(in, header);
  std::vector<std::string> names;
  std::istringstream h(header);
  for (std::string n; std::getline(h, n, ',');) names.push_back(n);
  std::vector<Row> rows;
  for (std::string l; std::getline(in, l);) {
    Row row;
    std::istringstream f(l);
    std::string v;
    for (std::size_t i = 0; i < names.size(); ++i) row[names[i]] = std::getline(f, v, ',') ? v : "";
    rows.push_back(row);
    lines.push_back(l);
  }
  return rows;
}

double num(const Row& r, const char* column) { return std::strtod(r.at(column).c_str(), nullptr); }

struct Case {
  const char* name;
  const char* train;
  const char* line;
  const char* base;   // a golden script, or null
  int cutAtMs;        // the base's lines from this time on are left out; 0: none
  const char* extra;  // lines added after the base's
  int untilMs;        // 0: the script's end event
  const char* kind;   // Eval.Kind at the end
  bool practice;      // Eval.Practice at the end
  bool finished;      // Eval.Finished at the end
};

const Case kCases[] = {
    {"205 careful", "205_train.dat", "205_line.dat", "demo_205_script.txt", 0, "", 605000,
     "complete", false, true},
    {"E231 careful", "E231_train.dat", "E231_line2.dat", "demo_e231_script.txt", 0, "", 540000,
     "complete", false, true},
    // Closed at 川辺 after its stop: the stations judged so far are kept.
    {"205 closed at 川辺", "205_train.dat", "205_line.dat", "demo_205_script.txt", 170000,
     "170000 end\n", 0, "abandoned", false, false},
    // Doors open at 川辺 (90 cm over); after they close the driver creeps 1.5 m on and stops
    // again before leaving: the stop judged stays the door-opening one.
    {"205 creeps on at 川辺", "205_train.dat", "205_line.dat", "demo_205_script.txt", 180600,
     "180600 char 5\n188700 char z\n191500 char a\n196000 char .\n196100 char .\n"
     "196200 char .\n198000 char ,\n205000 char 5\n213000 char z\n213100 char z\n"
     "213200 char z\n213300 char z\n235000 end\n",
     0, "abandoned", false, false},
    // Opened and closed, or left the first station without reaching the next: nothing judged.
    {"205 started and closed", "205_train.dat", "205_line.dat", nullptr, 0,
     "100 start\n20000 end\n", 0, "not-driven", false, false},
    {"205 left and closed", "205_train.dat", "205_line.dat", "demo_205_script.txt", 60000,
     "60000 end\n", 0, "not-driven", false, false},
    // The practice tools after Start (the move command, the clock key), and their edges: the move
    // before Start chooses the first station; Shift+F2 and a Ctrl+Shift+F9 change nothing.
    {"moved after Start", "205_train.dat", "205_line.dat", nullptr, 0,
     "100 start\n1000 station 2\n5000 end\n", 0, "not-driven", true, false},
    {"moved before Start", "205_train.dat", "205_line.dat", nullptr, 0,
     "50 station 2\n100 start\n5000 end\n", 0, "not-driven", false, false},
    {"clock key after Start", "205_train.dat", "205_line.dat", nullptr, 0,
     "100 start\n2000 key 120 shift\n5000 end\n", 0, "not-driven", true, false},
    {"frame key before Start", "205_train.dat", "205_line.dat", nullptr, 0,
     "50 key 119 shift\n100 start\n5000 end\n", 0, "not-driven", true, false},
    {"Shift+F2 and Ctrl+Shift+F9", "205_train.dat", "205_line.dat", nullptr, 0,
     "100 start\n2000 key 113 shift\n3000 key 120 shift+ctrl\n5000 end\n", 0, "not-driven", false,
     false},
    // Runs through 川辺 without braking (the drive stands at 50 points), is moved back there
    // (100 points) and drives on through 中町: a practice drive, judged from 川辺 again.
    {"205 overran 川辺, moved back", "205_train.dat", "205_line.dat", "demo_205_script.txt", 119100,
     "150000 station 1\n180600 char 5\n188700 char z\n188800 char z\n188900 char z\n"
     "189000 char z\n242800 char a\n242900 char a\n243000 char a\n243100 char a\n"
     "252800 char .\n252900 char .\n253000 char .\n254200 char ,\n257700 char 5\n"
     "299100 char z\n299200 char z\n299300 char z\n299400 char z\n353400 char a\n"
     "353500 char a\n353600 char a\n353700 char a\n400000 end\n",
     0, "abandoned", true, false},
    // No brake into 緑台: the train runs onto the line's last frame and stops there, past the
    // stopping range by its distance.
    {"205 into the buffer stop", "205_train.dat", "205_line.dat", "demo_205_script.txt", 532750, "",
     600000, "abandoned", false, true},
};

class DemoJudgement : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new fs::path(fs::temp_directory_path() /
                        ("dravolin_demo_judgement_" + std::to_string(::getpid())));
    fs::remove_all(*dir_);
    made_ = new ToolRun(runTool(DRAVOLIN_MAKE_DEMO_EXE, quoted(dir_->string()) + " --fast"));
  }
  static void TearDownTestSuite() {
    fs::remove_all(*dir_);
    delete dir_;
    delete made_;
  }
  static fs::path* dir_;
  static ToolRun* made_;
};

fs::path* DemoJudgement::dir_ = nullptr;
ToolRun* DemoJudgement::made_ = nullptr;

std::string scriptOf(const Case& c) {
  std::string script;
  if (c.base != nullptr) {
    std::istringstream in(slurp(kGolden / c.base));
    for (std::string l; std::getline(in, l);) {
      const bool event = !l.empty() && l[0] >= '0' && l[0] <= '9';
      if (c.cutAtMs > 0 && event && std::stol(l) >= c.cutAtMs) continue;
      script += l + "\n";
    }
  }
  return script + c.extra;
}

TEST_F(DemoJudgement, HowDrivesEndAndWhatIsJudged) {
  ASSERT_EQ(made_->status, 0) << made_->err;
  std::string golden = std::string("case,") + kColumns + "\n";
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    const fs::path script = *dir_ / "judgement_script.txt";
    std::ofstream(script, std::ios::binary) << scriptOf(c);
    const std::string until = c.untilMs > 0 ? " --until " + std::to_string(c.untilMs) : "";
    const ToolRun run =
        runTool(DRAVOLIN_DRIVE_EXE, "--dir " + quoted(dir_->string()) + " " + c.train + " " +
                                        c.line + until + " --every 100 --script " +
                                        quoted(script.string()) + " --columns " + kColumns);
    ASSERT_EQ(run.status, 0) << run.err;
    std::vector<std::string> lines;
    const std::vector<Row> rows = rowsOf(run.out, lines);
    ASSERT_FALSE(rows.empty());
    for (std::size_t i = 0; i < rows.size(); ++i) {
      bool keep = i + 1 == rows.size();
      for (const char* col : kJudgementColumns) {
        keep = keep || (i > 0 && rows[i].at(col) != rows[i - 1].at(col));
      }
      if (keep) golden += std::string(c.name) + "," + lines[i] + "\n";
      // A standing train's distance stays where it stopped (a practice tool may move it).
      if (!c.practice && i > 0 && num(rows[i], "Speed") == 0 && num(rows[i - 1], "Speed") == 0) {
        ASSERT_EQ(rows[i].at("Distance"), rows[i - 1].at("Distance")) << lines[i];
      }
    }
    const Row& end = rows.back();
    EXPECT_EQ(end.at("Eval.Kind"), c.kind);
    EXPECT_EQ(end.at("Eval.Practice"), c.practice ? "1" : "0");
    EXPECT_EQ(end.at("Eval.Finished"), c.finished ? "1" : "0");
    const std::string name = c.name;
    if (name == "205 creeps on at 川辺") {
      // The stop error is the one of the stop at which the doors opened, though the train
      // stood 1.5 m further on when it left.
      std::size_t opened = 0;
      for (std::size_t i = 1; i < rows.size() && opened == 0; ++i) {
        if (rows[i].at("Eval.Station") == "1" && rows[i].at("DoorsOpen") == "1") opened = i;
      }
      ASSERT_GT(opened, 0u);
      EXPECT_EQ(end.at("Eval.Station"), "1");
      EXPECT_EQ(end.at("Eval.StopCm"), rows[opened].at("Eval.StopCm"));
      const Row& creptOn = rows[205000 / 100 - 1];  // standing again, doors closed
      EXPECT_EQ(num(creptOn, "Speed"), 0);
      EXPECT_GT(num(creptOn, "Distance") - num(rows[opened], "Distance"), 100)
          << "the train did not creep on";
    }
    if (name == "205 into the buffer stop") {
      // Stopped on the last frame at once, the brake at emergency; 緑台 was not a stop.
      EXPECT_EQ(end.at("FrameIndex"), "12963");
      EXPECT_EQ(num(end, "Speed"), 0);
      EXPECT_EQ(end.at("BrakeHandle"), "-4");
      EXPECT_EQ(end.at("Eval.Station"), "3");
      EXPECT_EQ(end.at("Eval.Outcome"), "passed");
    }
    if (name == "205 overran 川辺, moved back") {
      EXPECT_EQ(end.at("Eval.Station"), "2");
      EXPECT_EQ(end.at("Eval.Outcome"), "passed");
      // Before the move 川辺 was passed: 50 points; the move judges it from its departure.
      const Row& moved = rows[150000 / 100 - 1];
      EXPECT_EQ(moved.at("Eval.Outcome"), "origin");
      EXPECT_EQ(moved.at("Eval.Score"), "100");
      EXPECT_EQ(rows[149000 / 100 - 1].at("Eval.Score"), "50");
    }
  }
  const char* update = std::getenv("DRAVOLIN_UPDATE_GOLDEN");
  if (update != nullptr && std::string(update) == "1") {
    std::ofstream(kGolden / "demo_judgement.csv", std::ios::binary) << golden;
  }
  EXPECT_EQ(golden, slurp(kGolden / "demo_judgement.csv"));
}

}  // namespace
}  // namespace dravolin::testing
