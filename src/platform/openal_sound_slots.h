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
// - When the device cannot be opened, or goes away while playing (a sound server that
//   restarts, a headset pulled out), the slots go on without it: they keep their waves,
//   pitch, volume and play position in time, silently. checkOutput() notices the loss and
//   tries to open the output again every kRetryMs; once it opens, the waves are loaded into it
//   again from memory and every slot that should sound plays on: loops at their position,
//   one-shot sounds from where they would be now, if that is still within their length.
// - Pause: setPaused(true) pauses every playing source; a slot played while paused is made
//   ready at its start and starts with the others when they go on.
// - The output "none" never opens: loads give kNoWave and every slot operation does nothing.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <AL/alc.h>

#include "platform/sound_slots.h"
#include "platform/wave_file.h"

namespace dravolin::platform {

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
  // How often a missing output is tried again.
  static constexpr std::int64_t kRetryMs = 2000;

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
  void setPaused(bool paused) override;
  OutputState outputState() const override;
  OutputChange checkOutput(std::int64_t nowMs) override;

  // Loads a wave from samples already in memory (as loadWave does from a file).
  WaveId addWave(const Wave& wave);

  // Closes the output as a lost device is closed: the slots go on silently and checkOutput()
  // opens it again after kRetryMs.
  void closeOutput();

  // Whether the output is open now.
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
  // What a slot holds and does, kept whether or not the output is open.
  struct Slot {
    unsigned source = 0;    // OpenAL source name; 0 without an open output or a source
    WaveId wave = kNoWave;  // kNoWave: empty
    int attenuation = 0;    // hundredths of a decibel, as last set
    bool standing = false;  // the rate is below 1 Hz: still and silent
    float pitch = 1.0f;     // as OpenAL takes it
    bool started = false;   // played and not stopped since (a one-shot may have ended)
    bool looping = false;
    // The play position: `frames` of the wave had played at `atSeconds` of the service's clock.
    double atSeconds = 0;
    double frames = 0;
  };
  struct LoadedWave {
    unsigned buffer = 0;  // OpenAL buffer name; 0 while the output is closed
    Wave wave;            // the samples, to load into a device opened later
  };

  bool openOutput();
  void restoreOutput();
  bool makeCurrent() const;
  Slot* heldSlot(int slot);
  const Slot* heldSlot(int slot) const;
  bool live(const Slot& s) const { return s.source != 0 && makeCurrent(); }
  void applyGain(const Slot& s) const;
  void applyMasterGain() const;
  void applyFormat();
  std::vector<int> contextAttributes() const;
  void shutDown();
  // The service's clock in seconds: the mixed output for a loopback device, the steady clock
  // otherwise.
  double clockSeconds() const;
  double positionFrames(const Slot& s, double now) const;
  std::int64_t wholeFrames(const Slot& s, double now) const;
  void settle(Slot& s, double now) const;  // moves the position's reference to `now`
  bool sounding(const Slot& s, double now) const;
  void start(int slot, bool looping);

  static constexpr std::int64_t kNotScheduled = INT64_MIN;

  Output output_;
  SoundOutputFormat requested_;
  bool formatRequested_ = false;
  bool wanted_ = false;    // initialise() was called: a closed output is tried again
  bool canWatch_ = false;  // the device reports its connection
  std::int64_t retryAtMs_ = kNotScheduled;
  ALCdevice* device_ = nullptr;
  ALCcontext* context_ = nullptr;
  std::array<Slot, kSlotCount> slots_{};
  std::vector<LoadedWave> waves_;
  std::chrono::steady_clock::time_point epoch_ = std::chrono::steady_clock::now();
  double renderedSeconds_ = 0;  // loopback output mixed so far
};

}  // namespace dravolin::platform
