// What start-up loading builds for one drive, before the drive runs: the data files with their
// derived tables, the cab panel as built, the sound slot layout, the "Move" menu's station
// entries and the initial train state. A drive owns one and reads its tables only.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "data/drive_files.h"
#include "data/sound_layout.h"
#include "sim/cab_model.h"
#include "sim/train_state.h"

namespace dravolin::drive {

using data::SoundLayout;

// One station entry of the "Move" menu (stations of type 0 and 2, never the last station).
struct StationMenuEntry {
  std::string name;         // "Sta" followed by the station index in decimal
  std::string captionUtf8;  // the station's name
  int station = 0;          // index in the line file's station list
};

struct DriveData {
  data::DriveFiles files;                     // read-only while driving; image lists moved to cab
  sim::CabModel cab;                          // panel, lamps, needles, image lists as built
  SoundLayout sounds;                         // slot layout of the loaded waves
  std::vector<StationMenuEntry> stationMenu;  // in station order
  sim::TrainState state;                      // the initial state, before the handle display
  int videoFrameCount = -1;                   // frames of the line video; -1 when none opened
  std::filesystem::path videoPath;            // the line video's file, as opened
  // Every file the start-up looked up (data files, pictures, sounds, the video), each once, in
  // the order first read; relative to the data folder when the request's folder was relative.
  std::vector<std::filesystem::path> filesRead;
};

}  // namespace dravolin::drive
