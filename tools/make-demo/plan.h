// The plan of the demo line: one recorded run (the speed profile) and everything placed along
// it. The video, the two line files and the sounds are all derived from this one plan, so their
// frames and distances agree.
#pragma once

#include <string>
#include <vector>

namespace dravolin::demo {

inline constexpr int kFps = 30;
// The recording's speed where it stands at a station. Never 0: a train that follows the
// recording (the recording-speed mode takes its speed from the row it is in) would never leave
// a row at 0 km/h. At 1 km/h the camera moves 28 cm a second, which still looks like standing.
inline constexpr int kStandKmh = 1;

// One "[SpeedUnit]" row: speed changes linearly over the frames.
struct SpeedRow {
  int f0 = 0, f1 = 0;  // start and end frame
  int v0 = 0, v1 = 0;  // km/h at f0 and f1
};

struct Station {
  std::string name;    // kanji, UTF-8
  std::string kana;    // reading, for the announcements
  double stopM = 0;    // stop position, metres from the line's origin
  int stopFrame = 0;   // first frame of the recorded stand (kStandKmh)
  int rangeStart = 0;  // stopping range, frames
  int rangeEnd = 0;
  int arriveFrame = 0;  // frame at which the recording reached the stop
};

struct SignalPlan {
  std::string name;
  int kind = 3;     // 2: three aspects (home, starting); 3: four aspects (block)
  double posM = 0;  // the signal's position
};

struct CurvePlan {
  double fromM = 0, toM = 0;  // extent of the curve
  double curvature = 0;       // 1/m, positive to the right
  int limit = 0;              // km/h
};

struct SlopePlan {
  double fromM = 0, toM = 0;
  double permil = 0;  // positive uphill
};

struct Range {
  double fromM = 0, toM = 0;
};

struct Plan {
  std::vector<SpeedRow> rows;
  std::vector<double> frameM;  // camera position of every frame, metres
  std::vector<Station> stations;
  std::vector<SignalPlan> blockSignals;
  std::vector<CurvePlan> curves;
  std::vector<SlopePlan> slopes;
  Range tunnel, bridge;
  double crossingM = 0;
  double passingM = 0;  // where the passing train's front meets the camera
  int passingFrame = 0;
  double passingSpeedKmh = 85;  // the oncoming train
  double passingLengthM = 200;
  int passedStation = 2;  // the station the rapid service passes
  int startPos = 30;

  int frameCount() const { return static_cast<int>(frameM.size()); }
  double lengthM() const { return frameM.empty() ? 0 : frameM.back(); }
  // Recorded speed at a frame, km/h.
  double speedAt(int frame) const;
  // The first frame whose camera position is at or beyond `metres`.
  int frameAt(double metres) const;
  // A frame strictly inside a speed row (not on a row boundary), near `frame`.
  int insideRow(int frame) const;
  double curvatureAt(double m) const;
  double gradientAt(double m) const;  // permil
  bool inTunnel(double m) const { return m >= tunnel.fromM && m <= tunnel.toM; }
};

// Builds the plan of the demo line (always the same).
Plan makePlan();

// Fills plan.frameM from plan.rows: the camera position of every frame up to the last row's end,
// by the loader's distance formula.
void placeFrames(Plan& plan);

}  // namespace dravolin::demo
