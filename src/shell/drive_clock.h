// The driving window's one clock: the virtual-time schedule of the headless drive
// (sim::runVirtualTimeRange) advanced to "now" by one precise single-shot timer that is set for
// the next millisecond at which a tick falls due. Inputs are handled at a virtual millisecond
// too (eventMs()), so the order of the 33 ms and 100 ms ticks and of the inputs between them is
// the one a script of the same events gives.
//
// At rest the simulation ticks wait for the display tick: while nothing on the screen moves
// between display ticks (the handlers' atRest) and no input has come for kRestAfterInputMs, the
// timer wakes only every 100 ms and runs the simulation ticks due by then in the same pass. The
// virtual-time order is the same; only their real time moves, by at most 67 ms, and an input
// runs every tick due before it first, and brings the 33 ms wakes back at once.
//
// Virtual time flows only while the drive runs: a paused drive stops it, and the Start that
// resumes happens at the millisecond after the last one run. A replay lets it flow while paused
// as well, as the headless drive does, so that its events fall due.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <cstdint>
#include <functional>

#include "platform/timers.h"

namespace dravolin::shell {

class DriveClock final : public QObject {
  Q_OBJECT

 public:
  struct Handlers {
    std::function<void(int t)> eachMs;  // before the ticks of t (a replay's events); may be empty
    std::function<void()> simulationTick;
    std::function<void()> displayTick;
    std::function<void(int t)> afterMs;  // after the ticks of t; may be empty
    // The next millisecond at which eachMs has something to do, or 0 for none (a replay's next
    // event), so that the timer wakes for it.
    std::function<int()> nextEventMs;
    // Whether nothing on the screen moves between display ticks (the train at rest, no picture
    // waiting); may be empty (never).
    std::function<bool()> atRest;
  };

  // How long after the last input the simulation ticks may wait for the display tick.
  static constexpr int kRestAfterInputMs = 1000;

  // The virtual millisecond the timer wakes for after `doneMs` (INT_MAX: none): the next tick
  // while running (the next display tick when resting), or the next event (0: none), whichever
  // comes first.
  static int nextWakeMs(int doneMs, bool running, bool resting, int nextEventMs);

  explicit DriveClock(QObject* parent = nullptr);

  void setHandlers(Handlers handlers) { handlers_ = std::move(handlers); }
  // Whether virtual time flows while paused (a replay).
  void setFreeRunning(bool on);
  // Starts or stops the ticks; call it after the drive's own run flag changed.
  void setRunning(bool running);
  bool running() const { return running_; }
  // Stops for good (closing): no more ticks.
  void stop();

  // The virtual millisecond at which an input handled now takes effect: virtual time is first
  // advanced to just before "now", so every tick due by then has run.
  int eventMs();
  // The last millisecond whose ticks have run.
  int doneMs() const { return doneMs_; }
  // The drive's millisecond now: while ticks run, the one being run (so that what the ticks do
  // 33 ms apart is 33 ms apart); otherwise virtual time at this real moment, standing still while
  // virtual time does.
  int nowMs() const;
  // While a tick runs: how many real milliseconds after its due time it runs (0 when on time).
  int lateMs() const;
  // Runs the milliseconds up to "now" and sets the timer for the next due one.
  void advanceToNow();

  // Catching up after the program was held up (a debugger, a suspended machine) runs at most
  // this much virtual time at once; the rest is skipped, as a real clock would.
  static constexpr int kMaxCatchUpMs = 1000;

  // Virtual time read as `nowMs` when `doneMs` is the last millisecond run: the millisecond to
  // run up to, and the virtual time dropped for good (what lies beyond kMaxCatchUpMs behind).
  struct CatchUp {
    int targetMs;
    qint64 droppedMs;
  };
  static CatchUp catchUp(qint64 nowMs, int doneMs);

 private:
  bool flowing() const { return (running_ || freeRunning_) && !stopped_; }
  bool resting() const;
  int virtualNow();
  void advanceTo(int targetMs);
  void schedule();
  void rebase();

  Handlers handlers_;
  QTimer timer_;
  QElapsedTimer real_;
  qint64 baseRealMs_ = 0;     // real_ at which virtual time was baseVirtualMs_
  qint64 baseVirtualMs_ = 0;  // lowered by the virtual time dropped after a hold-up
  int doneMs_ = 0;
  int runningMs_ = 0;           // the millisecond being run, while advancing_
  qint64 lastInputRealMs_ = 0;  // real_ at the last eventMs()
  bool running_ = false;
  bool freeRunning_ = false;
  bool stopped_ = false;
  bool advancing_ = false;
};

// The drive's milliseconds (DriveClock::nowMs) as a millisecond clock: the video's 33 ms between
// two pictures are counted in them, so that the pictures of two simulation ticks 33 ms apart are
// never held back for a millisecond of jitter in the timer's wakes.
class DriveMilliseconds final : public platform::MillisecondClock {
 public:
  explicit DriveMilliseconds(const DriveClock& clock) : clock_(clock) {}
  std::uint32_t milliseconds() const override { return static_cast<std::uint32_t>(clock_.nowMs()); }

 private:
  const DriveClock& clock_;
};

}  // namespace dravolin::shell
