// Soak driving: a drive run for hours of virtual time on random driver input, with the drive's
// invariants checked after every display tick, and a failing run reduced to a short script.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "data/sound_layout.h"
#include "drive/drive.h"
#include "platform/virtual_sound_slots.h"
#include "tools/drive/script.h"

namespace dravolin::tools {

// The sound service of a checked drive: sounds in virtual time that also notice a play on a slot
// outside the drive's sound layout (a slot no sound of the drive was assigned to; a layout slot
// whose file is missing stays silent and is no fault), a slot number out of range and a rate that
// is not a finite number.
class CheckedSoundSlots : public platform::VirtualSoundSlots {
 public:
  bool initialise() override;
  // The drive's slots, from its start-up; plays are checked from then on.
  void setLayout(const data::SoundLayout& layout);
  void playOnce(int slot) override;
  void playLooped(int slot) override;
  void setFrequencyRatio(int slot, double ratio) override;
  // The first fault seen since the last call, or empty; clears it.
  std::string takeFault();

 private:
  // Keeps the first fault without allocating: it is seen inside the ticks.
  void noteFault(int slot, const char* what);
  void checkPlay(int slot, const char* how);
  std::array<bool, kSlotCount> assigned_{};  // in the drive's layout
  bool checking_ = false;
  const char* fault_ = nullptr;
  int faultSlot_ = 0;
};

// The invariants of a drive after a display tick: finite numbers, handles, notches, pressures
// and speed inside their ranges, the frame inside the line video, pictures drawn from their
// lists. Returns a message naming the first one broken, or empty.
std::string checkDriveInvariants(const drive::Drive& drive);

// Where a train stood before a tick: what the invariant of the tick compares.
struct TickStart {
  sim::Fixed speed;
  long double distance = 0;
  int speedUnitSegment = -1;
};
inline TickStart tickStart(const sim::TrainState& s) {
  return {s.Speed, s.Distance, s.SpeedUnitSegment};
}

// The invariant of one tick: a train whose Speed is 0 before the tick and after it has not moved,
// so its Distance is the one it had before the tick (`tick` names the tick in the message). The
// one exception is a tick that takes a standing train into another row of the speed table: a
// frame key (Shift+F5 to Shift+F8) moved its frame there, and the position step puts its
// distance where that row begins. Returns a message naming the invariant ("DistanceAtRest"), or
// empty. A Distance that is not a finite number is left to checkDriveInvariants.
std::string checkDistanceAtRest(const TickStart& before, const sim::TrainState& after,
                                const char* tick);

// What the random driver may do on one drive.
struct RandomContext {
  std::vector<int> stations;                 // the "Move" menu's "StaN" entries, as N
  std::vector<std::string> controllerCodes;  // the controller box's codes ("mascon.dat")
};

// A small deterministic generator (splitmix64): the same seed gives the same drive everywhere.
class SoakRandom {
 public:
  explicit SoakRandom(std::uint64_t seed) : state_(seed) {}
  std::uint64_t next();
  // A whole number from lo to hi, both included (lo <= hi).
  int between(int lo, int hi);
  // True with the given chance in percent.
  bool percent(int chance) { return between(1, 100) <= chance; }

 private:
  std::uint64_t state_;
};

// One kind of driver event: its share of the events and how one is made up, either from a
// pattern of its script line (after the time) in which {LO..HI} stands for a whole number from LO
// to HI and {A|B|C} for one of the words, or by a function (for events drawn from the drive).
struct RandomEventKind {
  const char* name;
  int weight;
  const char* pattern;
  void (*make)(SoakRandom& random, const RandomContext& context, ScriptEvent& event) = nullptr;
};

// Every kind of event the random driver uses. A new kind of input that the script reads is one
// more row here, with its pattern (say {"axis", 5, "axis {0..7} {-32768..32767}"}).
const std::vector<RandomEventKind>& randomEventKinds();

// The pattern with its choices drawn. Throws std::invalid_argument on an unclosed brace.
std::string expandPattern(SoakRandom& random, std::string_view pattern);

// One event of the kind at the given time. Throws std::invalid_argument when a pattern does not
// give a script line.
ScriptEvent makeRandomEvent(SoakRandom& random, const RandomContext& context,
                            const RandomEventKind& kind, int timeMs);

// The random driver's script for one drive: Start within the first seconds, then events at
// irregular gaps (bursts of keys, a driver's pace, long runs without input) up to `untilMs`; a
// Start that pauses is followed by one that resumes a moment later.
std::vector<ScriptEvent> randomScript(std::uint64_t seed, int untilMs,
                                      const RandomContext& context);

// Counts heap allocations: returns the number made so far. Set by a program that counts them.
using AllocationCount = long (*)();

// A broken invariant: when, and what.
struct SoakFailure {
  int timeMs = 0;
  std::string message;
};

// Runs a drive from t = 1 to `untilMs` as the headless drive does (events, then the simulation
// tick and the display tick while running), checking the invariants after every display tick and
// the sound service after every millisecond; with `allocations`, a tick that allocates breaks
// the run too. Returns the first failure; fills `stats`, when given, with what the run covered.
struct SoakStats {
  long displayTicks = 0;
  long double fastestKmh = 0;  // the highest |Speed|
  int lastFrame = 0;           // the highest FrameIndex reached
  int stationStops = 0;        // display ticks at which the doors opened
};
std::optional<SoakFailure> runChecked(drive::Drive& drive, CheckedSoundSlots& sounds,
                                      const std::vector<ScriptEvent>& events, int untilMs,
                                      AllocationCount allocations, SoakStats* stats = nullptr);

// What the random driver may do on a loaded drive: its "Move" entries and controller codes.
RandomContext randomContext(const drive::Drive& drive);

// A freshly loaded drive; `services` keeps alive what the drive uses (its sound service, the
// program's input state) and goes after it.
struct CheckedDrive {
  std::shared_ptr<void> services;
  CheckedSoundSlots* sounds = nullptr;
  input::ProgramInputState* program = nullptr;  // the keypad swap the drive works with
  std::unique_ptr<drive::Drive> drive;
};
using DriveLoader = std::function<CheckedDrive()>;

// Replays `events` on fresh drives, dropping events while the run still breaks the same
// invariant, and returns the shortest script found (its events and the time of the failure),
// within `maxReplays` replays and about `maxSeconds` of wall time.
struct ReducedFailure {
  std::vector<ScriptEvent> events;
  SoakFailure failure;
};
ReducedFailure reduceFailure(const DriveLoader& load, std::vector<ScriptEvent> events,
                             const SoakFailure& failure, AllocationCount allocations,
                             int maxReplays, double maxSeconds);

}  // namespace dravolin::tools
