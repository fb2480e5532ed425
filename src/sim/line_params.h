// The line-file values that the simulation ticks read: the start of the run, the frame rate of
// the recording and the speed profile of the recorded run ("[SpeedUnit]"), whose end distances
// are derived at load. The line file reader fills this struct; the simulation only reads it.
#pragma once

#include <vector>

namespace dravolin::sim {

// One row of the recorded run's speed profile: between startFrame (inclusive) and endFrame
// (exclusive) the recording speed runs linearly from startSpeed to endSpeed.
struct SpeedUnitRow {
  int startFrame = 0;
  int endFrame = 0;
  int startSpeed = 0;   // km/h at startFrame
  int endSpeed = 0;     // km/h at endFrame
  int endDistance = 0;  // cm from the first row's start frame to this row's end (derived at load)
};

struct LineParams {
  int StartPos = 0;       // frame at which the run starts
  int StartTime = 0;      // clock ticks of 1/30 s from midnight
  int FrameRate = 30;     // frames per second of the recorded run, 1 to 30
  int PreTimeFrames = 0;  // "[Pre_Time]" seconds x 30
  std::vector<SpeedUnitRow> SpeedUnit;
};

}  // namespace dravolin::sim
