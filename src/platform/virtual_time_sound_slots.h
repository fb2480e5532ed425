// A sound service that plays through another one (OpenAL in the program) but answers whether a
// slot is playing from virtual time, as the headless drive's service does. The drive's logic
// reads the playing state (doors close when the closing sound has ended, a departure waits for
// its sound), so a drive that asks the real device would depend on how the device kept time;
// asking the virtual twin makes the window's drive replay to the same trace headless.
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
    ids_.clear();
    return output_.initialise();
  }
  void setOutputFormat(int rateHz, int bits, bool stereo) override {
    output_.setOutputFormat(rateHz, bits, stereo);
  }
  WaveId loadWave(const std::string& path) override {
    const WaveId id = output_.loadWave(path);
    if (id == kNoWave) return kNoWave;
    if (static_cast<std::size_t>(id) >= ids_.size()) {
      ids_.resize(static_cast<std::size_t>(id) + 1, kNoWave);
    }
    ids_[static_cast<std::size_t>(id)] = twin_.loadWave(path);
    return id;
  }
  void assign(int slot, WaveId wave) override {
    output_.assign(slot, wave);
    twin_.assign(slot, wave >= 0 && static_cast<std::size_t>(wave) < ids_.size()
                           ? ids_[static_cast<std::size_t>(wave)]
                           : kNoWave);
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

  // The drive's virtual time (ms).
  void setTimeMs(std::int64_t t) { twin_.setTimeMs(t); }

 private:
  SoundSlots& output_;
  VirtualSoundSlots twin_;
  std::vector<WaveId> ids_;  // output wave id -> twin wave id
};

}  // namespace dravolin::platform
