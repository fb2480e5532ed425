// The train-file and line-file values the signals and train protection read. The drive fills
// this struct once at start-up from the train file and the line file; the steps only read it.
// Member names are the file keys.
#pragma once

#include "sim/fixed.h"

namespace dravolin::sim {

// "[ATS_Type]": which train protection the train carries.
enum class AtsType : int {
  Ats = 0,      // ATS with alarm bell, confirmation and emergency brake
  Pattern = 1,  // pattern ATS: braking curve towards the next stop or limit
  Atc = 2,      // cab-signal ATC: indication on the cab lamps, full service brake on overspeed
  None = 3,     // any other value: signal pictures are shown, nothing supervises the train
};

// "[ATS_Alert]": what the ATS with alarm checks.
enum class AtsAlert : int {
  StopChecks = 0,   // only stop signals, at the transponder and the check point
  SpeedChecks = 1,  // the speed of every restrictive indication
};

// "[ATS_Cnt]": how the confirmation chime plays.
enum class AtsChime : int {
  Looped = 0,  // loops until the confirmation key is pressed again
  Once = 1,
};

inline AtsType atsTypeOf(int fileValue) {
  return fileValue >= 0 && fileValue <= 2 ? static_cast<AtsType>(fileValue) : AtsType::None;
}
// Any value but 1 checks stop signals only.
inline AtsAlert atsAlertOf(int fileValue) {
  return fileValue == 1 ? AtsAlert::SpeedChecks : AtsAlert::StopChecks;
}
// 0 loops; any other value plays the chime once.
inline AtsChime atsChimeOf(int fileValue) {
  return fileValue == 0 ? AtsChime::Looped : AtsChime::Once;
}

struct ProtectionParams {
  AtsType ATS_Type = AtsType::Ats;
  AtsAlert ATS_Alert = AtsAlert::StopChecks;
  int ATS_Time = 0;  // s allowed for the confirmation before the emergency brake
  AtsChime ATS_Cnt = AtsChime::Looped;
  int Brake = 0;     // brake positions including emergency: BrakeHandle -Brake is EB
  Fixed BrakeRate;   // km/h/s, the pattern ATS brakes at 0.8 of it
  int Speed_YY = 0;  // km/h allowed per indication class
  int Speed_Y = 0;
  int Speed_YG = 0;
  int Speed_G = 0;
  // Sound slots.
  int Sound_Ats1 = -1;    // alarm bell
  int Sound_Ats2 = -1;    // confirmation chime
  int Sound_Atc = -1;     // ATC and pattern ATS chime
  int Sound_EBring = -1;  // EB-device buzzer
};

}  // namespace dravolin::sim
