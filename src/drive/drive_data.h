// What start-up loading builds for one drive, before the drive runs: the data files with their
// derived tables, the cab panel as built, the sound slot layout, the "Move" menu's station
// entries and the initial train state. A drive owns one and reads its tables only.
#pragma once

#include <string>
#include <vector>

#include "data/drive_files.h"
#include "sim/cab_model.h"
#include "sim/train_state.h"

namespace dravolin::drive {

// The sound slots of one drive: drive sounds from slot 0, then the line sounds, the
// announcements and the other-indication sounds; motor sounds from slot 200.
struct SoundLayout {
  int D = 0;  // drive sounds ("[DriveSound]")
  int S = 0;  // line sounds ("[SoundData]")
  int K = 0;  // announcements: 0 without "[KankoSound2]", else 28 + its records
  int O = 0;  // other-indication sounds ("[OtherImageList]" records)
  int M = 0;  // motor sounds ("[MotorSound]")

  int lineSound(int i) const { return D + i; }
  int announcement(int k) const { return D + S + k; }
  int otherSound(int o) const { return D + S + K + o; }
  static constexpr int kFirstMotorSlot = 200;
  static int motorSound(int i) { return kFirstMotorSlot + i; }
};

// One station entry of the "Move" menu (stations of type 0 and 2, never the last station).
struct StationMenuEntry {
  std::string name;         // "Sta" followed by the station index in decimal
  std::string captionUtf8;  // the station's name
  int station = 0;          // index in the line file's station list
};

struct DriveData {
  data::DriveFiles files;                     // read-only while driving
  sim::CabModel cab;                          // panel, lamps, needles, image lists as built
  SoundLayout sounds;                         // slot layout of the loaded waves
  std::vector<StationMenuEntry> stationMenu;  // in station order
  sim::TrainState state;                      // the initial state, before the handle display
  int videoFrameCount = -1;                   // frames of the line video; -1 when none opened
};

}  // namespace dravolin::drive
