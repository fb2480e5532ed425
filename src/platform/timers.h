// The periodic timers and the millisecond clock.
//
// Both ticks run on the user-interface thread: the 33 ms simulation timer (`MMTimer1Timer`) and
// the 100 ms display timer (`Timer1Timer`) never run while another handler of that thread runs,
// so the train state needs no lock. A tick whose handler is still running (because it opened a
// nested event loop, such as a message box) is skipped rather than run inside it.
#pragma once

#include <cstdint>
#include <functional>

namespace dravolin::platform {

class PeriodicTimer {
 public:
  virtual ~PeriodicTimer() = default;
  // The function called on every tick.
  virtual void setHandler(std::function<void()> handler) = 0;
  // Starts (true) or stops (false) the periodic calls. Enabling an enabled timer changes nothing:
  // the ticks keep their phase.
  virtual void setEnabled(bool enabled) = 0;
  virtual bool enabled() const = 0;
  // Period in milliseconds.
  virtual int periodMs() const = 0;
};

class MillisecondClock {
 public:
  virtual ~MillisecondClock() = default;
  // A free-running millisecond counter that wraps at 2^32; differences taken as unsigned 32-bit
  // values are correct across the wrap.
  virtual std::uint32_t milliseconds() const = 0;
};

}  // namespace dravolin::platform
