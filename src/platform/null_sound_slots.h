// A sound service that plays nothing: for tools and benchmarks that run the simulation without
// sound. Every slot is empty, so nothing is ever playing.
#pragma once

#include "platform/sound_slots.h"

namespace dravolin::platform {

class NullSoundSlots final : public SoundSlots {
 public:
  bool initialise() override { return false; }
  void setOutputFormat(int, int, bool) override {}
  WaveId loadWave(const std::string&) override { return kNoWave; }
  void assign(int, WaveId) override {}
  void playOnce(int) override {}
  void playLooped(int) override {}
  void stop(int) override {}
  bool isPlaying(int) const override { return false; }
  void setFrequencyRatio(int, double) override {}
  void setVolume(int, int) override {}
};

}  // namespace dravolin::platform
