#include "shell/drive_clock.h"

#include <algorithm>
#include <limits>

#include "sim/virtual_time.h"

namespace dravolin::shell {

DriveClock::DriveClock(QObject* parent) : QObject(parent) {
  timer_.setSingleShot(true);
  timer_.setTimerType(Qt::PreciseTimer);
  connect(&timer_, &QTimer::timeout, this, &DriveClock::advanceToNow);
  real_.start();
}

void DriveClock::rebase() {
  baseRealMs_ = real_.elapsed();
  baseVirtualMs_ = doneMs_;
}

void DriveClock::setFreeRunning(bool on) {
  if (on && !flowing()) rebase();
  freeRunning_ = on;
  schedule();
}

void DriveClock::setRunning(bool running) {
  if (stopped_) return;
  if (running && !flowing()) rebase();
  running_ = running;
  if (!advancing_) schedule();
}

void DriveClock::stop() {
  stopped_ = true;
  running_ = false;
  timer_.stop();
}

DriveClock::CatchUp DriveClock::catchUp(qint64 nowMs, int doneMs) {
  const qint64 behind = nowMs - doneMs;
  const qint64 dropped = behind > kMaxCatchUpMs ? behind - kMaxCatchUpMs : 0;
  return {static_cast<int>(std::min<qint64>(nowMs - dropped, std::numeric_limits<int>::max() - 1)),
          dropped};
}

int DriveClock::virtualNow() {
  if (!flowing()) return doneMs_;
  const CatchUp c = catchUp(baseVirtualMs_ + (real_.elapsed() - baseRealMs_), doneMs_);
  // Held up: the time beyond the catch-up is dropped from the clock, so that it is not caught
  // up at a later wake either.
  baseVirtualMs_ -= c.droppedMs;
  return c.targetMs;
}

int DriveClock::nowMs() const {
  if (advancing_) return runningMs_;
  if (!flowing()) return doneMs_;
  const qint64 now = baseVirtualMs_ + (real_.elapsed() - baseRealMs_);
  return static_cast<int>(std::clamp<qint64>(now, doneMs_, doneMs_ + qint64{kMaxCatchUpMs}));
}

int DriveClock::eventMs() {
  lastInputRealMs_ = real_.elapsed();
  if (!advancing_ && flowing()) {
    advanceTo(virtualNow() - 1);
    schedule();  // the simulation ticks wake on time again
  }
  return doneMs_ + 1;
}

bool DriveClock::resting() const {
  return handlers_.atRest && real_.elapsed() - lastInputRealMs_ >= kRestAfterInputMs &&
         handlers_.atRest();
}

int DriveClock::lateMs() const {
  const qint64 due = baseRealMs_ + (doneMs_ + 1 - baseVirtualMs_);
  return static_cast<int>(std::clamp<qint64>(real_.elapsed() - due, 0, kMaxCatchUpMs));
}

void DriveClock::advanceToNow() {
  if (advancing_) return;
  advanceTo(virtualNow());
  schedule();
}

void DriveClock::advanceTo(int targetMs) {
  if (targetMs <= doneMs_ || advancing_) return;
  advancing_ = true;
  // running_ is read at every millisecond, so a replayed Start or pause takes effect at once.
  sim::runVirtualTimeRange(
      doneMs_ + 1, targetMs, running_,
      [this](int t) {
        runningMs_ = t;
        if (handlers_.eachMs) handlers_.eachMs(t);
      },
      [this](int) { handlers_.simulationTick(); }, [this](int) { handlers_.displayTick(); },
      [this](int t) {
        doneMs_ = t;
        if (handlers_.afterMs) handlers_.afterMs(t);
      });
  advancing_ = false;
}

int DriveClock::nextWakeMs(int doneMs, bool running, bool resting, int nextEventMs) {
  int next = !running  ? std::numeric_limits<int>::max()
             : resting ? sim::nextDisplayTickAfter(doneMs)
                       : sim::nextTickAfter(doneMs);
  if (nextEventMs > doneMs) next = std::min(next, nextEventMs);
  return next;
}

void DriveClock::schedule() {
  if (!flowing()) {
    timer_.stop();
    return;
  }
  const int next = nextWakeMs(doneMs_, running_, running_ && resting(),
                              handlers_.nextEventMs ? handlers_.nextEventMs() : 0);
  if (next == std::numeric_limits<int>::max()) {
    timer_.stop();
    return;
  }
  const qint64 dueReal = baseRealMs_ + (next - baseVirtualMs_);
  timer_.start(static_cast<int>(std::clamp<qint64>(dueReal - real_.elapsed(), 0, 60000)));
}

}  // namespace dravolin::shell
