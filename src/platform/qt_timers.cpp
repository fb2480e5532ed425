#include "platform/qt_timers.h"

#include <chrono>

namespace dravolin::platform {

QtPeriodicTimer::QtPeriodicTimer(int periodMs, Qt::TimerType type, QObject* parent)
    : QObject(parent) {
  timer_.setInterval(periodMs);
  timer_.setTimerType(type);
  timer_.setSingleShot(false);
  connect(&timer_, &QTimer::timeout, this, &QtPeriodicTimer::tick);
}

void QtPeriodicTimer::setHandler(std::function<void()> handler) { handler_ = std::move(handler); }

void QtPeriodicTimer::setEnabled(bool enabled) {
  if (enabled && !timer_.isActive()) {
    timer_.start();
  } else if (!enabled) {
    timer_.stop();
  }
}

bool QtPeriodicTimer::enabled() const { return timer_.isActive(); }

int QtPeriodicTimer::periodMs() const { return timer_.interval(); }

void QtPeriodicTimer::tick() {
  if (inHandler_) {
    // The handler waits in a nested event loop. Qt does not fire a timer inside its own
    // timeout, but a tick must never run inside itself whatever calls it, so this one is dropped.
    return;
  }
  if (!handler_) {
    return;
  }
  inHandler_ = true;
  struct Reset {
    bool& flag;
    ~Reset() { flag = false; }
  } reset{inHandler_};
  handler_();
}

std::uint32_t MonotonicMillisecondClock::milliseconds() const {
  const auto sinceEpoch = std::chrono::steady_clock::now().time_since_epoch();
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(sinceEpoch).count();
  return static_cast<std::uint32_t>(static_cast<std::uint64_t>(ms));
}

}  // namespace dravolin::platform
