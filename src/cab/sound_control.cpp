#include "cab/sound_control.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "sim/fixed.h"

namespace dravolin::cab {

using platform::SoundSlots;
using sim::Fixed;

namespace {

bool validSlot(int slot) { return slot >= 0 && slot < SoundSlots::kSlotCount; }

int lastAttenuation(const SoundControlState& sc, int slot) {
  return validSlot(slot) ? sc.lastAttenuation[static_cast<std::size_t>(slot)] : 0;
}

// The slot of line sound `sound`, or -1 for a number beyond the line's "[SoundData]" list (whose
// slot would belong to an announcement or another group).
int lineSoundSlot(const data::SoundLayout& layout, int sound) {
  return sound >= 0 && sound < layout.S ? layout.lineSound(sound) : -1;
}

// "Near" a frame: within 4 frames either side. Frames are widened so no difference overflows.
bool near(int frame, int frameIndex) {
  return std::llabs(static_cast<long long>(frame) - frameIndex) < 5;
}

}  // namespace

// --- levels and the run state ---

int attenuationOf(long double factor) {
  if (!(factor > 0.0L)) {
    return kSilentAttenuation;
  }
  const int a = sim::roundToInt(2000.0L * std::log10(factor));
  return std::clamp(a, kSilentAttenuation, 0);
}

SoundControlState startSoundControl(const data::TrainFile& train, const data::LineFile& line) {
  SoundControlState sc;
  sc.motorVolumeFactor.assign(train.MotorSound.size(), 1.0L);
  sc.motorGain.assign(train.MotorSound.size(), 1.0L);
  sc.lineSoundPlayed.assign(line.sounds.size(), 0);
  sc.announceInWindow.assign(line.announce.size(), 0);
  return sc;
}

void setAttenuation(SoundControlState& sc, SoundSlots& slots, int slot, int attenuation) {
  const int a = std::clamp(attenuation, kSilentAttenuation, 0);
  if (validSlot(slot)) {
    sc.lastAttenuation[static_cast<std::size_t>(slot)] = a;
  }
  slots.setVolume(slot, a);
}

// --- brake squeal ---

void brakeSqueal(const sim::TrainState& s, const data::TrainFile& train, SoundControlState& sc,
                 SoundSlots& slots) {
  const int slot = train.Sound_squeak;
  const Fixed v = sim::abs(s.Speed);
  const Fixed loseElec = Fixed::fromInt(train.params.Lose_elec);
  const bool braking = s.BrakeNotch < 0;

  if (braking && loseElec > v && v > Fixed::fromInt(3)) {
    platform::loopIfIdle(slots, slot);
  }
  if (s.BrakeNotch == 0 || v >= Fixed::fromInt(45)) {
    const int a = lastAttenuation(sc, slot) - 100;
    setAttenuation(sc, slots, slot, a);
    if (a < -5000) {
      slots.stop(slot);
    }
  }
  if (v < Fixed::fromInt(1)) {
    const int a = lastAttenuation(sc, slot) - 1000;
    setAttenuation(sc, slots, slot, a);
    if (a < -5000) {
      slots.stop(slot);
    }
  }
  if (braking && loseElec > v && v > Fixed::fromInt(1) && s.BrakePressure > Fixed{}) {
    // -625 at 400 kPa; a very low pressure saturates and is clamped to silence.
    setAttenuation(sc, slots, slot, sim::roundToInt(500.0L / s.BrakePressure.ld() * -500.0L));
  }
}

// --- sounds of the line ---

void lineSounds(const sim::TrainState& s, const data::LineFile& line,
                const data::SoundLayout& layout, SoundControlState& sc, SoundSlots& slots) {
  if (sc.lineSoundPlayed.size() < line.sounds.size()) {
    sc.lineSoundPlayed.resize(line.sounds.size(), 0);
  }
  const long long frame = s.FrameIndex;
  for (std::size_t i = 0; i < line.sounds.size(); ++i) {
    const data::LineSoundRecord& row = line.sounds[i];
    const int slot = lineSoundSlot(layout, row.sound);
    if (slot < 0) {
      continue;
    }
    // A reference speed of 1 keeps the sound's own pitch and level; so does 0, which has no
    // speed ratio.
    const bool ownPitch = row.referenceSpeed == 1 || row.referenceSpeed == 0;
    const long double ratio = ownPitch ? 1.0L : s.Speed.ld() / row.referenceSpeed;
    std::uint8_t& played = sc.lineSoundPlayed[i];
    const bool nearStart = near(row.startFrame, s.FrameIndex);

    if (row.mode == 0 && nearStart) {
      slots.setFrequencyRatio(slot, static_cast<double>(ratio));
      if (played == 0) {
        platform::restart(slots, slot);
        played = 1;
      }
    }
    if (row.mode >= 1) {
      if (nearStart) {
        slots.setFrequencyRatio(slot, static_cast<double>(ratio));
        if (!ownPitch) {
          setAttenuation(sc, slots, slot, attenuationOf(ratio));
        }
        if (played == 0) {
          platform::restartLooped(slots, slot);
          played = 1;
        }
      }
      if (near(row.endFrame, s.FrameIndex) && played != 0) {
        slots.stop(slot);
      }
    }
    if (row.startFrame < frame && frame < row.endFrame && !ownPitch) {
      if (row.mode == 1) {
        slots.setFrequencyRatio(slot, static_cast<double>(ratio));
      }
      setAttenuation(sc, slots, slot,
                     s.Speed > Fixed{} ? attenuationOf(ratio) : kSilentAttenuation);
    }
  }
}

void announcements(const sim::TrainState& s, const data::LineFile& line,
                   const data::SoundLayout& layout, SoundControlState& sc, SoundSlots& slots) {
  if (line.oneMan != 0) {
    return;  // the driver plays them by key
  }
  sc.announceInWindow.resize(line.announce.size(), 0);
  for (std::size_t i = 0; i < line.announce.size(); ++i) {
    const data::AnnounceRecord& row = line.announce[i];
    std::uint8_t& inWindow = sc.announceInWindow[i];
    if (!near(row.value, s.FrameIndex)) {
      inWindow = 0;
      continue;
    }
    if (inWindow != 0) {
      continue;  // played on entering the window
    }
    inWindow = 1;
    const int slot = lineSoundSlot(layout, row.sound);
    if (slot >= 0) {
      platform::startIfIdle(slots, slot);
    }
  }
}

void forgetAnnouncementWindows(SoundControlState& sc) {
  std::fill(sc.announceInWindow.begin(), sc.announceInWindow.end(), std::uint8_t{0});
}

void passingSounds(const sim::TrainState& s, const data::LineFile& line,
                   const data::SoundLayout& layout, SoundControlState& sc, SoundSlots& slots) {
  constexpr long double kSoundSpeed = 1220.0L;  // km/h
  const long long frame = s.FrameIndex;
  const long double v = s.Speed.ld();
  for (const data::DopplerRecord& row : line.dopplers) {
    const int slot = lineSoundSlot(layout, row.sound);
    if (slot < 0) {
      continue;
    }
    const long long fa = row.startFrame;
    const long long fp = row.passFrame;
    const long long fe = row.endFrame;
    if (fa <= frame && frame <= fp) {
      // At exactly the speed of sound the pitch is left as it was.
      if (kSoundSpeed - v != 0.0L) {
        slots.setFrequencyRatio(slot, static_cast<double>(kSoundSpeed / (kSoundSpeed - v)));
      }
      // A source that starts at its passing frame is heard at full level there.
      const long double share = fp == fa ? 0.0L
                                         : 1000.0L * static_cast<long double>(fp - frame) /
                                               static_cast<long double>(fp - fa);
      setAttenuation(sc, slots, slot, sim::roundToInt(-share));
    }
    if (fp < frame && frame < fe) {
      if (kSoundSpeed + v != 0.0L) {
        slots.setFrequencyRatio(slot, static_cast<double>(kSoundSpeed / (kSoundSpeed + v)));
      }
      const long double share =
          1000.0L * static_cast<long double>(frame - fp) / static_cast<long double>(fe - fp);
      setAttenuation(sc, slots, slot, sim::roundToInt(-share));
    }
    if (fe <= frame && frame < fe + 10) {
      slots.stop(slot);
    }
    if (fa <= frame && frame < fa + 10) {
      platform::loopIfIdle(slots, slot);
    }
  }
}

// --- stop sound ---

void stopSound(const sim::TrainState& s, const data::TrainFile& train, const data::LineFile& line,
               SoundSlots& slots) {
  const int slot = train.Stop;
  const long long frame = s.FrameIndex;
  for (const int f : line.stopSoundFrames) {
    if (f < frame && frame < static_cast<long long>(f) + 30) {
      platform::loopIfIdle(slots, slot);
    }
  }
  if (s.Speed < Fixed::fromInt(1) && slots.isPlaying(slot)) {
    slots.stop(slot);
  }
}

// --- running noise, motors and engine ---

void runningNoise(const sim::TrainState& s, const data::SoundLayout& layout, SoundControlState& sc,
                  SoundSlots& slots) {
  const long long rounded = sim::roundToInt(s.Speed.ld());
  const long long u = rounded < 0 ? -rounded : rounded;
  if (u >= 120) {
    return;  // the running noise keeps its last state
  }
  const int n = static_cast<int>(u / 10);
  const int r = static_cast<int>(u % 10);
  // Only drive sounds are running-noise bands: a train with fewer than 13 drive sounds has no
  // band above its last one (the slots after it hold the line's sounds).
  const auto band = [&](int k) { return k >= 0 && k < layout.D; };

  if (u > 10 && band(n - 1) && slots.isPlaying(n - 1)) {
    slots.stop(n - 1);
  }
  if (u < 110 && band(n + 2) && slots.isPlaying(n + 2)) {
    slots.stop(n + 2);
  }
  if (band(n)) {
    platform::loopIfIdle(slots, n);
  }
  if (band(n + 1)) {
    platform::loopIfIdle(slots, n + 1);
  }
  if (band(n)) {
    setAttenuation(sc, slots, n, attenuationOf((100.0L - 10.0L * r) / 100.0L));
  }
  if (band(n + 1)) {
    const long double upper = r == 0 ? 1.0L / 100.0L : 10.0L * r / 100.0L;
    setAttenuation(sc, slots, n + 1, attenuationOf(upper));
  }
}

void motorSounds(const sim::TrainState& s, const data::TrainFile& train, SoundControlState& sc,
                 SoundSlots& slots) {
  const std::size_t count =
      std::min({train.MotorSound.size(), sc.motorVolumeFactor.size(), sc.motorGain.size()});
  const long double v = s.Speed.ld();
  for (std::size_t i = 0; i < count; ++i) {
    const data::MotorSoundSpec& m = train.MotorSound[i];
    const int slot = data::SoundLayout::motorSound(static_cast<int>(i));
    if (m.speedFrom < v && v < m.speedTo) {
      const long double span = m.speedTo - m.speedFrom;
      slots.setFrequencyRatio(
          slot,
          static_cast<double>(m.ratioFrom + (v - m.speedFrom) * (m.ratioTo - m.ratioFrom) / span));
      sc.motorVolumeFactor[i] =
          m.volumeFrom + (v - m.speedFrom) * (m.volumeTo - m.volumeFrom) / span;
    } else {
      sc.motorVolumeFactor[i] = 1.0L;
    }
    const bool driven =
        m.mode == 2 || (m.mode == 0 && s.PowerNotch > 0) || (m.mode == 1 && s.BrakeNotch < 0);
    if (driven) {
      sc.motorGain[i] = 100.0L;
    } else if (sc.motorGain[i] > 16.0L) {
      sc.motorGain[i] -= 10.0L;
    }
  }

  const bool anyNotch = s.PowerNotch != 0 || s.BrakeNotch != 0;
  if (anyNotch && sc.motorMasterLevel < 85.0L) {
    sc.motorMasterLevel += 20.0L;
  }
  if (!anyNotch && sc.motorMasterLevel > 15.0L) {
    sc.motorMasterLevel -= 10.0L;
  }

  for (std::size_t i = 0; i < count; ++i) {
    const int slot = data::SoundLayout::motorSound(static_cast<int>(i));
    if (sc.motorVolumeFactor[i] < 1.0L) {
      sc.motorVolumeFactor[i] = 1.0L;
    }
    setAttenuation(sc, slots, slot,
                   attenuationOf(sc.motorVolumeFactor[i] * sc.motorGain[i] * sc.motorMasterLevel /
                                 1000000.0L));
    platform::loopIfIdle(slots, slot);
  }
}

void engineSound(const sim::TrainState& s, const data::TrainFile& train, SoundControlState& sc,
                 SoundSlots& slots) {
  if (!train.params.diesel()) {
    return;
  }
  const int e1 = train.EngineSound[0];
  const int e2 = train.EngineSound[1];
  const int e3 = train.EngineSound[2];

  if (!s.DoorsOpen && !slots.isPlaying(e2)) {
    slots.stop(e2);
    slots.stop(e3);
    slots.playLooped(e2);  // idling
  }
  const bool underPower = s.PowerNotch != 0 && !s.GearShifting;
  if (underPower && sc.engineVolumeLevel < 95.0L) {
    sc.engineVolumeLevel += 5.0L;
  }
  if (!underPower && sc.engineVolumeLevel > 3.0L) {
    sc.engineVolumeLevel -= 3.0L;
  }
  setAttenuation(sc, slots, e1, attenuationOf(sc.engineVolumeLevel / 100.0L));
  platform::loopIfIdle(slots, e1);
  slots.setFrequencyRatio(e1, static_cast<double>(s.EngineOutput / 200.0L + 0.5L));
}

}  // namespace dravolin::cab
