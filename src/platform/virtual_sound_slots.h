// A sound service that plays in virtual time and makes no sound: a wave is only a length, a
// play started at t0 plays while the virtual time is before t0 + its length (divided by the
// playback rate ratio in force when it started), a looped play until it is stopped. Tests and
// the headless drive use it to run the cab's sound logic against sounds that end on their own.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/sound_slots.h"

namespace dravolin::platform {

class VirtualSoundSlots : public SoundSlots {
 public:
  // One play or stop, as recorded in the event log.
  struct Event {
    std::int64_t tMs = 0;
    int slot = 0;
    std::string action;  // "play", "loop" or "stop"
    bool operator==(const Event&) const = default;
  };

  bool initialise() override;
  void setOutputFormat(int, int, bool) override {}
  // Reads the WAV file to learn its length; kNoWave when it holds no usable wave.
  WaveId loadWave(const std::string& path) override;
  void assign(int slot, WaveId wave) override;
  void playOnce(int slot) override;
  void playLooped(int slot) override;
  void stop(int slot) override;
  bool isPlaying(int slot) const override;
  void setFrequencyRatio(int slot, double ratio) override;
  void setVolume(int slot, int attenuation) override;

  // A wave of the given length in ms, without a file.
  WaveId addWave(double lengthMs);
  // Length of a loaded wave in ms; 0 for kNoWave or an unknown id.
  double waveLengthMs(WaveId wave) const;

  // Moves the virtual time (ms); sounds go on by it alone.
  void setTimeMs(std::int64_t t) { nowMs_ = t; }
  std::int64_t timeMs() const { return nowMs_; }

  // The slot's last frequency ratio and attenuation (1 and 0 when never set).
  double frequencyRatio(int slot) const;
  int volume(int slot) const;

  // Starts (or stops) recording plays and stops in events().
  void setEventLog(bool on) { logging_ = on; }
  const std::vector<Event>& events() const { return events_; }
  void clearEvents() { events_.clear(); }

 private:
  struct Slot {
    WaveId wave = kNoWave;
    bool started = false;  // a play has started and was not stopped
    bool looped = false;
    bool endless = false;  // played at a rate that never reaches the end
    std::int64_t startMs = 0;
    double durationMs = 0;
    double ratio = 1.0;
    int attenuation = 0;
  };

  static bool valid(int slot) { return slot >= 0 && slot < kSlotCount; }
  Slot* heldSlot(int slot);
  void start(int slot, bool looped);
  void log(int slot, const char* action);

  std::vector<double> waveLengthsMs_;
  std::array<Slot, kSlotCount> slots_{};
  std::int64_t nowMs_ = 0;
  bool logging_ = false;
  std::vector<Event> events_;
};

}  // namespace dravolin::platform
