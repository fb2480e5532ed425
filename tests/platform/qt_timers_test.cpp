// The simulation and display timers tick on the user-interface thread, never inside their own
// handler; the millisecond clock follows real time.
#include "platform/qt_timers.h"

#include <gtest/gtest.h>

#include <QEventLoop>
#include <QThread>
#include <thread>

#include "platform/socat_pair.h"  // pumpUntil, pumpFor

namespace dravolin::testing {
namespace {

using platform::QtPeriodicTimer;

TEST(QtTimers, SimulationAndDisplayTimersHaveTheirPeriodsAndArePrecise) {
  const auto simulation = platform::makeSimulationTimer();
  const auto display = platform::makeDisplayTimer();
  EXPECT_EQ(simulation->periodMs(), 33);
  EXPECT_EQ(display->periodMs(), 100);
  EXPECT_EQ(simulation->timerType(), Qt::PreciseTimer);
  EXPECT_EQ(display->timerType(), Qt::PreciseTimer);
  EXPECT_FALSE(simulation->enabled());
  EXPECT_FALSE(display->enabled());
}

TEST(QtTimers, TicksRunOnTheUserInterfaceThreadOnlyWhileEnabled) {
  QtPeriodicTimer timer(10, Qt::PreciseTimer);
  int ticks = 0;
  bool onUiThread = true;
  timer.setHandler([&] {
    ++ticks;
    onUiThread = onUiThread && QThread::currentThread() == QCoreApplication::instance()->thread();
  });
  pumpFor(60);
  EXPECT_EQ(ticks, 0);
  timer.setEnabled(true);
  EXPECT_TRUE(timer.enabled());
  ASSERT_TRUE(pumpUntil([&] { return ticks >= 3; }, 5000));
  timer.setEnabled(false);
  const int stoppedAt = ticks;
  pumpFor(60);
  EXPECT_EQ(ticks, stoppedAt);
  EXPECT_TRUE(onUiThread);
}

TEST(QtTimers, HandlerCanStopItsOwnTimer) {
  QtPeriodicTimer timer(5, Qt::PreciseTimer);
  int ticks = 0;
  timer.setHandler([&] {
    if (++ticks == 2) timer.setEnabled(false);
  });
  timer.setEnabled(true);
  // Waits for the second tick however busy the machine is, then a while for any tick after it.
  ASSERT_TRUE(pumpUntil([&] { return ticks >= 2; }, 5000));
  pumpFor(60);
  EXPECT_EQ(ticks, 2);
  EXPECT_FALSE(timer.enabled());
}

TEST(QtTimers, TickNeverRunsInsideItsOwnHandler) {
  QtPeriodicTimer timer(5, Qt::PreciseTimer);
  int depth = 0;
  int deepest = 0;
  int ticks = 0;
  timer.setHandler([&] {
    ++depth;
    deepest = std::max(deepest, depth);
    if (++ticks == 1) {
      pumpFor(60);  // a handler that waits in a nested event loop, like a message box
    }
    --depth;
  });
  timer.setEnabled(true);
  ASSERT_TRUE(pumpUntil([&] { return ticks >= 3; }, 5000));
  timer.setEnabled(false);
  EXPECT_EQ(deepest, 1);
}

TEST(QtTimers, EnablingAnEnabledTimerKeepsItRunning) {
  QtPeriodicTimer timer(10, Qt::PreciseTimer);
  int ticks = 0;
  timer.setHandler([&] { ++ticks; });
  timer.setEnabled(true);
  timer.setEnabled(true);
  EXPECT_TRUE(pumpUntil([&] { return ticks >= 2; }, 5000));
}

TEST(QtTimers, MillisecondClockFollowsRealTime) {
  const platform::MonotonicMillisecondClock clock;
  const std::uint32_t before = clock.milliseconds();
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  const std::uint32_t elapsed = clock.milliseconds() - before;
  EXPECT_GE(elapsed, 50u);
  EXPECT_LT(elapsed, 10000u);
}

}  // namespace
}  // namespace dravolin::testing
