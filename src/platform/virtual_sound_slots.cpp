#include "platform/virtual_sound_slots.h"

#include <cmath>

#include "platform/wave_file.h"

namespace dravolin::platform {

bool VirtualSoundSlots::initialise() {
  waveLengthsMs_.clear();
  slots_.fill(Slot{});
  return true;
}

SoundSlots::WaveId VirtualSoundSlots::loadWave(const std::string& path) {
  const Wave w = readWaveFile(path);
  if (w.empty() || w.rateHz <= 0) return kNoWave;
  return addWave(static_cast<double>(w.frames()) * 1000.0 / w.rateHz);
}

SoundSlots::WaveId VirtualSoundSlots::addWave(double lengthMs) {
  waveLengthsMs_.push_back(std::isfinite(lengthMs) && lengthMs > 0 ? lengthMs : 0.0);
  return static_cast<WaveId>(waveLengthsMs_.size()) - 1;
}

double VirtualSoundSlots::waveLengthMs(WaveId wave) const {
  if (wave < 0 || static_cast<std::size_t>(wave) >= waveLengthsMs_.size()) return 0;
  return waveLengthsMs_[static_cast<std::size_t>(wave)];
}

void VirtualSoundSlots::assign(int slot, WaveId wave) {
  if (!valid(slot)) return;
  const bool known = wave >= 0 && static_cast<std::size_t>(wave) < waveLengthsMs_.size();
  slots_[static_cast<std::size_t>(slot)] = Slot{};
  slots_[static_cast<std::size_t>(slot)].wave = known ? wave : kNoWave;
}

VirtualSoundSlots::Slot* VirtualSoundSlots::heldSlot(int slot) {
  if (!valid(slot)) return nullptr;
  Slot& s = slots_[static_cast<std::size_t>(slot)];
  return s.wave == kNoWave ? nullptr : &s;
}

void VirtualSoundSlots::start(int slot, bool looped) {
  Slot* s = heldSlot(slot);
  if (s == nullptr) return;
  s->started = true;
  s->looped = looped;
  s->startMs = nowMs_;
  const double length = waveLengthMs(s->wave);
  // A rate ratio that gives no forward playback leaves the sound standing: it never ends.
  s->endless = !(s->ratio > 0);
  s->durationMs = s->endless || s->ratio == 1.0 ? length : length / s->ratio;
  log(slot, looped ? "loop" : "play");
}

void VirtualSoundSlots::playOnce(int slot) { start(slot, false); }

void VirtualSoundSlots::playLooped(int slot) { start(slot, true); }

void VirtualSoundSlots::stop(int slot) {
  Slot* s = heldSlot(slot);
  if (s == nullptr) return;
  const bool wasPlaying = isPlaying(slot);
  s->started = false;
  if (wasPlaying) log(slot, "stop");
}

bool VirtualSoundSlots::isPlaying(int slot) const {
  if (!valid(slot)) return false;
  const Slot& s = slots_[static_cast<std::size_t>(slot)];
  if (s.wave == kNoWave || !s.started) return false;
  if (s.looped || s.endless) return true;
  return static_cast<double>(nowMs_ - s.startMs) < s.durationMs;
}

void VirtualSoundSlots::setFrequencyRatio(int slot, double ratio) {
  if (Slot* s = heldSlot(slot)) s->ratio = ratio;
}

void VirtualSoundSlots::setVolume(int slot, int attenuation) {
  if (Slot* s = heldSlot(slot)) s->attenuation = attenuation;
}

double VirtualSoundSlots::frequencyRatio(int slot) const {
  return valid(slot) ? slots_[static_cast<std::size_t>(slot)].ratio : 1.0;
}

int VirtualSoundSlots::volume(int slot) const {
  return valid(slot) ? slots_[static_cast<std::size_t>(slot)].attenuation : 0;
}

void VirtualSoundSlots::log(int slot, const char* action) {
  if (logging_) events_.push_back({nowMs_, slot, action});
}

}  // namespace dravolin::platform
