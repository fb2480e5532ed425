// Train and line files for the cab tests, built by hand: only the values the cab reads.
#pragma once

#include <string>

#include "data/line_file.h"
#include "data/sound_layout.h"
#include "data/train_file.h"

namespace dravolin::testing {

// An electric train with `driveSounds` drive sounds (slots 0 up), its event sounds in the last
// ones: squeal in slot 15, stop sound in 16, the engine sounds in 17 to 19.
inline data::TrainFile cabTrain(int driveSounds = 20) {
  data::TrainFile t;
  t.params.Engine_Type = 1;
  t.params.Power = 4;
  t.params.Brake = 8;
  t.params.Lose_elec = 10;
  t.params.Tons = sim::Fixed::fromInt(300);
  t.params.Mt = sim::Fixed::fromInt(150);
  t.params.Cars = 10;
  t.DriveSound.assign(static_cast<std::size_t>(driveSounds), "d.wav");
  t.Sound_squeak = 15;
  t.Stop = 16;
  t.EngineSound = {17, 18, 19};
  return t;
}

// A line with `lineSounds` line sounds and no other lists.
inline data::LineFile cabLine(int lineSounds = 5) {
  data::LineFile l;
  l.soundData.assign(static_cast<std::size_t>(lineSounds), "l.wav");
  return l;
}

}  // namespace dravolin::testing
