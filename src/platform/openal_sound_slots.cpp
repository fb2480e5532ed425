// Index: output choice | opening and closing | output format | waves | slot operations |
// loopback rendering and device names.
#include "platform/openal_sound_slots.h"

#include <AL/al.h>
#include <AL/alc.h>
#include <AL/alext.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "platform/wave_file.h"

namespace dravolin::platform {
namespace {

constexpr int kMinOutputRateHz = 8000;
constexpr int kMaxOutputRateHz = 192000;
constexpr int kSilentAttenuation = -10000;

template <typename Function>
Function alcProc(ALCdevice* device, const char* name) {
  return reinterpret_cast<Function>(alcGetProcAddress(device, name));
}

ALenum bufferFormat(const Wave& w) {
  const bool stereo = w.channels == 2;
  switch (w.type) {
    case SampleType::Unsigned8:
      return stereo ? AL_FORMAT_STEREO8 : AL_FORMAT_MONO8;
    case SampleType::Signed16:
      return stereo ? AL_FORMAT_STEREO16 : AL_FORMAT_MONO16;
    case SampleType::Float32:
      return stereo ? AL_FORMAT_STEREO_FLOAT32 : AL_FORMAT_MONO_FLOAT32;
  }
  return AL_NONE;
}

ALCint loopbackType(int bitsPerSample) {
  switch (bitsPerSample) {
    case 8:
      return ALC_UNSIGNED_BYTE_SOFT;
    case 32:
      return ALC_FLOAT_SOFT;
    default:
      return ALC_SHORT_SOFT;
  }
}

}  // namespace

// ---- output choice --------------------------------------------------------------------------

OpenAlSoundSlots::Output OpenAlSoundSlots::Output::fromEnvironment() {
  const char* value = std::getenv(kSoundDeviceVariable);
  if (value == nullptr || *value == '\0') {
    return defaultDevice();
  }
  if (std::strcmp(value, "none") == 0) {
    return none();
  }
  return device(value);
}

OpenAlSoundSlots::OpenAlSoundSlots(Output output) : output_(std::move(output)) {}

OpenAlSoundSlots::~OpenAlSoundSlots() { shutDown(); }

// ---- opening and closing --------------------------------------------------------------------

bool OpenAlSoundSlots::initialise() {
  shutDown();
  switch (output_.kind) {
    case Output::Kind::None:
      return false;
    case Output::Kind::Device:
      device_ = alcOpenDevice(output_.deviceName.empty() ? nullptr : output_.deviceName.c_str());
      break;
    case Output::Kind::Loopback:
      if (alcIsExtensionPresent(nullptr, "ALC_SOFT_loopback")) {
        auto open = alcProc<LPALCLOOPBACKOPENDEVICESOFT>(nullptr, "alcLoopbackOpenDeviceSOFT");
        device_ = open != nullptr ? open(nullptr) : nullptr;
      }
      break;
  }
  if (device_ == nullptr) {
    return false;
  }
  const std::vector<int> attributes = contextAttributes();
  context_ = alcCreateContext(device_, attributes.data());
  if (context_ == nullptr) {
    alcCloseDevice(device_);
    device_ = nullptr;
    return false;
  }
  makeCurrent();
  const bool canUnspatialise = alIsExtensionPresent("AL_SOFT_source_spatialize") == AL_TRUE;
  for (Slot& s : slots_) {
    alGetError();
    ALuint source = 0;
    alGenSources(1, &source);
    if (alGetError() != AL_NO_ERROR) {
      break;  // OpenAL Soft's own configuration allows fewer sources; the rest stay silent
    }
    // Every slot sounds at the listener, unattenuated by distance and not panned.
    alSourcei(source, AL_SOURCE_RELATIVE, AL_TRUE);
    alSource3f(source, AL_POSITION, 0.0f, 0.0f, 0.0f);
    alSourcef(source, AL_ROLLOFF_FACTOR, 0.0f);
    if (canUnspatialise) {
      alSourcei(source, AL_SOURCE_SPATIALIZE_SOFT, AL_FALSE);
    }
    s.source = source;
  }
  applyMasterGain();
  alGetError();
  return true;
}

void OpenAlSoundSlots::shutDown() {
  if (context_ != nullptr) {
    makeCurrent();
    for (Slot& s : slots_) {
      if (s.source != 0) {
        alSourceStop(s.source);
        alSourcei(s.source, AL_BUFFER, 0);
        alDeleteSources(1, &s.source);
      }
      s = Slot{};
    }
    for (LoadedWave& w : waves_) {
      alDeleteBuffers(1, &w.buffer);
    }
    alGetError();
    alcMakeContextCurrent(nullptr);
    alcDestroyContext(context_);
    context_ = nullptr;
  }
  waves_.clear();
  if (device_ != nullptr) {
    alcCloseDevice(device_);
    device_ = nullptr;
  }
}

bool OpenAlSoundSlots::makeCurrent() const {
  if (context_ == nullptr) {
    return false;
  }
  if (alcGetCurrentContext() != context_) {
    alcMakeContextCurrent(context_);
  }
  return true;
}

// ---- output format --------------------------------------------------------------------------

std::vector<int> OpenAlSoundSlots::contextAttributes() const {
  // Enough sources for every slot, no head-related filtering (plain stereo or mono out).
  std::vector<int> a = {ALC_MONO_SOURCES, kSlotCount, ALC_HRTF_SOFT, ALC_FALSE};
  if (output_.kind == Output::Kind::Loopback) {
    // A loopback device needs its format spelt out; its output is the plain mix, unlimited.
    a.insert(a.end(), {ALC_FREQUENCY, requested_.rateHz, ALC_FORMAT_CHANNELS_SOFT,
                       requested_.stereo ? ALC_STEREO_SOFT : ALC_MONO_SOFT, ALC_FORMAT_TYPE_SOFT,
                       loopbackType(requested_.bitsPerSample), ALC_OUTPUT_LIMITER_SOFT, ALC_FALSE});
  } else if (formatRequested_) {
    a.insert(a.end(), {ALC_FREQUENCY, requested_.rateHz});
  }
  a.push_back(0);
  return a;
}

void OpenAlSoundSlots::setOutputFormat(int rateHz, int bitsPerSample, bool stereo) {
  requested_.rateHz = std::clamp(rateHz, kMinOutputRateHz, kMaxOutputRateHz);
  requested_.bitsPerSample =
      bitsPerSample == 8 || bitsPerSample == 16 || bitsPerSample == 32 ? bitsPerSample : 16;
  requested_.stereo = stereo;
  formatRequested_ = true;
  applyFormat();
}

void OpenAlSoundSlots::applyFormat() {
  if (!makeCurrent() || !alcIsExtensionPresent(device_, "ALC_SOFT_HRTF")) {
    return;  // applied when the device is next opened
  }
  // Resetting the device keeps the context, its sources and its buffers.
  auto reset = alcProc<LPALCRESETDEVICESOFT>(device_, "alcResetDeviceSOFT");
  if (reset != nullptr) {
    const std::vector<int> attributes = contextAttributes();
    reset(device_, attributes.data());
  }
}

SoundOutputFormat OpenAlSoundSlots::outputFormat() const {
  SoundOutputFormat f = requested_;
  if (device_ != nullptr) {
    ALCint rate = 0;
    alcGetIntegerv(device_, ALC_FREQUENCY, 1, &rate);
    f.rateHz = rate;
  }
  return f;
}

int OpenAlSoundSlots::sourceCount() const {
  return static_cast<int>(
      std::count_if(slots_.begin(), slots_.end(), [](const Slot& s) { return s.source != 0; }));
}

// ---- waves ----------------------------------------------------------------------------------

SoundSlots::WaveId OpenAlSoundSlots::loadWave(const std::string& path) {
  if (!initialised()) {
    return kNoWave;
  }
  return addWave(readWaveFile(path));
}

SoundSlots::WaveId OpenAlSoundSlots::addWave(const Wave& wave) {
  if (!makeCurrent() || wave.empty() || wave.samples.size() > static_cast<std::size_t>(INT_MAX)) {
    return kNoWave;
  }
  alGetError();
  ALuint buffer = 0;
  alGenBuffers(1, &buffer);
  if (alGetError() != AL_NO_ERROR) {
    return kNoWave;
  }
  alBufferData(buffer, bufferFormat(wave), wave.samples.data(),
               static_cast<ALsizei>(wave.samples.size()), wave.rateHz);
  if (alGetError() != AL_NO_ERROR) {
    alDeleteBuffers(1, &buffer);
    alGetError();
    return kNoWave;
  }
  waves_.push_back({buffer, wave.rateHz});
  return static_cast<WaveId>(waves_.size()) - 1;
}

// ---- slot operations ------------------------------------------------------------------------

OpenAlSoundSlots::Slot* OpenAlSoundSlots::usedSlot(int slot) {
  return const_cast<Slot*>(std::as_const(*this).usedSlot(slot));
}

const OpenAlSoundSlots::Slot* OpenAlSoundSlots::usedSlot(int slot) const {
  if (slot < 0 || slot >= kSlotCount || slots_[slot].wave == kNoWave || !makeCurrent()) {
    return nullptr;
  }
  return &slots_[slot];
}

void OpenAlSoundSlots::assign(int slot, WaveId wave) {
  if (slot < 0 || slot >= kSlotCount || slots_[slot].source == 0 || !makeCurrent()) {
    return;
  }
  Slot& s = slots_[slot];
  alSourceStop(s.source);
  alSourceRewind(s.source);
  alSourcei(s.source, AL_BUFFER, 0);
  s.wave = kNoWave;
  s.attenuation = 0;
  s.standing = false;
  if (wave >= 0 && wave < static_cast<WaveId>(waves_.size())) {
    alSourcei(s.source, AL_BUFFER, static_cast<ALint>(waves_[wave].buffer));
    s.wave = wave;
  }
  alSourcei(s.source, AL_LOOPING, AL_FALSE);
  alSourcef(s.source, AL_PITCH, 1.0f);
  applyGain(s);
}

void OpenAlSoundSlots::playOnce(int slot) {
  if (const Slot* s = usedSlot(slot)) {
    // Playing a source that plays starts it again from the beginning.
    alSourcei(s->source, AL_LOOPING, AL_FALSE);
    alSourcePlay(s->source);
  }
}

void OpenAlSoundSlots::playLooped(int slot) {
  if (const Slot* s = usedSlot(slot)) {
    alSourcei(s->source, AL_LOOPING, AL_TRUE);
    alSourcePlay(s->source);
  }
}

void OpenAlSoundSlots::stop(int slot) {
  if (const Slot* s = usedSlot(slot)) {
    alSourceStop(s->source);
  }
}

bool OpenAlSoundSlots::isPlaying(int slot) const {
  const Slot* s = usedSlot(slot);
  if (s == nullptr) {
    return false;
  }
  ALint state = AL_STOPPED;
  alGetSourcei(s->source, AL_SOURCE_STATE, &state);
  return state == AL_PLAYING;
}

void OpenAlSoundSlots::setFrequencyRatio(int slot, double ratio) {
  Slot* s = usedSlot(slot);
  if (s == nullptr) {
    return;
  }
  const long double base = waves_[s->wave].rateHz;
  const long double rate = std::trunc(base * static_cast<long double>(ratio));
  const bool standing = !(rate >= 1.0L);  // also for a ratio that is not a number
  if (standing) {
    alSourcef(s->source, AL_PITCH, 0.0f);
  } else {
    const long double fastest = kMaxPitch * outputFormat().rateHz;
    alSourcef(s->source, AL_PITCH, static_cast<float>(std::min(rate, fastest) / base));
  }
  if (standing != s->standing) {
    s->standing = standing;
    applyGain(*s);
  }
}

void OpenAlSoundSlots::setVolume(int slot, int attenuation) {
  if (Slot* s = usedSlot(slot)) {
    s->attenuation = std::clamp(attenuation, kSilentAttenuation, 0);
    applyGain(*s);
  }
}

void OpenAlSoundSlots::applyGain(const Slot& s) const {
  float gain = 0.0f;
  if (!s.standing && s.attenuation > kSilentAttenuation) {
    gain = static_cast<float>(std::pow(10.0, s.attenuation / 2000.0));
  }
  alSourcef(s.source, AL_GAIN, gain);
}

void OpenAlSoundSlots::setMasterGain(double gain) {
  SoundSlots::setMasterGain(gain);
  applyMasterGain();
}

void OpenAlSoundSlots::applyMasterGain() const {
  if (makeCurrent()) alListenerf(AL_GAIN, static_cast<float>(masterGain()));
}

int OpenAlSoundSlots::playbackRateHz(int slot) const {
  const Slot* s = usedSlot(slot);
  if (s == nullptr || s->standing) {
    return 0;
  }
  ALfloat pitch = 0.0f;
  alGetSourcef(s->source, AL_PITCH, &pitch);
  return static_cast<int>(std::lround(static_cast<double>(pitch) * waves_[s->wave].rateHz));
}

// ---- loopback rendering and device names ----------------------------------------------------

std::vector<std::uint8_t> OpenAlSoundSlots::render(int frames) {
  if (output_.kind != Output::Kind::Loopback || !makeCurrent() || frames <= 0) {
    return {};
  }
  auto renderSamples = alcProc<LPALCRENDERSAMPLESSOFT>(device_, "alcRenderSamplesSOFT");
  if (renderSamples == nullptr) {
    return {};
  }
  std::vector<std::uint8_t> out(static_cast<std::size_t>(frames) *
                                static_cast<std::size_t>(requested_.frameBytes()));
  renderSamples(device_, out.data(), frames);
  return out;
}

std::vector<std::string> OpenAlSoundSlots::deviceNames() {
  const bool all = alcIsExtensionPresent(nullptr, "ALC_ENUMERATE_ALL_EXT") == ALC_TRUE;
  const ALCchar* list =
      alcGetString(nullptr, all ? ALC_ALL_DEVICES_SPECIFIER : ALC_DEVICE_SPECIFIER);
  std::vector<std::string> names;
  while (list != nullptr && *list != '\0') {
    names.emplace_back(list);
    list += names.back().size() + 1;
  }
  return names;
}

}  // namespace dravolin::platform
