// Sound control of the display tick: the train's continuous sounds (brake squeal, running noise,
// traction motors, diesel engine) and the sounds tied to places on the line (line sounds,
// announcements, passing sounds, the stop sound). Each function is one step of the display tick
// and works only on the sound slots; the compressor's sounds live beside the compressor.
//
// Sections: levels and the run state; brake squeal; sounds of the line; stop sound; running
// noise, motors and engine.
//
// Display-tick order: brakeSqueal after the speed integration; lineSounds, announcements and
// passingSounds after the compressor; stopSound after the EB device; then runningNoise,
// motorSounds and, with sim::dieselEngineOutput called just before it, engineSound.
//
// Attenuations are hundredths of a decibel, 0 (full) to -10000 (silent).
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "data/line_file.h"
#include "data/sound_layout.h"
#include "data/train_file.h"
#include "platform/sound_slots.h"
#include "sim/train_state.h"

namespace dravolin::cab {

// --- levels and the run state ---

inline constexpr int kSilentAttenuation = -10000;

// The attenuation of an amplitude factor: 2000 x log10(factor), rounded to the nearest integer
// (halves to even), within 0 .. -10000. A factor of 0 or less (no level at all) is silent.
int attenuationOf(long double factor);

// What sound control remembers from one display tick to the next, for the whole run.
struct SoundControlState {
  // The attenuation set last on every slot; the brake squeal fades from it.
  std::array<int, platform::SoundSlots::kSlotCount> lastAttenuation{};
  std::vector<long double> motorVolumeFactor;  // per motor sound, speed-dependent factor
  std::vector<long double> motorGain;          // per motor sound, 10 to 100 by the handles
  long double motorMasterLevel = 1.0L;         // common level of all motor sounds
  long double engineVolumeLevel = 1.0L;        // diesel engine loudness, percent
  // One mark per "[Sound]" row: its sound has been started; never cleared while driving.
  std::vector<std::uint8_t> lineSoundPlayed;
  // One mark per "[Announce]" row: the train is within its window and the announcement has had
  // its one chance to play; cleared when the train leaves the window.
  std::vector<std::uint8_t> announceInWindow;
};

// The state at start-up: every level factor 1.0, no attenuation set, no line sound played.
SoundControlState startSoundControl(const data::TrainFile& train, const data::LineFile& line);

// Sets a slot's attenuation (clamped to 0 .. -10000) and remembers it.
void setAttenuation(SoundControlState& sc, platform::SoundSlots& slots, int slot, int attenuation);

// --- brake squeal ---

// The squeal ("[Sound_squeak]") starts under a brake notch between 3 km/h and "[Lose_elec]",
// is louder with a harder brake, fades 1 dB a tick after release or above 45 km/h and 10 dB a
// tick at standstill, and stops below -50 dB.
void brakeSqueal(const sim::TrainState& s, const data::TrainFile& train, SoundControlState& sc,
                 platform::SoundSlots& slots);

// --- sounds of the line ---

// "[Sound]" rows: played once near their start frame, or looped from the start frame to the end
// frame, pitched and levelled by the speed over their reference speed (1 keeps the sound as
// recorded). Every row plays once per run.
void lineSounds(const sim::TrainState& s, const data::LineFile& line,
                const data::SoundLayout& layout, SoundControlState& sc,
                platform::SoundSlots& slots);

// "[Announce]" rows of a line without one-man operation: started (unless already playing) once
// each time the train comes within four frames of the row's frame; a train standing there does
// not hear it again until it has left that window and come back.
void announcements(const sim::TrainState& s, const data::LineFile& line,
                   const data::SoundLayout& layout, SoundControlState& sc,
                   platform::SoundSlots& slots);

// A move to a station: the train arrives afresh, so every announcement window counts as left.
void forgetAnnouncementWindows(SoundControlState& sc);

// "[Doppler]" rows: a source approaching from its start frame to its passing frame (-10 dB
// rising to 0 dB, pitched up) and receding to its end frame (falling to -10 dB, pitched down),
// with 1220 km/h as the speed of sound.
void passingSounds(const sim::TrainState& s, const data::LineFile& line,
                   const data::SoundLayout& layout, SoundControlState& sc,
                   platform::SoundSlots& slots);

// --- stop sound ---

// The stop sound ("[Stop]") loops from any "[StopSound]" frame until the train has (nearly)
// stopped.
void stopSound(const sim::TrainState& s, const data::TrainFile& train, const data::LineFile& line,
               platform::SoundSlots& slots);

// --- running noise, motors and engine ---

// Running noise below 120 km/h: drive sounds n and n + 1 (n the speed's tens) cross-faded by the
// units digit, their neighbours stopped. Drive sound n belongs to n x 10 .. n x 10 + 9 km/h.
void runningNoise(const sim::TrainState& s, const data::SoundLayout& layout, SoundControlState& sc,
                  platform::SoundSlots& slots);

// Motor sounds ("[MotorSound]", slots from 200): pitch and level by the speed within each
// record's range, a gain that follows the handles and falls off after them, and a master level
// that rises with any notch.
void motorSounds(const sim::TrainState& s, const data::TrainFile& train, SoundControlState& sc,
                 platform::SoundSlots& slots);

// Diesel engine ("[EngineSound]", diesel trains only; electric trains return at once): the
// idling sound once the doors are closed, and the engine sound louder under power, pitched by
// the engine output. Reads EngineOutput, so sim::dieselEngineOutput runs before it.
void engineSound(const sim::TrainState& s, const data::TrainFile& train, SoundControlState& sc,
                 platform::SoundSlots& slots);

}  // namespace dravolin::cab
