// The sound service: 256 numbered slots, each playing its own instance of a wave loaded from a
// WAV file. Several slots may share one wave, each with its own position, pitch and volume.
// Used only from the user-interface thread. No operation reports failure: an uninitialised
// service, an empty slot or a slot number outside 0..255 makes every call a no-op.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>

namespace dravolin::platform {

class SoundSlots {
 public:
  static constexpr int kSlotCount = 256;
  // A loaded wave, owned by the service; kNoWave for a wave that could not be loaded.
  using WaveId = int;
  static constexpr WaveId kNoWave = -1;

  virtual ~SoundSlots() = default;

  // Opens the audio device and empties every slot (releasing all waves). Returns whether the
  // device opened; when it did not, the service runs silent.
  virtual bool initialise() = 0;
  // Format of the mixed output (the program asks for 22050 Hz, 8 bits, mono).
  virtual void setOutputFormat(int rateHz, int bitsPerSample, bool stereo) = 0;
  // Reads a RIFF "WAVE" file; kNoWave when the file or one of its chunks is missing or short.
  virtual WaveId loadWave(const std::string& path) = 0;
  // Releases what the slot held and gives it its own instance of the wave (kNoWave empties it).
  virtual void assign(int slot, WaveId wave) = 0;
  // Rewinds and plays to the end once; restarts a slot that is playing.
  virtual void playOnce(int slot) = 0;
  // Rewinds and plays in a loop until stopped.
  virtual void playLooped(int slot) = 0;
  // Stops; the next play starts from the beginning.
  virtual void stop(int slot) = 0;
  // True while the slot plays, looped or not; false for an empty slot.
  virtual bool isPlaying(int slot) const = 0;
  // Playback rate := the wave's own rate x ratio, truncated to whole Hz.
  virtual void setFrequencyRatio(int slot, double ratio) = 0;
  // Attenuation in hundredths of a decibel, 0 (full) to -10000 (silent).
  virtual void setVolume(int slot, int attenuation) = 0;

  // The user's master volume over every slot: an amplitude factor from 0 (silent) to 1 (every
  // slot at its own volume), clamped to that range (not a number is 1). It stays in force across
  // initialise(). A service without output only remembers it.
  virtual void setMasterGain(double gain) { masterGain_ = clampedGain(gain); }
  double masterGain() const { return masterGain_; }

  // Pauses every playing slot where it stands (true) or lets them go on (false). A slot played
  // while paused starts when the slots are let go on; isPlaying() holds still meanwhile.
  // initialise() leaves the service playing.
  virtual void setPaused(bool paused) { paused_ = paused; }
  bool paused() const { return paused_; }

  // Whether the service has an output: Unused for one that never sounds (no device wanted),
  // Open while sound reaches a device, Missing while a wanted device is absent or gone (the
  // slots go on silently and the service keeps trying to open it).
  enum class OutputState { Unused, Open, Missing };
  virtual OutputState outputState() const { return OutputState::Unused; }
  // Watches the output; called at most once per display tick, it allocates nothing while the
  // output stays as it is. Lost: the device has just gone. Restored: it was opened again and
  // every slot that should sound sounds again. `nowMs` is a monotonic time in milliseconds.
  enum class OutputChange { None, Lost, Restored };
  virtual OutputChange checkOutput(std::int64_t nowMs) {
    static_cast<void>(nowMs);
    return OutputChange::None;
  }

 protected:
  static double clampedGain(double gain) {
    return std::isnan(gain) ? 1.0 : std::clamp(gain, 0.0, 1.0);
  }

 private:
  double masterGain_ = 1.0;
  bool paused_ = false;
};

// The sound actions used throughout the cab.
// Restart: stop, then play once from the start.
inline void restart(SoundSlots& s, int slot) {
  s.stop(slot);
  s.playOnce(slot);
}
// Restart looped: stop, then play looped.
inline void restartLooped(SoundSlots& s, int slot) {
  s.stop(slot);
  s.playLooped(slot);
}
// Start if idle: only when not playing, stop, then play once.
inline void startIfIdle(SoundSlots& s, int slot) {
  if (!s.isPlaying(slot)) {
    restart(s, slot);
  }
}
// Loop if idle: only when not playing, stop, then play looped.
inline void loopIfIdle(SoundSlots& s, int slot) {
  if (!s.isPlaying(slot)) {
    restartLooped(s, slot);
  }
}

}  // namespace dravolin::platform
