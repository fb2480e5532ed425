#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "data/text_encoding.h"
#include "fixtures/run_tool.h"

namespace dravolin::testing {
namespace {

namespace fs = std::filesystem;

fs::path scratch(const std::string& name) {
  return fs::temp_directory_path() / ("dravolin_demo_" + std::to_string(::getpid()) + "_" + name);
}

// The demo written once in fast mode (data files, pictures, synthesised sounds), shared by the
// tests of this file.
class DemoOutput : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new fs::path(scratch("fast"));
    fs::remove_all(*dir_);
    run_ = new ToolRun(runTool(DRAVOLIN_MAKE_DEMO_EXE, quoted(dir_->string()) + " --fast"));
  }
  static void TearDownTestSuite() {
    fs::remove_all(*dir_);
    delete dir_;
    delete run_;
  }
  static ToolRun check(const std::string& train, const std::string& line) {
    return runTool(DRAVOLIN_CHECK_EXE,
                   "--dir " + quoted(dir_->string()) + " " + train + " " + line);
  }
  // The lines of a data file, converted to UTF-8, without their CR LF.
  static std::vector<std::string> lines(const std::string& name) {
    std::vector<std::string> out;
    std::istringstream in(data::cp932ToUtf8(slurp(*dir_ / name)));
    for (std::string l; std::getline(in, l);) {
      if (!l.empty() && l.back() == '\r') l.pop_back();
      out.push_back(l);
    }
    return out;
  }
  // The records of a list key, up to its "#" line.
  static std::vector<std::string> list(const std::string& file, const std::string& key) {
    const std::vector<std::string> all = lines(file);
    std::vector<std::string> out;
    bool in = false;
    for (const std::string& l : all) {
      if (in && !l.empty() && l[0] == '#') break;
      if (in) out.push_back(l);
      if (l == key) in = true;
    }
    return out;
  }
  static std::vector<long> fields(const std::string& record) {
    std::vector<long> out;
    std::istringstream in(record);
    for (std::string f; std::getline(in, f, ',');)
      out.push_back(std::strtol(f.c_str(), nullptr, 10));
    return out;
  }

  static fs::path* dir_;
  static ToolRun* run_;
};

fs::path* DemoOutput::dir_ = nullptr;
ToolRun* DemoOutput::run_ = nullptr;

struct Pair {
  const char* train;
  const char* line;
  const char* trainRecord;   // the check's train line
  const char* stationTypes;  // types of the four stations
};

const Pair kPairs[] = {
    {"E231_train.dat", "E231_line2.dat",
     "train Power=4 Brake=9 BrakeType=1 Engine_Type=1 Cars=10 Tons=290.0000 Mt=150.0000 "
     "MaxSpeed=120",
     "0010"},
    {"205_train.dat", "205_line.dat",
     "train Power=4 Brake=4 BrakeType=0 Engine_Type=1 Cars=6 Tons=200.0000 Mt=140.0000 "
     "MaxSpeed=100",
     "0000"},
};

TEST_F(DemoOutput, BothDrivesPassTheCheck) {
  ASSERT_EQ(run_->status, 0) << run_->err;
  for (const Pair& p : kPairs) {
    SCOPED_TRACE(p.line);
    const ToolRun r = check(p.train, p.line);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.rfind("ok\n", 0), 0u);
    EXPECT_NE(r.out.find(p.trainRecord), std::string::npos) << r.out;
    // Full image lists: 22 signal codes, stop marker, two gradients and 22 limits, three signs.
    EXPECT_NE(r.out.find("signimages=25 otherimages=3 signalimages=22"), std::string::npos);
    EXPECT_NE(r.out.find("kanko=28"), std::string::npos);
    std::string types;
    for (const std::string& s : list(p.line, "[Station]")) types += s.substr(s.find(',') + 1, 1);
    EXPECT_EQ(types, p.stationTypes);
  }
}

// Every station's stop position lies where the recording stands (at 1 km/h, never at 0, so a
// train at the recording's speed leaves again), so the video, the distances and the stations
// agree; no row of the recording is at 0 km/h; no block is longer than 700 m.
TEST_F(DemoOutput, StopsAndSignalsMatchTheRecordedRun) {
  for (const Pair& p : kPairs) {
    SCOPED_TRACE(p.line);
    std::vector<std::vector<long>> units;
    for (const std::string& u : list(p.line, "[SpeedUnit]")) units.push_back(fields(u));
    ASSERT_GT(units.size(), 10u);
    const long frames = units.back()[1];
    EXPECT_GT(frames, 6 * 60 * 30);
    EXPECT_LT(frames, 8 * 60 * 30);
    for (const std::string& s : list(p.line, "[Station]")) {
      const std::vector<long> f = fields(s);
      const double mid = (f[2] + f[3]) / 2.0;
      bool standing = false;
      for (const auto& u : units) standing |= u[0] < mid && mid < u[1] && u[2] == 1 && u[3] == 1;
      EXPECT_TRUE(standing) << s;
    }
    for (const auto& u : units) EXPECT_TRUE(u[2] > 0 && u[3] > 0) << u[0];
    const ToolRun r = check(p.train, p.line);
    std::istringstream in(r.out);
    long last = -1;
    int signals = 0;
    for (std::string l; std::getline(in, l);) {
      long i, distance, limit, signal;
      if (std::sscanf(l.c_str(), "checkpoint %ld %ld %ld %ld", &i, &distance, &limit, &signal) != 4)
        continue;
      if (limit != 0) continue;
      ++signals;
      if (last >= 0) {
        EXPECT_LE(distance - last, 70500) << l;
        EXPECT_GT(distance - last, 30000) << l;
      }
      last = distance;
    }
    EXPECT_EQ(signals, static_cast<int>(list(p.line, "[Signal]").size()));
  }
}

// Data files are Shift-JIS with CR LF line ends and name files with "\"; every picture and
// every synthesised sound they name exists.
TEST_F(DemoOutput, DataFilesNameFilesThatExist) {
  for (const char* name : {"E231_train.dat", "205_train.dat", "E231_line2.dat", "205_line.dat",
                           "dravolin.dat", "mascon.dat", "operation.dat"}) {
    SCOPED_TRACE(name);
    const std::string bytes = slurp(*dir_ / name);
    ASSERT_FALSE(bytes.empty());
    for (std::size_t at = bytes.find('\n'); at != std::string::npos;
         at = bytes.find('\n', at + 1)) {
      ASSERT_TRUE(at > 0 && bytes[at - 1] == '\r') << "bare LF at byte " << at;
    }
    for (const std::string& l : lines(name)) {
      const bool picture = l.size() > 4 && (l.ends_with(".bmp") || l.ends_with(".jpg"));
      const bool sound = l.ends_with(".wav");
      if (!picture && !sound) continue;
      EXPECT_EQ(l.find('/'), std::string::npos) << l;
      // Spoken sounds are left out in fast mode.
      if (sound &&
          (l.find("callout") != std::string::npos || l.find("rapid_") != std::string::npos ||
           l.find("local_") != std::string::npos)) {
        continue;
      }
      std::string path = l;
      for (char& c : path) c = c == '\\' ? '/' : c;
      EXPECT_TRUE(fs::exists(*dir_ / path)) << l;
    }
  }
  for (const char* name : {"image/title/title.jpg", "image/title/train2.bmp",
                           "image/title/train5.bmp", "image/title/help.bmp", "image/title/quit.bmp",
                           "image/title/loading.bmp", "image/atsp.bmp", "readme.html"}) {
    EXPECT_TRUE(fs::exists(*dir_ / name)) << name;
  }
}

// The same bytes on every run: a second fast run writes identical files.
TEST_F(DemoOutput, IsDeterministic) {
  const fs::path again = scratch("again");
  fs::remove_all(again);
  ASSERT_EQ(runTool(DRAVOLIN_MAKE_DEMO_EXE, quoted(again.string()) + " --fast").status, 0);
  int files = 0;
  for (const auto& e : fs::recursive_directory_iterator(*dir_)) {
    if (!e.is_regular_file()) continue;
    const fs::path rel = fs::relative(e.path(), *dir_);
    ASSERT_TRUE(fs::exists(again / rel)) << rel;
    EXPECT_TRUE(slurp(e.path()) == slurp(again / rel)) << rel;
    ++files;
  }
  EXPECT_GT(files, 150);
  fs::remove_all(again);
}

// Starting acceleration and service braking of both trains, from their run curves: full power
// from standstill, then the highest service brake step at 45 s.
TEST_F(DemoOutput, TrainsAccelerateAndBrakeBelievably) {
  struct Case {
    const char* train;
    int serviceStep;
  };
  for (const Case& c : {Case{"E231_train.dat", 8}, Case{"205_train.dat", 3}}) {
    SCOPED_TRACE(c.train);
    const std::string cmd =
        "cd " + quoted(dir_->string()) + " && " + quoted(DRAVOLIN_CURVE_EXE) + " " + c.train +
        " --until 60000 --set 1:4:0 --set 45000:0:" + std::to_string(c.serviceStep);
    const ToolRun r = runTool("sh", "-c " + quoted(cmd));
    ASSERT_EQ(r.status, 0) << r.err;
    std::map<long, double> speed;  // t_ms -> km/h
    std::istringstream in(r.out);
    std::string l;
    std::getline(in, l);
    while (std::getline(in, l))
      speed[std::strtol(l.c_str(), nullptr, 10)] =
          std::strtod(l.c_str() + l.find(',') + 1, nullptr);
    auto at = [&](long ms) { return speed.lower_bound(ms)->second; };
    // Accelerating from 10 km/h (the brake has released by then) over 6 s.
    long t10 = 0;
    for (const auto& [t, v] : speed) {
      if (v >= 10) {
        t10 = t;
        break;
      }
    }
    ASSERT_GT(t10, 0);
    const double accel = (at(t10 + 6000) - at(t10)) / 6.0;
    EXPECT_GE(accel, 2.5);
    EXPECT_LE(accel, 3.0);
    const double brake = (at(49000) - at(55000)) / 6.0;
    EXPECT_GE(brake, 3.5);
    EXPECT_LE(brake, 4.2);
  }
}

// Spoken call-outs come from espeak-ng and are the same bytes every time.
TEST(DemoSpeech, SpokenCallOutIsDeterministic) {
  if (std::system("command -v espeak-ng > /dev/null 2>&1") != 0) GTEST_SKIP() << "no espeak-ng";
  const fs::path a = scratch("speech_a"), b = scratch("speech_b");
  const std::string only = " --only " + quoted("sound\\callout\\k12.wav");  // limit 45 km/h
  ASSERT_EQ(runTool(DRAVOLIN_MAKE_DEMO_EXE, quoted(a.string()) + only).status, 0);
  ASSERT_EQ(runTool(DRAVOLIN_MAKE_DEMO_EXE, quoted(b.string()) + only).status, 0);
  const std::string wav = slurp(a / "sound/callout/k12.wav");
  EXPECT_EQ(wav.substr(0, 4), "RIFF");
  EXPECT_GT(wav.size(), 10000u);  // about half a second of speech at least
  EXPECT_TRUE(wav == slurp(b / "sound/callout/k12.wav"));
  EXPECT_FALSE(fs::exists(a / "E231_line2.dat"));  // only the one file
  fs::remove_all(a);
  fs::remove_all(b);
}

TEST(DemoUsage, RejectsAWrongCommandLineAndAnUnknownFile) {
  EXPECT_EQ(runTool(DRAVOLIN_MAKE_DEMO_EXE, "").status, 2);
  EXPECT_EQ(runTool(DRAVOLIN_MAKE_DEMO_EXE, "a b").status, 2);
  const fs::path d = scratch("unknown");
  const ToolRun r = runTool(DRAVOLIN_MAKE_DEMO_EXE, quoted(d.string()) + " --only nothing.dat");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("nothing.dat"), std::string::npos);
  fs::remove_all(d);
}

}  // namespace
}  // namespace dravolin::testing
