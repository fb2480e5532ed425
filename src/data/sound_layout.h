// The sound slots of one drive: drive sounds from slot 0, then the line sounds, the
// announcements and the other-indication sounds; motor sounds from slot 200.
#pragma once

#include "data/line_file.h"
#include "data/train_file.h"

namespace dravolin::data {

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

inline SoundLayout soundLayout(const TrainFile& train, const LineFile& line) {
  SoundLayout l;
  l.D = static_cast<int>(train.DriveSound.size());
  l.S = static_cast<int>(line.soundData.size());
  l.K = line.announcementCount;
  l.O = static_cast<int>(line.otherImageRecords.size());
  l.M = static_cast<int>(train.MotorSound.size());
  return l;
}

}  // namespace dravolin::data
