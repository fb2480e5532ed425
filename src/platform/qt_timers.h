// The timers and the millisecond clock on Qt: QTimer ticks on the user-interface thread.
#pragma once

#include <memory>

#include <QObject>
#include <QTimer>

#include "platform/timers.h"

namespace dravolin::platform {

// Period of the simulation tick `MMTimer1Timer`, in milliseconds.
inline constexpr int kSimulationPeriodMs = 33;
// Period of the display tick `Timer1Timer` and of the title window's timer, in milliseconds.
inline constexpr int kDisplayPeriodMs = 100;

// A periodic QTimer on the thread that creates it (the user-interface thread). Qt::PreciseTimer
// keeps millisecond accuracy and keeps its phase: a late tick does not shift the ones after it.
class QtPeriodicTimer final : public QObject, public PeriodicTimer {
  Q_OBJECT

 public:
  QtPeriodicTimer(int periodMs, Qt::TimerType type, QObject* parent = nullptr);

  void setHandler(std::function<void()> handler) override;
  void setEnabled(bool enabled) override;
  bool enabled() const override;
  int periodMs() const override;

  Qt::TimerType timerType() const { return timer_.timerType(); }

 private:
  void tick();

  QTimer timer_;
  std::function<void()> handler_;
  bool inHandler_ = false;
};

// The 33 ms simulation timer: a Qt::PreciseTimer.
inline std::unique_ptr<QtPeriodicTimer> makeSimulationTimer(QObject* parent = nullptr) {
  return std::make_unique<QtPeriodicTimer>(kSimulationPeriodMs, Qt::PreciseTimer, parent);
}
// The 100 ms display timer: also precise, because the display tick integrates the speed with a
// fixed 0.1 s step and a late timer would slow the train down against the clock.
inline std::unique_ptr<QtPeriodicTimer> makeDisplayTimer(QObject* parent = nullptr) {
  return std::make_unique<QtPeriodicTimer>(kDisplayPeriodMs, Qt::PreciseTimer, parent);
}

// Milliseconds of the system's monotonic clock (time since boot on Linux), as a wrapping 32-bit
// counter, like the multimedia timer's clock of the original platform.
class MonotonicMillisecondClock final : public MillisecondClock {
 public:
  std::uint32_t milliseconds() const override;
};

}  // namespace dravolin::platform
