// The judgement of a drive: at every station where the train is to stop, where it came to rest
// against the stop mark, when it arrived and left against the timetable, and what the train
// protection did on the way there; a score per station and for the drive. It watches the train
// once per display tick, after the tick's steps, and allocates nothing while it does.
//
// Scoring (each stopping station starts with 100 points, never below 0):
//   stop error      |error| up to 10 cm costs nothing, then 1 point per further 10 cm begun,
//                   at most 50; a stop passed without stopping scores 0
//   arrival         1 point per 10 s begun after the departure-sound time, at most 20
//   departure       leaving before the departure time costs 20; more than 30 s after it,
//                   1 point per 10 s begun beyond the 30 s, at most 20
//   on the way      ATS brake 20, pattern brake 10, ATC brake 10, EB-device brake 10,
//                   emergency brake while moving 10, ATS alarm 2, overspeed at a limit 5
// The drive's score is the mean of its judged stations, rounded (ties to even); 0 with none.
// The station the drive starts at (or is moved to) is judged on its departure only.
//
// The stop: a rest (speed rounding to 0 km/h) counts as a stop in the stopping range when both
// its frame and its distance lie in the range, the distance being the one the stop error is
// measured with. The stop judged is the one at which the doors open; until they open, the
// latest stop in the range, each taken when the train comes to rest, so a stop is never changed
// while the train stands. Once the doors have opened the judgement of the stop is final. At the
// last station the drive's judgement ends there: when the doors open, or, where they do not
// open by themselves (a station of type 2, a one-man line), at the first stop in the range; or
// when the train goes through the last station without stopping. A station is left once the
// train is outside its range by frame, or past it by distance.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <vector>

#include "data/line_file.h"
#include "sim/protection_state.h"
#include "sim/train_state.h"

namespace dravolin::drive {

// What the train protection and the driver's brake did, counted per event.
struct ProtectionEvents {
  int atsAlarms = 0;
  int atsBrakes = 0;
  int patternBrakes = 0;
  int atcBrakes = 0;
  int ebBrakes = 0;         // the EB (dead-man) device braked
  int emergencyBrakes = 0;  // the driver put the brake to EB while moving
  int overspeeds = 0;       // times the speed went above a speed limit
  int total() const {
    return atsAlarms + atsBrakes + patternBrakes + atcBrakes + ebBrakes + emergencyBrakes +
           overspeeds;
  }
  bool operator==(const ProtectionEvents&) const = default;
};

// Judgement of one stopping station.
struct StationResult {
  enum class Outcome {
    Ahead,    // not reached yet
    Origin,   // the drive started here (or was moved here): only the departure counts
    Stopped,  // came to rest in the stopping range
    Passed,   // went through the range without stopping
  };
  int station = 0;  // index in the line's station list
  std::string nameUtf8;
  Outcome outcome = Outcome::Ahead;
  int stopErrorCm = 0;          // of the stop judged: > 0 over the mark, < 0 short of it
  int arrivalTicks = -1;        // clock (1/30 s) when the train first came to rest; -1 none
  int departureTicks = -1;      // clock when it last moved off from rest here; -1 none
  int departureSoundTicks = 0;  // the timetable's departure-sound time
  int departureTimeTicks = 0;   // the timetable's departure time
  bool last = false;            // the line's last stopping station: no departure is judged
  bool doorsOpened = false;     // the doors opened at the stop judged: it is final
  bool left = false;            // the train has left the stopping range after its stop
  ProtectionEvents onTheWay;    // from the previous station to leaving this one
  bool judged() const { return outcome != Outcome::Ahead; }
  // Seconds against the timetable (arrival against the departure-sound time); > 0 late.
  int arrivalLateS() const;
  int departureLateS() const;
};

// Points off one station, by cause, and its score.
struct StationScore {
  int stop = 0;
  int arrival = 0;
  int departure = 0;
  int protection = 0;
  int points = 100;
};
StationScore scoreStation(const StationResult& r);

// How a drive ended, had it ended now: complete (stopped at the last station), abandoned (some
// station judged after the start, but not the stop at the last one) or not driven (no station
// judged after the start).
enum class DriveKind { NotDriven, Abandoned, Complete };
// "complete", "abandoned" or "not-driven": the history's name of a kind.
const char* driveKindName(DriveKind kind);

class Evaluation {
 public:
  Evaluation() = default;
  // One result per stopping station (types 0 and 2) of the line; the train stands at `state`.
  Evaluation(const data::LineFile& line, const sim::TrainState& state, int emergencyNotch);

  // After each display tick.
  void displayTick(const sim::TrainState& s, const sim::ProtectionState& p);
  // The train was put at a station by the move command: it starts from there again, and every
  // station it stood at before counts as left.
  void moved(const sim::TrainState& s);
  // A practice tool (the move command after Start, the frame, clock and speed keys) was used:
  // the drive is judged as before but is a practice drive.
  void markPractice() { practice_ = true; }
  bool practice() const { return practice_; }

  const std::vector<StationResult>& stations() const { return results_; }
  // The result judged last (the latest stop or pass); nullptr before the first.
  const StationResult* latest() const {
    return latest_ < 0 ? nullptr : &results_[static_cast<std::size_t>(latest_)];
  }
  // Events since the last station was judged.
  const ProtectionEvents& pending() const { return pending_; }
  // Whether the drive's judgement is over: the stop at the last stopping station is final
  // (the doors opened there), or the train went through that station without stopping.
  bool finished() const { return finished_; }
  // How the drive ends if it ends now.
  DriveKind kind() const;
  // The drive's score so far (mean of the judged stations).
  int score() const;

 private:
  // A stopping station's range by frame and by distance (the distances from the start of its
  // first frame to the end of its last, as the stop mark's distance is measured).
  // A range with no length by distance (no speed profile row under it) is judged by frame.
  struct Range {
    int firstFrame = 0;
    int lastFrame = 0;
    long double firstCm = 0;
    long double lastCm = 0;
    int stopCm = 0;
    bool doorsOpenThemselves = false;  // type 0 on a line whose doors the crew works
    bool stood = false;                // the train stood in the range at the previous tick
  };
  void origin(const sim::TrainState& s);
  void countEvents(const sim::TrainState& s, const sim::ProtectionState& p);
  void judge(std::size_t k, const sim::TrainState& s, bool rest);

  const data::LineFile* line_ = nullptr;
  std::vector<StationResult> results_;
  std::vector<Range> ranges_;   // one per result
  std::vector<int> stationOf_;  // line station index -> result index, -1 for a pass station
  int emergencyNotch_ = 0;
  ProtectionEvents pending_;
  int latest_ = -1;
  int previousFrame_ = 0;
  long double previousDistance_ = 0;
  bool previousAtRest_ = true;
  bool finished_ = false;
  bool practice_ = false;
  // The protection as the previous tick left it.
  bool previousAlarm_ = false;
  bool previousAtsBrake_ = false;
  bool previousAtcBrake_ = false;
  int previousPattern_ = 0;
  int previousEbIdle_ = 0;
  bool previousEmergency_ = true;
  bool previousOverspeed_ = false;
};

}  // namespace dravolin::drive
