// Virtual time for runs without a clock (the run curve tool, the tests, a headless drive): one
// step per millisecond, with the two ticks at the periods the program's timers give them.
#pragma once

namespace dravolin::sim {

inline constexpr int kSimulationTickMs = 33;  // MMTimer1Timer
inline constexpr int kDisplayTickMs = 100;    // Timer1Timer

// Runs the milliseconds t = 1 .. untilMs (none when untilMs is below 1). At each t, in order:
//   eachMs(t)            script events of that millisecond (handles, start/pause, ...);
//   simulationTick(t)    when t is a multiple of 33 and `running` is set;
//   displayTick(t)       when t is a multiple of 100 and `running` is set;
//   afterMs(t)           trace output.
// `running` is read at every step, so eachMs may start and pause the ticks. The hooks are called
// directly (no type erasure), so a step allocates nothing of its own.
template <typename EachMs, typename SimulationTick, typename DisplayTick, typename AfterMs>
void runVirtualTime(int untilMs, const bool& running, EachMs&& eachMs,
                    SimulationTick&& simulationTick, DisplayTick&& displayTick, AfterMs&& afterMs) {
  for (int t = 1; t <= untilMs; ++t) {
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

}  // namespace dravolin::sim
