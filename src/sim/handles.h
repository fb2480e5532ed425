// The handle display: the power, brake and reverser captions and the two notch pictures of the
// cab, drawn from the handle variables (not from the notches in effect). Changes no train state.
#pragma once

#include <string>

#include "sim/cab_model.h"
#include "sim/train_params.h"
#include "sim/train_state.h"

namespace dravolin::sim {

// The settings file's handle texts, UTF-8.
struct HandleTexts {
  std::string Forward;   // reverser 1
  std::string Neutral;   // reverser 0
  std::string Reverse;   // reverser -1
  std::string Neut;      // brake released
  std::string Neut2;     // power off
  std::string EB;        // emergency
  std::string Maintain;  // four-position brake, position -1
  std::string Hold;      // four-position brake, position -2
  std::string Apply;     // four-position brake, position -3
  std::string Hold2;     // holding brake
};

// Shows PowerHandle, BrakeHandle, Reverser and HoldingBrake in PowerLabel, BrakeLabel, Label1 and
// the notch pictures Lamp_P (from NotchImageP) and Lamp_B (from NotchImageB). While train
// protection holds a brake the pictures show power off and the protection's brake position.
void masconupdate(const TrainState& s, const TrainParams& p, const HandleTexts& texts,
                  CabModel& cab);

}  // namespace dravolin::sim
