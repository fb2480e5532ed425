// One drive: the driving window's logic for one run, with no toolkit. It owns the train state,
// the tables and the cab model (all held in its DriveData), the protection, indication and input
// state and the per-station progress, and it uses the sound service it is given. Its methods
// keep the driving window's handler names and sequence the steps of sim/.
#pragma once

#include <string>

#include "drive/drive_data.h"
#include "input/input_state.h"
#include "platform/sound_slots.h"
#include "sim/doors.h"
#include "sim/handles.h"
#include "sim/protection_state.h"
#include "sim/station_stops.h"

namespace dravolin::drive {

class Drive {
 public:
  // Takes over what start-up loading built; its state and cab model become the live ones.
  Drive(DriveData data, platform::SoundSlots& sound);

  Drive(const Drive&) = delete;
  Drive& operator=(const Drive&) = delete;

  // --- handlers ---

  // Shows the handle positions in the cab.
  void masconupdate();
  // The door key: opens or starts closing the doors at standstill.
  void Door_operate();
  // A station entry of the "Move" menu, named "Sta" followed by the station index: puts the
  // train at rest at that station's stop position, five seconds before its departure sound.
  // A name that matches no station does nothing.
  void StationClick(const std::string& itemName);
  // Shows `time` (1/30 s) in the clock digits and on the clock face.
  void timecalc(int time);
  // One 33 ms simulation tick.
  void MMTimer1Timer();

  // --- display-tick steps ---

  // Door closing and the door lamp.
  void doorClosingStep();
  // The station stop sequence.
  void stationStep();

  // --- what the drive holds ---

  sim::TrainState& state() { return data_.state; }
  const sim::TrainState& state() const { return data_.state; }
  sim::CabModel& cab() { return data_.cab; }
  const sim::CabModel& cab() const { return data_.cab; }
  sim::ProtectionState& protection() { return protection_; }
  const sim::ProtectionState& protection() const { return protection_; }
  sim::IndicationState& indication() { return indication_; }
  const sim::IndicationState& indication() const { return indication_; }
  input::InputState& input() { return input_; }
  const input::InputState& input() const { return input_; }
  const sim::StationFlags& stationFlags() const { return stationFlags_; }
  const DriveData& data() const { return data_; }
  // Display ticks run so far.
  int displayTickCount() const { return displayTicks_; }

 private:
  sim::DoorSounds doorSounds() const;

  DriveData data_;
  platform::SoundSlots& sound_;
  sim::HandleTexts handleTexts_;
  sim::StationTexts stationTexts_;
  sim::ProtectionState protection_;
  sim::IndicationState indication_;
  input::InputState input_;
  sim::StationFlags stationFlags_;
  int displayTicks_ = 0;
};

}  // namespace dravolin::drive
