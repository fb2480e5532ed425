#include "sim/handles.h"

namespace dravolin::sim {

void masconupdate(const TrainState& s, const TrainParams& p, const HandleTexts& texts,
                  CabModel& cab) {
  // Captions: a later step overwrites what an earlier one wrote; a position no step matches
  // leaves the caption as it was.
  if (s.BrakeHandle == -p.Brake) cab.BrakeLabel.text = texts.EB;
  if (s.PowerHandle == 0) cab.PowerLabel.text = texts.Neut2;
  if (s.BrakeHandle == 0) cab.BrakeLabel.text = texts.Neut;
  if (s.PowerHandle > 0 && s.PowerHandle <= p.Power) {
    cab.PowerLabel.text = "P" + std::to_string(s.PowerHandle);
  }
  if (p.BrakeType >= 1 && -p.Brake < s.BrakeHandle && s.BrakeHandle < 0 && !s.HoldingBrake) {
    cab.BrakeLabel.text = "B" + std::to_string(-s.BrakeHandle);
  }
  if (s.HoldingBrake) cab.BrakeLabel.text = texts.Hold2;
  if (p.BrakeType == 0) {
    switch (s.BrakeHandle) {
      case -3:
        cab.BrakeLabel.text = texts.Apply;
        break;
      case -2:
        cab.BrakeLabel.text = texts.Hold;
        break;
      case -1:
        cab.BrakeLabel.text = texts.Maintain;
        break;
      default:
        break;
    }
  }
  switch (s.Reverser) {
    case 1:
      cab.Label1.text = texts.Forward;
      break;
    case -1:
      cab.Label1.text = texts.Reverse;
      break;
    case 0:
      cab.Label1.text = texts.Neutral;
      break;
    default:
      break;
  }

  // Notch pictures. CabPicture::draw ignores an image number the list does not have.
  if (!s.AtsBrakeApplied && !s.AtcBrakeApplied) {
    cab.Lamp_P.clear();
    cab.Lamp_B.clear();
    cab.Lamp_P.draw(cab.NotchImageP, s.PowerHandle);
    if (p.Hold == 0) {
      cab.Lamp_B.draw(cab.NotchImageB, -s.BrakeHandle);
    } else if (p.Hold == 1 && !s.HoldingBrake) {
      cab.Lamp_B.draw(cab.NotchImageB, s.BrakeHandle == 0 ? 0 : -s.BrakeHandle + 1);
    }
    if (s.HoldingBrake) cab.Lamp_B.draw(cab.NotchImageB, 1);
  }
  if (s.AtsBrakeApplied) {
    cab.Lamp_P.clear();
    cab.Lamp_B.clear();
    cab.Lamp_P.draw(cab.NotchImageP, 0);
    cab.Lamp_B.draw(cab.NotchImageB, cab.NotchImageB.count() - 1);
  }
  if (s.AtcBrakeApplied) {
    cab.Lamp_P.clear();
    cab.Lamp_B.clear();
    cab.Lamp_P.draw(cab.NotchImageP, 0);
    cab.Lamp_B.draw(cab.NotchImageB, cab.NotchImageB.count() - 2);
  }
}

}  // namespace dravolin::sim
