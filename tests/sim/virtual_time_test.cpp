#include "sim/virtual_time.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "allocation_counter.h"

namespace dravolin::sim {
namespace {

// Records the hooks' calls as "e t", "s t", "d t", "a t".
struct Trace {
  std::vector<std::string> calls;
  void add(char hook, int t) { calls.push_back(std::string(1, hook) + ' ' + std::to_string(t)); }
};

// Runs with `running` toggled by the script event at toggleAt and records the calls of the
// milliseconds from `fromMs` on that are tick periods or the toggle.
std::vector<std::string> runTraced(int untilMs, bool& running, int toggleAt, int fromMs) {
  Trace trace;
  const auto shown = [&](int t) {
    return t >= fromMs && (t % 33 == 0 || t % 100 == 0 || t == toggleAt);
  };
  runVirtualTime(
      untilMs, running,
      [&](int t) {
        if (t == toggleAt) running = !running;
        if (shown(t)) trace.add('e', t);
      },
      [&](int t) {
        if (shown(t)) trace.add('s', t);
      },
      [&](int t) {
        if (shown(t)) trace.add('d', t);
      },
      [&](int t) {
        if (shown(t)) trace.add('a', t);
      });
  return trace.calls;
}

TEST(VirtualTime, TicksInOrderAtTheirPeriodsWhileRunning) {
  struct Case {
    const char* name;
    int untilMs;
    bool running;
    int toggleAt;
    int fromMs;
    std::vector<std::string> calls;
  };
  const Case cases[] = {
      {"none before the first period", 32, true, 0, 1, {}},
      {"running",
       100,
       true,
       0,
       1,
       {"e 33", "s 33", "a 33", "e 66", "s 66", "a 66", "e 99", "s 99", "a 99", "e 100", "d 100",
        "a 100"}},
      // 3300 is a multiple of both periods: the simulation tick comes first.
      {"both at once", 3300, true, 0, 3300, {"e 3300", "s 3300", "d 3300", "a 3300"}},
      // Paused from the start, started by the script at 66: the tick of that millisecond runs.
      {"started by a script event",
       99,
       false,
       66,
       1,
       {"e 33", "a 33", "e 66", "s 66", "a 66", "e 99", "s 99", "a 99"}},
      // Paused by a script event at 99: that millisecond's tick no longer runs.
      {"paused by a script event",
       100,
       true,
       99,
       1,
       {"e 33", "s 33", "a 33", "e 66", "s 66", "a 66", "e 99", "a 99", "e 100", "a 100"}},
      {"nothing below 1 ms", 0, true, 0, 1, {}},
  };
  for (const Case& c : cases) {
    bool running = c.running;
    EXPECT_EQ(runTraced(c.untilMs, running, c.toggleAt, c.fromMs), c.calls) << c.name;
  }
}

TEST(VirtualTime, AStepAllocatesNothing) {
  const bool running = true;
  int ticks = 0;
  testing::startCountingAllocations();
  runVirtualTime(
      10000, running, [](int) {}, [&](int) { ++ticks; }, [&](int) { ++ticks; }, [](int) {});
  EXPECT_EQ(testing::stopCountingAllocations(), 0);
  EXPECT_EQ(ticks, 303 + 100);
}

}  // namespace
}  // namespace dravolin::sim
