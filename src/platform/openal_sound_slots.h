// The sound service on OpenAL Soft: 256 slots, one OpenAL source each, sharing one OpenAL buffer
// per loaded wave. Sources play without spatialisation, at the listener, so a mono wave keeps
// its own level and a stereo wave plays as recorded.
//
// The output is either a playback device (the system's default or one named by the user) or a
// loopback device that mixes into memory on request (render()). Both run the same code; the
// loopback device lets tests and tools hear exactly what the mixer makes, with no sound card.
//
// Choices made here:
// - Frequency ratio: the rate is the wave's base rate x ratio, truncated to whole Hz. A rate
//   below 1 Hz (a zero, negative or not-a-number ratio) makes the slot stand still and be
//   silent while it keeps playing; a later ratio with a rate of 1 Hz or more lets it go on from
//   where it stood at its own volume. A rate above kMaxPitch x output rate plays at that rate.
// - Volume: attenuation a, clamped to -10000..0, gives the amplitude factor 10^(a/2000);
//   -10000 is silence (factor 0).
// - Output format: on a loopback device rate, sample type (8 bits unsigned, 16 bits signed,
//   32 bits float) and channels are exactly as asked; a playback device takes the rate, while
//   its sample type and channels stay the device's own, as OpenAL Soft offers no way to ask
//   for them.
// - When the device cannot be opened, the service is uninitialised and silent: loads give
//   kNoWave and every slot operation does nothing.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <AL/alc.h>

#include "platform/sound_slots.h"

namespace dravolin::platform {

struct Wave;

// The format of the mixed output.
struct SoundOutputFormat {
  int rateHz = 44100;      // frames per second
  int bitsPerSample = 16;  // 8 (unsigned), 16 (signed) or 32 (float)
  bool stereo = true;      // two channels, left first, or one

  int frameBytes() const { return bitsPerSample / 8 * (stereo ? 2 : 1); }
  bool operator==(const SoundOutputFormat&) const = default;
};

// The environment variable that names the output device: unset or empty for the system's
// default device, "none" for no sound at all, or a device name as OpenAL Soft lists it.
inline constexpr const char* kSoundDeviceVariable = "DRAVOLIN_SOUND_DEVICE";

class OpenAlSoundSlots final : public SoundSlots {
 public:
  // The fastest playback OpenAL Soft 1.19 steps through a wave: this many of its frames per
  // output frame. Higher rates are clamped to it.
  static constexpr double kMaxPitch = 255.0;

  // Which output initialise() opens.
  struct Output {
    enum class Kind { Device, Loopback, None } kind = Kind::Device;
    std::string deviceName;  // Device only: empty for the system's default

    static Output defaultDevice() { return {}; }
    static Output device(std::string name) { return {Kind::Device, std::move(name)}; }
    static Output loopback() { return {Kind::Loopback, {}}; }
    static Output none() { return {Kind::None, {}}; }
    // The choice made by the environment variable kSoundDeviceVariable.
    static Output fromEnvironment();
  };

  explicit OpenAlSoundSlots(Output output = Output::fromEnvironment());
  ~OpenAlSoundSlots() override;
  OpenAlSoundSlots(const OpenAlSoundSlots&) = delete;
  OpenAlSoundSlots& operator=(const OpenAlSoundSlots&) = delete;

  bool initialise() override;
  void setOutputFormat(int rateHz, int bitsPerSample, bool stereo) override;
  WaveId loadWave(const std::string& path) override;
  void assign(int slot, WaveId wave) override;
  void playOnce(int slot) override;
  void playLooped(int slot) override;
  void stop(int slot) override;
  bool isPlaying(int slot) const override;
  void setFrequencyRatio(int slot, double ratio) override;
  void setVolume(int slot, int attenuation) override;
  // The listener's gain, so every source is scaled after its own volume.
  void setMasterGain(double gain) override;

  // Loads a wave from samples already in memory (as loadWave does from a file).
  WaveId addWave(const Wave& wave);

  bool initialised() const { return context_ != nullptr; }
  // The format the output runs at now: the device's own values where it does not take the
  // requested ones. Meaningful only while initialised.
  SoundOutputFormat outputFormat() const;
  // The playback rate of a slot in Hz as OpenAL holds it (0 for an empty slot or while it
  // stands still).
  int playbackRateHz(int slot) const;
  // How many slots have an OpenAL source (kSlotCount unless OpenAL Soft's own configuration
  // limits the number of sources; slots beyond it stay silent).
  int sourceCount() const;

  // Loopback output only: mixes the next `frames` frames and returns them in the current output
  // format (frames x outputFormat().frameBytes() bytes). Empty when not on an initialised
  // loopback device.
  std::vector<std::uint8_t> render(int frames);

  // The names of the playback devices OpenAL Soft can open, for a choice of output.
  static std::vector<std::string> deviceNames();

 private:
  struct Slot {
    unsigned source = 0;    // OpenAL source name; 0 when OpenAL gave none
    WaveId wave = kNoWave;  // kNoWave: empty
    int attenuation = 0;    // hundredths of a decibel, as last set
    bool standing = false;  // the rate is below 1 Hz: still and silent
  };
  struct LoadedWave {
    unsigned buffer = 0;  // OpenAL buffer name
    int rateHz = 0;       // base rate
  };

  bool makeCurrent() const;
  Slot* usedSlot(int slot);
  const Slot* usedSlot(int slot) const;
  void applyGain(const Slot& s) const;
  void applyMasterGain() const;
  void applyFormat();
  std::vector<int> contextAttributes() const;
  void shutDown();

  Output output_;
  SoundOutputFormat requested_;
  bool formatRequested_ = false;
  ALCdevice* device_ = nullptr;
  ALCcontext* context_ = nullptr;
  std::array<Slot, kSlotCount> slots_{};
  std::vector<LoadedWave> waves_;
};

}  // namespace dravolin::platform
