// The train file: one train's handles, brake, traction, masses, pressures, train protection,
// sound slots and the whole cab panel (panel pictures, lamps, needles, notch indicators, extra
// images). Read once at start-up, after the line file and the settings file.
//
// Sections: panel entries; the train file; reading; brake validation.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "data/load_context.h"
#include "data/load_error.h"
#include "platform/bitmap.h"
#include "sim/fixed.h"
#include "sim/train_params.h"

namespace dravolin::data {

// --- panel entries ---

// A picture placed on the main window: "[Panel]", the lamps, the "[Others]" records.
struct PanelPicture {
  std::string file;  // raw code page 932 name as written; empty: no picture
  int left = 0;      // px from the client area's left edge
  int top = 0;       // px from the client area's top edge
};

// "[Clock]": the analog clock, drawn only when x > 0 and y > 0.
struct ClockFace {
  int x = 0;           // px, centre of the 50 x 50 face
  int y = 0;           // px, centre of the 50 x 50 face
  int handLength = 0;  // px
};

// A rotating needle: its angle is value x anglePerUnit + zeroAngle, in degrees.
struct Needle {
  std::string file;              // raw name of the needle bitmap; empty: this needle does not exist
  int left = 0;                  // px
  int top = 0;                   // px
  int width = 0;                 // px
  int height = 0;                // px
  int zeroAngle = 0;             // degrees at the value 0
  long double anglePerUnit = 0;  // degrees per unit of the value shown (km/h, kPa, V, A)
};

// A notch or gear indicator: an image list placed at (left, top) and sized to its images.
struct IndicatorImages {
  int left = 0;                           // px
  int top = 0;                            // px
  int width = 0;                          // px, size of every image of the list
  int height = 0;                         // px
  std::vector<platform::Bitmap> bitmaps;  // in file order
};

// A "[MotorSound]" record; motor sound i plays in sound slot 200 + i.
struct MotorSoundSpec {
  std::string file;            // raw name of the sound file
  int mode = 0;                // 0 sounds under power, 1 under brake, 2 always
  long double speedFrom = 0;   // km/h
  long double speedTo = 0;     // km/h
  long double ratioFrom = 0;   // frequency ratio at speedFrom
  long double ratioTo = 0;     // frequency ratio at speedTo
  long double volumeFrom = 0;  // amplitude factor at speedFrom
  long double volumeTo = 0;    // amplitude factor at speedTo
};

// --- the train file ---

struct TrainFile {
  // Everything the simulation reads: handles, brake, traction, masses, pressures, tables.
  sim::TrainParams params;

  // Validated and stored; no part of the program uses them.
  int Curr1 = 0;
  int Curr2 = 0;
  int DoorType = 0;
  sim::Fixed Tt;

  // Train protection.
  int EB = 0;         // 1: EB (dead-man) device fitted
  int ATS_Type = 0;   // 0 ATS with confirmation, 1 pattern ATS, 2 cab-signal ATC
  int ATS_Alert = 0;  // 0 stop checks only, 1 speed checks per indication
  int ATS_Time = 0;   // s allowed for the ATS confirmation
  int ATS_Cnt = 0;    // 0 the confirmation chime loops, 1 it plays once

  // Sound slot numbers of the train's events (drive sounds occupy slots 0 upward).
  int Sound_br1 = 0;
  int Sound_br2 = 0;
  int Sound_EB = 0;
  int Sound_Ats1 = 0;
  int Sound_Ats2 = 0;
  int Sound_Atc = 0;
  int Sound_Horn = 0;
  int Sound_Horn2 = 0;
  int Sound_DoorOpen = 0;
  int Sound_DoorClose = 0;
  int Sound_EBring = 0;
  int Sound_squeak = 0;
  int CP_Start = 0;  // compressor start
  int CP_Cnt = 0;    // compressor running
  int CP_End = 0;    // compressor stop
  int Stop = 0;      // stop event
  std::array<int, 3> EngineSound{};

  // Sound files. Drive sound i plays in slot i.
  std::vector<MotorSoundSpec> MotorSound;  // at most kMaxMotorSounds
  std::vector<std::string> DriveSound;     // raw names, at most kMaxDriveSounds

  // Cab panel.
  ClockFace Clock;
  PanelPicture Panel;   // opaque, visible
  PanelPicture Panel2;  // opaque, hidden
  PanelPicture Lamp_Door, Lamp_Power, Lamp_EB, Lamp_Gen, Lamp_Air, Lamp_Ele, Lamp_Ats, Lamp_ATSP1,
      Lamp_ATSP2, Lamp_G, Lamp_YG, Lamp_Y, Lamp_YY, Lamp_R, Lamp_Fwd, Lamp_Back;
  Needle Needle_Speed, Needle_BC, Needle_SAP, Needle_ER, Needle_BP, Needle_MR, Needle_V, Needle_I;
  IndicatorImages NotchImageP;       // power notch indicator "Lamp_P"
  IndicatorImages NotchImageB;       // brake notch indicator "Lamp_B"
  IndicatorImages GearImageList;     // gear indicator "Lamp_Gear" (diesel)
  std::vector<PanelPicture> Others;  // at most kMaxOthers; the first five start visible

  static constexpr int kMaxNotches = 11;
  static constexpr int kMaxGears = 11;
  static constexpr int kMaxMotorSounds = 100;
  static constexpr int kMaxDriveSounds = 501;
  static constexpr int kMaxOthers = 11;
  static constexpr int kMaxCars = 20;
};

// --- reading ---

// The messages (platform/message_ids.h): msg::trainFileError() with the section label,
// msg::notchForDiesel(), msg::notchCountMismatch(), msg::engineForElectric() and
// msg::brakeStepsTooFew().

// Reads a train file from its bytes. The section label of `ctx` follows the reading; the
// indicator bitmaps are loaded through `ctx` (relative to its data folder). A format error
// throws LoadError "車両ファイルに誤りがあります" followed by the section label (and, for the
// checks this reader adds, ":" and what is wrong); the "[Notch]" and "[Engine]" checks throw
// their own messages.
TrainFile parseTrainFile(std::string bytes, LoadContext& ctx);

// Reads the train file `fileName` (raw name, relative to the data folder). A file that cannot
// be opened or read throws "車両ファイルに誤りがあります" followed by the label left by the
// reader before (the line file's).
TrainFile readTrainFile(std::string_view fileName, LoadContext& ctx);

// --- brake validation (after the file is read) ---

// A four-position brake ("[BrakeType]" 0) gets 4 brake positions whatever "[Brake]" says; a
// notched brake with fewer than 3 positions throws "ブレーキの段数を3段以上に設定してください".
void validateBrake(sim::TrainParams& params);

}  // namespace dravolin::data
