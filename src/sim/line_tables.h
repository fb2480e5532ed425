// The line-file records that the simulation's own steps read (station stops, signals and train
// protection). The line file reader fills them; the simulation only reads them.
#pragma once

#include <string>

namespace dravolin::sim {

// "[Station]"
struct StationRecord {
  std::string name;  // raw
  std::string nameUtf8;
  int type = 0;                // 0 stop, 1 pass, 2 stop without automatic door opening
  int rangeStart = 0;          // frame: first of the stopping range
  int rangeEnd = 0;            // frame: last of the stopping range
  int departureSound = 0;      // line sound number
  int departureSoundTime = 0;  // clock ticks of 1/30 s from midnight
  int departureTime = 0;       // clock ticks of 1/30 s from midnight
  int stopDistance = 0;        // cm along the line to the middle of the range (derived; 0 if none)
  std::string line;            // the record as written (raw), for error messages
};

// "[Signal]": field meanings belong to the signals logic.
struct SignalRecord {
  int control = 0;
  std::string name;  // raw
  std::string nameUtf8;
  int kind = 0;
  int displayFromFrame = 0;
  int boundaryFrame = 0;
  int transponderFrame = 0;
  int checkFrame = 0;  // frame; its distance becomes a pattern check point
  int fixedState = 0;
  int until = 0;     // clock ticks of 1/30 s from midnight
  std::string line;  // the record as written (raw), for error messages
};

// "[SpeedCheck]"
struct SpeedCheckRecord {
  int speed = 0;  // km/h
  int frame = 0;
};

// One entry of the pattern check point list: a signal (limit 0) or a speed limit.
struct CheckPoint {
  int distance = 0;     // cm along the line
  int limit = 0;        // km/h; 0 marks a signal entry
  int signalIndex = 0;  // index in signals for a signal entry, 0 for a speed limit

  bool operator==(const CheckPoint&) const = default;
};

}  // namespace dravolin::sim
