// Index: output choice | opening and closing | output format | waves | play positions |
// slot operations | loopback rendering and device names.
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
  SoundSlots::setPaused(false);  // a fresh service plays at once
  wanted_ = output_.kind != Output::Kind::None;
  retryAtMs_ = kNotScheduled;
  return wanted_ && openOutput();
}

bool OpenAlSoundSlots::openOutput() {
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
  canWatch_ = alcIsExtensionPresent(device_, "ALC_EXT_disconnect") == ALC_TRUE;
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

void OpenAlSoundSlots::closeOutput() {
  if (context_ != nullptr) {
    makeCurrent();
    for (Slot& s : slots_) {
      if (s.source != 0) {
        alSourceStop(s.source);
        alSourcei(s.source, AL_BUFFER, 0);
        alDeleteSources(1, &s.source);
        s.source = 0;
      }
    }
    for (LoadedWave& w : waves_) {
      if (w.buffer != 0) alDeleteBuffers(1, &w.buffer);
      w.buffer = 0;
    }
    alGetError();
    alcMakeContextCurrent(nullptr);
    alcDestroyContext(context_);
    context_ = nullptr;
  }
  if (device_ != nullptr) {
    alcCloseDevice(device_);
    device_ = nullptr;
  }
  retryAtMs_ = kNotScheduled;
}

void OpenAlSoundSlots::shutDown() {
  closeOutput();
  slots_.fill(Slot{});
  waves_.clear();
}

// Loads every wave into the output just opened and lets every slot go on as it would have
// without the loss.
void OpenAlSoundSlots::restoreOutput() {
  for (LoadedWave& w : waves_) {
    alGetError();
    alGenBuffers(1, &w.buffer);
    if (alGetError() != AL_NO_ERROR) {
      w.buffer = 0;
      continue;
    }
    alBufferData(w.buffer, bufferFormat(w.wave), w.wave.samples.data(),
                 static_cast<ALsizei>(w.wave.samples.size()), w.wave.rateHz);
  }
  alGetError();
  const double now = clockSeconds();
  for (Slot& s : slots_) {
    if (s.source == 0 || s.wave == kNoWave) continue;
    const LoadedWave& w = waves_[static_cast<std::size_t>(s.wave)];
    alSourcei(s.source, AL_BUFFER, static_cast<ALint>(w.buffer));
    alSourcei(s.source, AL_LOOPING, s.looping ? AL_TRUE : AL_FALSE);
    alSourcef(s.source, AL_PITCH, s.standing ? 0.0f : s.pitch);
    applyGain(s);
    if (!sounding(s, now)) continue;
    const std::int64_t at = wholeFrames(s, now) % w.wave.frames();
    // An offset set before the play is where the play begins.
    alSourcei(s.source, AL_SAMPLE_OFFSET, static_cast<ALint>(at));
    if (!paused()) alSourcePlay(s.source);
  }
  alGetError();
}

SoundSlots::OutputState OpenAlSoundSlots::outputState() const {
  if (!wanted_) return OutputState::Unused;
  return context_ != nullptr ? OutputState::Open : OutputState::Missing;
}

SoundSlots::OutputChange OpenAlSoundSlots::checkOutput(std::int64_t nowMs) {
  if (!wanted_) return OutputChange::None;
  if (context_ != nullptr) {
    ALCint connected = ALC_TRUE;
    if (canWatch_) alcGetIntegerv(device_, ALC_CONNECTED, 1, &connected);
    if (connected != ALC_FALSE) return OutputChange::None;
    closeOutput();
    retryAtMs_ = nowMs + kRetryMs;
    return OutputChange::Lost;
  }
  if (retryAtMs_ == kNotScheduled) {
    retryAtMs_ = nowMs + kRetryMs;
  }
  if (nowMs < retryAtMs_) return OutputChange::None;
  retryAtMs_ = nowMs + kRetryMs;
  if (!openOutput()) return OutputChange::None;
  restoreOutput();
  retryAtMs_ = kNotScheduled;
  return OutputChange::Restored;
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
  if (!wanted_) {
    return kNoWave;
  }
  return addWave(readWaveFile(path));
}

SoundSlots::WaveId OpenAlSoundSlots::addWave(const Wave& wave) {
  if (!wanted_ || wave.empty() || wave.samples.size() > static_cast<std::size_t>(INT_MAX) ||
      bufferFormat(wave) == AL_NONE) {
    return kNoWave;
  }
  ALuint buffer = 0;
  if (makeCurrent()) {
    alGetError();
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
  }
  // The samples stay in memory so that a device opened later gets them without the files.
  waves_.push_back({buffer, wave});
  return static_cast<WaveId>(waves_.size()) - 1;
}

// ---- play positions -------------------------------------------------------------------------

double OpenAlSoundSlots::clockSeconds() const {
  if (output_.kind == Output::Kind::Loopback) return renderedSeconds_;
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - epoch_).count();
}

double OpenAlSoundSlots::positionFrames(const Slot& s, double now) const {
  if (paused() || s.standing || s.wave == kNoWave) return s.frames;
  const double rate = waves_[static_cast<std::size_t>(s.wave)].wave.rateHz * double{s.pitch};
  return s.frames + (now - s.atSeconds) * rate;
}

void OpenAlSoundSlots::settle(Slot& s, double now) const {
  s.frames = positionFrames(s, now);
  s.atSeconds = now;
}

// Positions count in whole frames, so that the clock's rounding never decides at an end.
std::int64_t OpenAlSoundSlots::wholeFrames(const Slot& s, double now) const {
  return std::llround(positionFrames(s, now));
}

bool OpenAlSoundSlots::sounding(const Slot& s, double now) const {
  if (!s.started || s.wave == kNoWave) return false;
  return s.looping || wholeFrames(s, now) < waves_[static_cast<std::size_t>(s.wave)].wave.frames();
}

// ---- slot operations ------------------------------------------------------------------------

OpenAlSoundSlots::Slot* OpenAlSoundSlots::heldSlot(int slot) {
  return const_cast<Slot*>(std::as_const(*this).heldSlot(slot));
}

const OpenAlSoundSlots::Slot* OpenAlSoundSlots::heldSlot(int slot) const {
  if (slot < 0 || slot >= kSlotCount || slots_[slot].wave == kNoWave) {
    return nullptr;
  }
  return &slots_[slot];
}

void OpenAlSoundSlots::assign(int slot, WaveId wave) {
  if (slot < 0 || slot >= kSlotCount || !wanted_) {
    return;
  }
  Slot& s = slots_[slot];
  const unsigned source = s.source;
  s = Slot{};
  s.source = source;
  if (wave >= 0 && wave < static_cast<WaveId>(waves_.size())) {
    s.wave = wave;
  }
  if (!live(s)) return;
  alSourceStop(s.source);
  alSourceRewind(s.source);
  alSourcei(s.source, AL_BUFFER, 0);
  if (s.wave != kNoWave) {
    alSourcei(s.source, AL_BUFFER,
              static_cast<ALint>(waves_[static_cast<std::size_t>(wave)].buffer));
  }
  alSourcei(s.source, AL_LOOPING, AL_FALSE);
  alSourcef(s.source, AL_PITCH, 1.0f);
  applyGain(s);
}

void OpenAlSoundSlots::start(int slot, bool looping) {
  Slot* s = heldSlot(slot);
  if (s == nullptr) return;
  s->started = true;
  s->looping = looping;
  s->frames = 0;
  s->atSeconds = clockSeconds();
  if (!live(*s)) return;
  alSourcei(s->source, AL_LOOPING, looping ? AL_TRUE : AL_FALSE);
  if (paused()) {
    // Ready at its start; it plays when the slots go on.
    alSourceStop(s->source);
    alSourceRewind(s->source);
  } else {
    // Playing a source that plays starts it again from the beginning.
    alSourcePlay(s->source);
  }
}

void OpenAlSoundSlots::playOnce(int slot) { start(slot, false); }

void OpenAlSoundSlots::playLooped(int slot) { start(slot, true); }

void OpenAlSoundSlots::stop(int slot) {
  if (Slot* s = heldSlot(slot)) {
    s->started = false;
    if (live(*s)) alSourceStop(s->source);
  }
}

bool OpenAlSoundSlots::isPlaying(int slot) const {
  const Slot* s = heldSlot(slot);
  if (s == nullptr) {
    return false;
  }
  if (!live(*s) || paused()) {
    return sounding(*s, clockSeconds());
  }
  ALint state = AL_STOPPED;
  alGetSourcei(s->source, AL_SOURCE_STATE, &state);
  return state == AL_PLAYING;
}

void OpenAlSoundSlots::setFrequencyRatio(int slot, double ratio) {
  Slot* s = heldSlot(slot);
  if (s == nullptr) {
    return;
  }
  settle(*s, clockSeconds());
  const long double base = waves_[static_cast<std::size_t>(s->wave)].wave.rateHz;
  const long double rate = std::trunc(base * static_cast<long double>(ratio));
  const bool standing = !(rate >= 1.0L);  // also for a ratio that is not a number
  if (!standing) {
    const long double fastest = kMaxPitch * outputFormat().rateHz;
    s->pitch = static_cast<float>(std::min(rate, fastest) / base);
  }
  const bool changed = standing != s->standing;
  s->standing = standing;
  if (!live(*s)) return;
  alSourcef(s->source, AL_PITCH, standing ? 0.0f : s->pitch);
  if (changed) applyGain(*s);
}

void OpenAlSoundSlots::setVolume(int slot, int attenuation) {
  if (Slot* s = heldSlot(slot)) {
    s->attenuation = std::clamp(attenuation, kSilentAttenuation, 0);
    if (live(*s)) applyGain(*s);
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

void OpenAlSoundSlots::setPaused(bool paused) {
  if (paused == this->paused()) return;
  const double now = clockSeconds();
  for (Slot& s : slots_) settle(s, now);
  SoundSlots::setPaused(paused);
  if (!makeCurrent()) return;
  for (const Slot& s : slots_) {
    if (s.source == 0 || s.wave == kNoWave) continue;
    ALint state = AL_STOPPED;
    alGetSourcei(s.source, AL_SOURCE_STATE, &state);
    if (paused && state == AL_PLAYING) {
      alSourcePause(s.source);
    } else if (!paused && s.started && (state == AL_PAUSED || state == AL_INITIAL)) {
      alSourcePlay(s.source);
    }
  }
}

int OpenAlSoundSlots::playbackRateHz(int slot) const {
  const Slot* s = heldSlot(slot);
  if (s == nullptr || s->standing) {
    return 0;
  }
  return static_cast<int>(
      std::lround(double{s->pitch} * waves_[static_cast<std::size_t>(s->wave)].wave.rateHz));
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
  renderedSeconds_ += static_cast<double>(frames) / outputFormat().rateHz;
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
