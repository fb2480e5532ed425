#include "data/line_distances.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace dravolin::testing {
namespace {

using data::CheckPoint;
using data::computeLineDistances;
using data::LineFile;
using data::LoadError;

void addUnit(LineFile& line, int start, int end, int vs, int ve) {
  line.params.SpeedUnit.push_back({start, end, vs, ve, 0});
  line.speedUnitLines.push_back(std::to_string(start) + "," + std::to_string(end) + "," +
                                std::to_string(vs) + "," + std::to_string(ve));
}

void addSignal(LineFile& line, int checkFrame) {
  data::SignalRecord s;
  s.checkFrame = checkFrame;
  s.line = "0,S,1,0,0,0," + std::to_string(checkFrame) + ",0,0";
  line.signals.push_back(s);
}

void addLimit(LineFile& line, int limit, int startFrame) {
  line.speedLimits.push_back({limit, 0, startFrame, startFrame + 10, "limit"});
}

void addStation(LineFile& line, int type, int from, int to) {
  data::StationRecord s;
  s.type = type;
  s.rangeStart = from;
  s.rangeEnd = to;
  s.stopDistance = -1;  // shows whether the pass wrote it
  s.line = "station";
  line.stations.push_back(s);
}

std::string errorOf(LineFile& line) {
  try {
    computeLineDistances(line);
  } catch (const LoadError& e) {
    return e.message();
  }
  return "no error";
}

TEST(LineDistances, OneUnitOfThreeHundredFramesToSixtyIs8333cm) {
  LineFile line;
  addUnit(line, 0, 300, 0, 60);
  addSignal(line, 150);
  computeLineDistances(line);
  EXPECT_EQ(line.params.SpeedUnit[0].endDistance, 8333);
  ASSERT_EQ(line.checkPoints.size(), 1u);
  // Speed 30 km/h at frame 150: mean 15 km/h over 5 s.
  EXPECT_EQ(line.checkPoints[0], (CheckPoint{2083, 0, 0}));
}

TEST(LineDistances, SignalsFirstUnitByUnitThenSpeedLimits) {
  LineFile line;
  addUnit(line, 0, 300, 0, 60);
  addUnit(line, 300, 600, 60, 60);  // 16667 cm
  addSignal(line, 450);             // unit 2: 8333 + 8333
  addSignal(line, 150);             // unit 1
  addSignal(line, 300);             // on the boundary: no entry
  addSignal(line, 0);               // on the first start frame: no entry
  addSignal(line, 700);             // outside every unit
  addLimit(line, 45, 450);
  addLimit(line, 25, 100);  // speed 20 at frame 100: 10 km/h mean over 100/30 s
  computeLineDistances(line);
  EXPECT_EQ(line.params.SpeedUnit[0].endDistance, 8333);
  EXPECT_EQ(line.params.SpeedUnit[1].endDistance, 25000);
  EXPECT_EQ(line.checkPoints,
            (std::vector<CheckPoint>{{2083, 0, 1}, {16666, 0, 0}, {926, 25, 0}, {16666, 45, 0}}));
}

TEST(LineDistances, StopDistanceAtTheMiddleOfTheRangeForStoppingStationsOnly) {
  LineFile line;
  addUnit(line, 0, 300, 0, 60);
  addUnit(line, 300, 600, 60, 60);
  addStation(line, 0, 140, 160);  // middle 150
  addStation(line, 1, 140, 160);  // passing: untouched
  addStation(line, 2, 150, 151);  // middle 150.5 in real arithmetic: 2097.2
  addStation(line, 0, 290, 310);  // middle 300, the boundary: untouched
  addStation(line, 0, 400, 500);  // unit 2 from 8333: + 8333
  computeLineDistances(line);
  std::vector<int> stops;
  for (const auto& s : line.stations) {
    stops.push_back(s.stopDistance);
  }
  EXPECT_EQ(stops, (std::vector<int>{2083, -1, 2097, -1, 16666}));
}

TEST(LineDistances, SecondRunStartsTheCheckPointListAfresh) {
  LineFile line;
  addUnit(line, 0, 300, 0, 60);
  addSignal(line, 150);
  computeLineDistances(line);
  computeLineDistances(line);
  EXPECT_EQ(line.checkPoints.size(), 1u);
}

TEST(LineDistances, OverflowNamesTheRecord) {
  LineFile product;
  addUnit(product, 0, 300, 0, 60);
  addUnit(product, 0, 100000, 20000, 20000);  // 40000 x 100000 does not fit 32 bits
  EXPECT_EQ(errorOf(product),
            "路線ファイルに誤りがあります。[SpeedUnit]:0,100000,20000,20000\n"
            "距離の計算が整数の範囲を超えています");

  LineFile total;  // each unit 925925926 cm; the third passes 2^31
  for (int i = 0; i < 3; ++i) {
    addUnit(total, i * 1000000, (i + 1) * 1000000, 1000, 1000);
  }
  EXPECT_EQ(errorOf(total),
            "路線ファイルに誤りがあります。[SpeedUnit]:2000000,3000000,1000,1000\n"
            "距離の計算が整数の範囲を超えています");

  // A unit from 2000 to -2000 km/h has length 0, but its middle lies 462962963 cm in: past
  // 2^31 after the two units before it.
  LineFile signal;
  addUnit(signal, 0, 1000000, 1000, 1000);
  addUnit(signal, 1000000, 2000000, 1000, 1000);
  addUnit(signal, 2000000, 3000000, 2000, -2000);
  addSignal(signal, 2500000);
  EXPECT_EQ(errorOf(signal),
            "路線ファイルに誤りがあります。[Signal]:0,S,1,0,0,0,2500000,0,0\n"
            "距離の計算が整数の範囲を超えています");
  signal.signals.clear();
  addStation(signal, 0, 2400000, 2600000);
  EXPECT_EQ(errorOf(signal),
            "路線ファイルに誤りがあります。[Station]:station\n"
            "距離の計算が整数の範囲を超えています");
}

TEST(LineDistances, CheckPointListHasRoomFor501) {
  LineFile line;
  addUnit(line, 0, 1000, 60, 60);
  for (int i = 0; i < 501; ++i) {
    addSignal(line, 1 + i);
  }
  computeLineDistances(line);
  EXPECT_EQ(line.checkPoints.size(), 501u);
  addLimit(line, 40, 900);
  EXPECT_EQ(errorOf(line),
            "路線ファイルに誤りがあります。[SpeedLimit]:limit\n指定が多すぎます（最大501個）");
}

}  // namespace
}  // namespace dravolin::testing
