// A sound service that plays through another one (OpenAL in the program) but answers whether a
// slot is playing from virtual time, as the headless drive's service does. The drive's logic
// reads the playing state (doors close when the closing sound has ended, a departure waits for
// its sound), so a drive that asks the real device would depend on how the device kept time;
// asking the virtual twin makes the window's drive replay to the same trace headless.
//
// The twin loads every wave it can read whatever the output makes of it, so a drive runs the
// same with sound, without a device, or while the output is gone. Pausing and the watch over
// the output concern only the output: virtual time stands still by itself while paused.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/sound_slots.h"
#include "platform/virtual_sound_slots.h"

namespace dravolin::platform {

class VirtualTimeSoundSlots final : public SoundSlots {
 public:
  explicit VirtualTimeSoundSlots(SoundSlots& output) : output_(output) {}

  bool initialise() override {
    twin_.initialise();
    waves_.clear();
    SoundSlots::setPaused(false);
    return output_.initialise();
  }
  void setOutputFormat(int rateHz, int bits, bool stereo) override {
    output_.setOutputFormat(rateHz, bits, stereo);
  }
  WaveId loadWave(const std::string& path) override {
    const Pair loaded{output_.loadWave(path), twin_.loadWave(path)};
    if (loaded.output == kNoWave && loaded.twin == kNoWave) return kNoWave;
    waves_.push_back(loaded);
    return static_cast<WaveId>(waves_.size()) - 1;
  }
  void assign(int slot, WaveId wave) override {
    const bool known = wave >= 0 && static_cast<std::size_t>(wave) < waves_.size();
    output_.assign(slot, known ? waves_[static_cast<std::size_t>(wave)].output : kNoWave);
    twin_.assign(slot, known ? waves_[static_cast<std::size_t>(wave)].twin : kNoWave);
  }
  void playOnce(int slot) override {
    output_.playOnce(slot);
    twin_.playOnce(slot);
  }
  void playLooped(int slot) override {
    output_.playLooped(slot);
    twin_.playLooped(slot);
  }
  void stop(int slot) override {
    output_.stop(slot);
    twin_.stop(slot);
  }
  bool isPlaying(int slot) const override { return twin_.isPlaying(slot); }
  void setFrequencyRatio(int slot, double ratio) override {
    output_.setFrequencyRatio(slot, ratio);
    twin_.setFrequencyRatio(slot, ratio);
  }
  void setVolume(int slot, int attenuation) override {
    output_.setVolume(slot, attenuation);
    twin_.setVolume(slot, attenuation);
  }
  void setPaused(bool paused) override {
    SoundSlots::setPaused(paused);
    output_.setPaused(paused);
  }
  OutputState outputState() const override { return output_.outputState(); }
  OutputChange checkOutput(std::int64_t nowMs) override { return output_.checkOutput(nowMs); }

  // The drive's virtual time (ms).
  void setTimeMs(std::int64_t t) { twin_.setTimeMs(t); }

 private:
  struct Pair {
    WaveId output = kNoWave;
    WaveId twin = kNoWave;
  };
  SoundSlots& output_;
  VirtualSoundSlots twin_;
  std::vector<Pair> waves_;  // this service's wave id -> the output's and the twin's
};

}  // namespace dravolin::platform
