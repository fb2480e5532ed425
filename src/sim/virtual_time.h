// Virtual time, the one clock of every drive: one step per millisecond, with the two ticks at
// their periods. The run curve tool, the tests and the headless drive run it as fast as they
// can; the driving window runs it up to "now" from a timer, so a recorded drive replays the same.
#pragma once

namespace dravolin::sim {

inline constexpr int kSimulationTickMs = 33;  // MMTimer1Timer
inline constexpr int kDisplayTickMs = 100;    // Timer1Timer

// Runs the milliseconds t = fromMs .. untilMs (none when untilMs is below fromMs). At each t, in
// order:
//   eachMs(t)            script events of that millisecond (handles, start/pause, ...);
//   simulationTick(t)    when t is a multiple of 33 and `running` is set;
//   displayTick(t)       when t is a multiple of 100 and `running` is set;
//   afterMs(t)           trace output.
// `running` is read at every step, so eachMs may start and pause the ticks. The hooks are called
// directly (no type erasure), so a step allocates nothing of its own. The headless drive runs
// the whole range at once; the driving window runs it in pieces, up to "now" each time.
template <typename EachMs, typename SimulationTick, typename DisplayTick, typename AfterMs>
void runVirtualTimeRange(int fromMs, int untilMs, const bool& running, EachMs&& eachMs,
                         SimulationTick&& simulationTick, DisplayTick&& displayTick,
                         AfterMs&& afterMs) {
  for (int t = fromMs; t <= untilMs; ++t) {
    eachMs(t);
    if (running && t % kSimulationTickMs == 0) {
      simulationTick(t);
    }
    if (running && t % kDisplayTickMs == 0) {
      displayTick(t);
    }
    afterMs(t);
    if (t == untilMs) {
      break;  // untilMs may be the largest int: ++t must not run past it
    }
  }
}

// The whole run from t = 1.
template <typename EachMs, typename SimulationTick, typename DisplayTick, typename AfterMs>
void runVirtualTime(int untilMs, const bool& running, EachMs&& eachMs,
                    SimulationTick&& simulationTick, DisplayTick&& displayTick, AfterMs&& afterMs) {
  runVirtualTimeRange(1, untilMs, running, eachMs, simulationTick, displayTick, afterMs);
}

// The first millisecond after `doneMs` at which a tick falls due.
constexpr int nextTickAfter(int doneMs) {
  const int sim = (doneMs / kSimulationTickMs + 1) * kSimulationTickMs;
  const int display = (doneMs / kDisplayTickMs + 1) * kDisplayTickMs;
  return sim < display ? sim : display;
}

// The first millisecond after `doneMs` at which a display tick falls due.
constexpr int nextDisplayTickAfter(int doneMs) {
  return (doneMs / kDisplayTickMs + 1) * kDisplayTickMs;
}

}  // namespace dravolin::sim
