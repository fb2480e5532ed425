#include "tools/curve/run_curve.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "fixtures/sample_trains.h"

namespace dravolin::tools {
namespace {

std::vector<std::vector<std::string>> csvRows(const std::string& text) {
  std::vector<std::vector<std::string>> rows;
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    std::vector<std::string> fields;
    std::istringstream cells(line);
    std::string cell;
    while (std::getline(cells, cell, ',')) fields.push_back(cell);
    rows.push_back(fields);
  }
  return rows;
}

// A type 2 brake has no pipe to recharge, so the released brake lets the train roll at once.
sim::TrainParams curveTrain() {
  sim::TrainParams p = testing::electricTrain();
  p.BrakeType = 2;
  return p;
}

std::string run(const sim::TrainParams& p, const std::vector<std::string>& args) {
  std::string error;
  std::vector<std::string> all = {"train.dat"};
  all.insert(all.end(), args.begin(), args.end());
  const auto options = parseCurveArguments(all, error);
  EXPECT_TRUE(options.has_value()) << error;
  std::ostringstream out;
  if (options) runCurve(p, *options, out);
  return out.str();
}

TEST(RunCurve, OneRowPerDisplayTickAfterTheHeader) {
  const auto rows = csvRows(run(curveTrain(), {"--until", "1050"}));
  ASSERT_EQ(rows.size(), 11u);
  EXPECT_EQ(rows[0],
            (std::vector<std::string>{"t_ms", "Speed", "PowerNotch", "BrakeNotch", "TractiveForce",
                                      "ResistanceForce", "BrakePressure", "BpPressure",
                                      "SapPressure", "MrPressure", "BcPressure", "Distance",
                                      "WheelState", "Gear", "EngineOutput"}));
  EXPECT_EQ(rows[1][0], "100");
  EXPECT_EQ(rows[10][0], "1000");
  // The load state: emergency brake at 440 kPa, reservoir at 780 kPa, standing.
  EXPECT_EQ(rows[1][1], "0.0000");
  EXPECT_EQ(rows[1][3], "-8");
  EXPECT_EQ(rows[1][6], "440.0000");
  EXPECT_EQ(rows[1][9], "780.0000");
  EXPECT_EQ(rows[1][11], "0.0000");
  EXPECT_EQ(rows[1][12], "Normal");
}

// The handles are set at 1 ms: the brake notch follows after 2 ticks (66 ms) and the power notch
// after 3 (99 ms); the first tick with power in effect is the one at 132 ms.
TEST(RunCurve, HandleSetsTakeEffectAfterTheTrainsDelays) {
  const auto rows = csvRows(run(curveTrain(), {"--until", "20000", "--set", "1:4:0"}));
  EXPECT_EQ(rows[1][2], "4");
  EXPECT_EQ(rows[1][3], "0");
  EXPECT_EQ(rows[1][4], "0.0000");  // the notch arrived after this tick's traction
  EXPECT_EQ(rows[2][4], "250000.0000");
  // Release from 440 kPa in three stages of BrakeDown 30: 1 kPa per tick down to 200.
  EXPECT_EQ(rows[1][6], "439.0000");
  // Once the brake force has fallen below the traction the train runs away.
  EXPECT_GT(std::stold(rows[200][1]), 5.0L);
  EXPECT_GT(std::stold(rows[200][11]), 0.0L);
}

TEST(RunCurve, GradientFillsEveryCarAndPullsTheTrain) {
  sim::TrainParams p = curveTrain();
  const auto rows = csvRows(run(p, {"--until", "60000", "--set", "1:0:0", "--gradient", "-25"}));
  // Downhill with the brake released: the train rolls forward under the gradient force.
  const auto& last = rows.back();
  EXPECT_GT(std::stold(last[1]), 1.0L);
  EXPECT_GT(std::stold(last[5]), 0.0L);
  EXPECT_EQ(last[2], "0");
}

// Stops and stands under brake. Each golden trace runs at full power, brakes to a stop and stands
// on; the speed reaches exactly 0 and stays there, with no swing through zero and back, while the
// brakes (or the starting resistance alone, on a gentle slope) can hold the train. On the 25
// permil fall the released brake lets the slope move the train again.
TEST(RunCurve, StopsAndStandsUnderBrake) {
  const struct {
    const char* golden;  // in tests/tools/golden
    std::vector<std::string> args;
  } cases[] = {
      {"curve_stop_level.csv", {"--until", "40000", "--set", "1:4:0", "--set", "15000:0:5"}},
      {"curve_stop_uphill.csv",
       {"--until", "40000", "--gradient", "10", "--set", "1:4:0", "--set", "15000:0:3"}},
      {"curve_stop_downhill.csv",
       {"--until", "40000", "--gradient", "-10", "--set", "1:4:0", "--set", "15000:0:5"}},
      {"curve_stop_release_downhill.csv",
       {"--until", "50000", "--gradient", "-25", "--set", "1:4:0", "--set", "12000:0:7", "--set",
        "25000:0:0"}},
      {"curve_powered_against_brake.csv", {"--until", "20000", "--set", "1:2:7"}},
      {"curve_released_gentle_fall.csv",
       {"--until", "20000", "--gradient", "-5", "--set", "1:0:0"}},
  };
  const std::filesystem::path dir = DRAVOLIN_TOOLS_GOLDEN_DIR;
  for (const auto& c : cases) {
    const std::string actual = run(curveTrain(), c.args);
    const char* update = std::getenv("DRAVOLIN_UPDATE_GOLDEN");
    if (update != nullptr && std::string(update) == "1") {
      std::ofstream(dir / c.golden, std::ios::binary) << actual;
    }
    std::ifstream in(dir / c.golden, std::ios::binary);
    std::ostringstream expected;
    expected << in.rdbuf();
    EXPECT_EQ(actual, expected.str()) << c.golden;
  }
}

TEST(RunCurve, LaterSetsOverrideEarlierOnes) {
  const auto rows =
      csvRows(run(curveTrain(), {"--until", "400", "--set", "1:4:0", "--set", "150:0:8"}));
  EXPECT_EQ(rows[4][2], "0");
  EXPECT_EQ(rows[4][3], "-8");
}

TEST(CurveArguments, RejectsWhatItCannotRun) {
  const std::vector<std::vector<std::string>> bad = {
      {"train.dat"},
      {"--until", "100"},
      {"train.dat", "--until", "0"},
      {"train.dat", "--until", "abc"},
      {"train.dat", "--until", "100", "--set", "1:4"},
      {"train.dat", "--until", "100", "--set", "1:-1:0"},
      {"train.dat", "--until", "100", "--set", "1:4:x"},
      {"train.dat", "--until", "100", "--gradient", "steep"},
      {"train.dat", "--until", "100", "--gradient", "nan"},
      {"train.dat", "--until", "100", "--fast"},
      {"a.dat", "b.dat", "--until", "100"},
  };
  for (const auto& args : bad) {
    std::string error;
    EXPECT_FALSE(parseCurveArguments(args, error).has_value()) << args.back();
    EXPECT_FALSE(error.empty());
  }
  std::string error;
  const auto ok = parseCurveArguments(
      {"t.dat", "--until", "500", "--gradient", "-2.5", "--set", "10:3:2"}, error);
  ASSERT_TRUE(ok.has_value()) << error;
  EXPECT_EQ(ok->gradient, sim::Fixed::fromRaw(-25000));
  ASSERT_EQ(ok->sets.size(), 1u);
  EXPECT_EQ(ok->sets[0].atMs, 10);
  EXPECT_EQ(ok->sets[0].power, 3);
  EXPECT_EQ(ok->sets[0].brake, 2);
}

// The gradient is read as the data files read their decimals: exactly, an exact half of the last
// count going to the even count (a binary real would make 0.00005 a little more than half).
TEST(CurveArguments, GradientIsAnExactDecimal) {
  const struct {
    const char* text;
    std::int64_t raw;
  } cases[] = {{"0.00005", 0},    {"0.00015", 2},   {"-0.00025", -2},
               {"10.25", 102500}, {"1e2", 1000000}, {"-3.33335", -33334}};
  for (const auto& c : cases) {
    std::string error;
    const auto options =
        parseCurveArguments({"t.dat", "--until", "1", "--gradient", c.text}, error);
    ASSERT_TRUE(options.has_value()) << c.text << ": " << error;
    EXPECT_EQ(options->gradient.raw(), c.raw) << c.text;
  }
}

}  // namespace
}  // namespace dravolin::tools
