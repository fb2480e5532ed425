#include "sim/handles.h"

#include <gtest/gtest.h>

namespace dravolin::sim {
namespace {

HandleTexts texts() {
  return {"前進", "中立", "後進", "緩め", "切", "非常", "保ち", "重なり", "込め", "抑速"};
}

CabImageList listOf(int n) {
  CabImageList l;
  l.images.resize(static_cast<std::size_t>(n));
  return l;
}

struct HandleCase {
  const char* what;
  int brakeType;
  int brake;
  int hold;  // Hold: 1 = picture 1 is the holding position
  int power;
  int brakeHandle;
  int reverser;
  bool holding;
  bool ats;
  bool atc;
  const char* powerText;
  const char* brakeText;
  const char* reverserText;
  int powerImage;
  int brakeImage;
};

class Masconupdate : public ::testing::TestWithParam<HandleCase> {};

// Power 5 with 6 power pictures; Brake + 1 brake pictures, one more with Hold 1.
TEST_P(Masconupdate, ShowsHandlesInCaptionsAndPictures) {
  const HandleCase& c = GetParam();
  TrainParams p;
  p.BrakeType = c.brakeType;
  p.Brake = c.brake;
  p.Hold = c.hold;
  p.Power = 5;
  TrainState s;
  s.PowerHandle = c.power;
  s.BrakeHandle = c.brakeHandle;
  s.Reverser = c.reverser;
  s.HoldingBrake = c.holding;
  s.AtsBrakeApplied = c.ats;
  s.AtcBrakeApplied = c.atc;
  CabModel cab;
  cab.NotchImageP = listOf(6);
  cab.NotchImageB = listOf(c.brake + 1 + c.hold);
  masconupdate(s, p, texts(), cab);
  EXPECT_EQ(cab.PowerLabel.text, c.powerText) << c.what;
  EXPECT_EQ(cab.BrakeLabel.text, c.brakeText) << c.what;
  EXPECT_EQ(cab.Label1.text, c.reverserText) << c.what;
  EXPECT_EQ(cab.Lamp_P.image, c.powerImage) << c.what;
  EXPECT_EQ(cab.Lamp_B.image, c.brakeImage) << c.what;
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Positions, Masconupdate, ::testing::Values(
    //        what                                   type Brake Hold  P   B  rev  hold   ats    atc    power   brake     rev    Pimg  Bimg
    HandleCase{"type 0 released",                      0, 4, 0, 0,  0,  1, false, false, false, "切",  "緩め",   "前進", 0, 0},
    HandleCase{"type 0 -1",                            0, 4, 0, 1, -1,  0, false, false, false, "P1",  "保ち",   "中立", 1, 1},
    HandleCase{"type 0 -2",                            0, 4, 0, 0, -2, -1, false, false, false, "切",  "重なり", "後進", 0, 2},
    HandleCase{"type 0 -3",                            0, 4, 0, 0, -3,  1, false, false, false, "切",  "込め",   "前進", 0, 3},
    HandleCase{"type 0 emergency",                     0, 4, 0, 0, -4,  1, false, false, false, "切",  "非常",   "前進", 0, 4},
    HandleCase{"type 0 holding: type-0 text wins",     0, 4, 1, 0, -2,  1, true,  false, false, "切",  "重なり", "前進", 0, 1},
    HandleCase{"type 1 B5",                            1, 8, 0, 5, -5,  1, false, false, false, "P5",  "B5",     "前進", 5, 5},
    HandleCase{"type 2 B7",                            2, 8, 0, 0, -7,  1, false, false, false, "切",  "B7",     "前進", 0, 7},
    HandleCase{"type 2 emergency",                     2, 8, 0, 0, -8,  1, false, false, false, "切",  "非常",   "前進", 0, 8},
    HandleCase{"Hold 1: released is picture 0",        1, 8, 1, 0,  0,  1, false, false, false, "切",  "緩め",   "前進", 0, 0},
    HandleCase{"Hold 1: B1 is picture 2",              1, 8, 1, 0, -1,  1, false, false, false, "切",  "B1",     "前進", 0, 2},
    HandleCase{"Hold 1: emergency is picture 9",       1, 8, 1, 0, -8,  1, false, false, false, "切",  "非常",   "前進", 0, 9},
    HandleCase{"holding brake, type 1",                1, 8, 1, 0, -3,  1, true,  false, false, "切",  "抑速",   "前進", 0, 1},
    HandleCase{"power above Power: caption unchanged", 1, 8, 0, 6,  0,  1, false, false, false, "N",   "緩め",   "前進", kNoImage, 0},
    HandleCase{"ATS: power off, emergency picture",    1, 8, 0, 3, -2,  1, false, true,  false, "P3",  "B2",     "前進", 0, 8},
    HandleCase{"ATC: brake picture count - 2",         1, 8, 0, 3,  0,  1, false, false, true,  "P3",  "緩め",   "前進", 0, 7},
    HandleCase{"both: ATC runs last",                  1, 8, 0, 3,  0,  1, false, true,  true,  "P3",  "緩め",   "前進", 0, 7}));
// clang-format on

}  // namespace
}  // namespace dravolin::sim
