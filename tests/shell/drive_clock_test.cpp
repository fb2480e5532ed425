// The driving window's clock: which virtual millisecond it wakes for, and at rest the simulation
// ticks run in the display tick's wake until an input brings their own wakes back.
#include "shell/drive_clock.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <climits>
#include <vector>

namespace dravolin::shell {
namespace {

TEST(DriveClock, WakesForTheNextTickOrEvent) {
  struct Case {
    const char* name;
    int doneMs;
    bool running;
    bool resting;
    int nextEventMs;
    int want;
  };
  const Case cases[] = {
      {"running: the next simulation tick", 0, true, false, 0, 33},
      {"running: the display tick before the next simulation tick", 99, true, false, 0, 100},
      {"running, on a simulation tick: the next one", 33, true, false, 0, 66},
      {"resting: the next display tick", 0, true, true, 0, 100},
      {"resting, just before a display tick", 99, true, true, 0, 100},
      {"resting, on a display tick: the next one", 100, true, true, 0, 200},
      {"resting: an event before the display tick", 120, true, true, 150, 150},
      {"an event after the tick", 0, true, false, 40, 33},
      {"an event already run is none", 50, true, false, 50, 66},
      {"paused: only events", 10, false, false, 70, 70},
      {"paused without events: never", 10, false, false, 0, INT_MAX},
      {"paused, resting makes no difference", 10, false, true, 0, INT_MAX},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(DriveClock::nextWakeMs(c.doneMs, c.running, c.resting, c.nextEventMs), c.want);
  }
}

// After a hold-up the clock catches up at most kMaxCatchUpMs (1 s) of virtual time; what lies
// beyond it is dropped.
TEST(DriveClock, CatchesUpAtMostOneSecond) {
  struct Case {
    const char* name;
    qint64 nowMs;
    int doneMs;
    int targetMs;
    qint64 droppedMs;
  };
  const Case cases[] = {
      {"on time", 5000, 5000, 5000, 0},
      {"a tick behind", 5033, 5000, 5033, 0},
      {"exactly the catch-up behind: all of it is run", 6000, 5000, 6000, 0},
      {"a millisecond more: that one is dropped", 6001, 5000, 6000, 1},
      {"held up for a minute", 65000, 5000, 6000, 59000},
      {"held up for a month", 5000 + 2678400000LL, 5000, 6000, 2678399000LL},
      {"the end of the clock's range", INT_MAX + 5LL, INT_MAX - 10, INT_MAX - 1, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const DriveClock::CatchUp got = DriveClock::catchUp(c.nowMs, c.doneMs);
    EXPECT_EQ(got.targetMs, c.targetMs);
    EXPECT_EQ(got.droppedMs, c.droppedMs);
  }
}

// Real time: at rest the simulation ticks after the first second run within the wake of the
// display tick that follows them; after an input they run in wakes of their own again.
TEST(DriveClock, AtRestTheSimulationTicksWaitForTheDisplayTick) {
  QElapsedTimer real;
  real.start();
  struct Tick {
    int t;
    qint64 realMs;
  };
  std::vector<Tick> simulation;
  std::vector<Tick> display;
  DriveClock clock;
  int t = 0;
  DriveClock::Handlers handlers;
  handlers.eachMs = [&t](int ms) { t = ms; };
  int tickClockWrong = 0;  // ticks during which the drive's milliseconds were not their own
  handlers.simulationTick = [&] {
    simulation.push_back({t, real.elapsed()});
    if (clock.nowMs() != t) ++tickClockWrong;
  };
  handlers.displayTick = [&] { display.push_back({t, real.elapsed()}); };
  handlers.atRest = [] { return true; };
  clock.setHandlers(std::move(handlers));
  clock.setRunning(true);
  const auto runFor = [](int ms) {
    QElapsedTimer w;
    w.start();
    while (w.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
  };
  // The display tick at or after virtual time `ms`.
  const auto displayAfter = [&display](int ms) -> const Tick* {
    for (const Tick& d : display) {
      if (d.t >= ms) return &d;
    }
    return nullptr;
  };
  runFor(1700);
  // Ticks of one wake run back to back; a loaded machine may still hold the thread up between
  // two of them now and then, so most, not all, must be found together.
  int grouped = 0;
  int atRest = 0;
  for (const Tick& s : simulation) {
    if (s.t < DriveClock::kRestAfterInputMs + 200) continue;
    const Tick* d = displayAfter(s.t);
    if (d == nullptr) continue;
    ++atRest;
    if (d->realMs - s.realMs <= 5) ++grouped;
  }
  EXPECT_GE(atRest, 6);
  EXPECT_GE(grouped * 10, atRest * 8)
      << grouped << " of " << atRest << " simulation ticks ran in the display tick's wake";
  EXPECT_EQ(tickClockWrong, 0);
  // Between wakes the drive's milliseconds follow real time, never behind what has run.
  EXPECT_GE(clock.nowMs(), clock.doneMs());

  // An input: the ticks due run first, then the next simulation tick wakes on its own.
  const int input = clock.eventMs();
  const std::size_t before = simulation.size();
  runFor(300);
  int ownWakes = 0;
  for (std::size_t i = before; i < simulation.size(); ++i) {
    const Tick& s = simulation[i];
    ASSERT_GE(s.t, input);
    const Tick* d = displayAfter(s.t);
    if (d != nullptr && d->realMs - s.realMs >= 10) ++ownWakes;
  }
  EXPECT_GE(ownWakes, 3);

  // Held up for half a second longer than the catch-up (a debugger, a suspended machine): one
  // second of virtual time is run, and the rest is dropped, not caught up at a later wake.
  const int doneBefore = clock.doneMs();
  const qint64 realBefore = real.elapsed();
  QThread::msleep(DriveClock::kMaxCatchUpMs + 500);
  runFor(100);
  const qint64 realRun = real.elapsed() - realBefore;
  EXPECT_GE(clock.doneMs() - doneBefore, DriveClock::kMaxCatchUpMs);
  EXPECT_LE(clock.doneMs() - doneBefore, realRun - 250)
      << "virtual time ran " << clock.doneMs() - doneBefore << " ms in " << realRun << " ms";
}

}  // namespace
}  // namespace dravolin::shell
