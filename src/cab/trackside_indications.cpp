#include "cab/trackside_indications.h"

#include "sim/fixed.h"

namespace dravolin::cab {
namespace {

constexpr int kUphillImage = 1;
constexpr int kDownhillImage = 2;
constexpr int kNoLimit = 0;

// Strictly between: a < x < b.
bool inside(int x, int a, int b) { return a < x && x < b; }

}  // namespace

int speedLimitImage(int limitKmh) {
  if (limitKmh >= 15 && limitKmh <= 120 && limitKmh % 5 == 0) return limitKmh / 5;
  return 0;
}

void speedLimitBlink(int tickCounter, const sim::IndicationState& ind, sim::CabModel& cab) {
  if (!ind.LimitBlinking) return;
  if (tickCounter % 5 == 0 && tickCounter % 10 != 0) cab.SpeedLimitImage.visible = false;
  if (tickCounter % 10 == 0) cab.SpeedLimitImage.visible = true;
}

void speedLimitIndication(const sim::TrainState& s, std::span<const data::SpeedLimitRecord> limits,
                          sim::IndicationState& ind, sim::CabModel& cab) {
  bool matched = false;
  for (const data::SpeedLimitRecord& row : limits) {
    if (inside(s.FrameIndex, row.announceFrame, row.startFrame)) {
      matched = true;
      // Drawn once when the announcement starts; afterwards it only blinks.
      if (!ind.LimitBlinking) cab.SpeedLimitImage.draw(cab.SignImages, speedLimitImage(row.limit));
      ind.AnnouncedLimitKmh = row.limit;
      ind.LimitBlinking = true;
    }
    if (inside(s.FrameIndex, row.startFrame, row.endFrame)) {
      matched = true;
      ind.LimitBlinking = false;
      cab.SpeedLimitImage.visible = true;
      if (ind.ShownLimitKmh != row.limit) {
        cab.SpeedLimitImage.draw(cab.SignImages, speedLimitImage(row.limit));
      }
      ind.ShownLimitKmh = row.limit;
    }
  }
  if (!matched) {
    if (cab.SpeedLimitImage.hasPicture()) cab.SpeedLimitImage.clear();
    ind.ShownLimitKmh = kNoLimit;
  }
}

std::string gradientText(sim::Fixed permil) { return sim::formatFixed(permil, 1); }

void gradientIndication(sim::TrainState& s, std::span<const data::SlopeRecord> slopes,
                        sim::CabModel& cab) {
  const sim::Fixed level;
  for (std::size_t i = 0; i < slopes.size(); ++i) {
    const data::SlopeRecord& row = slopes[i];
    if (inside(s.FrameIndex, row.fromFrame, row.toFrame)) {
      if (row.gradient != s.HeadGradient) {
        if (row.gradient > level) cab.SlopeImage.draw(cab.SignImages, kUphillImage);
        if (row.gradient < level) cab.SlopeImage.draw(cab.SignImages, kDownhillImage);
      }
      // A level row shows its value without a sign, also after an uphill or downhill row.
      if (row.gradient == level) cab.SlopeImage.clear();
      s.HeadGradient = row.gradient;
      cab.SlopeText.text = gradientText(row.gradient);
    }
    // In the gap before the next row the indication goes; after the last row there is no gap.
    if (i + 1 < slopes.size() && inside(s.FrameIndex, row.toFrame, slopes[i + 1].fromFrame) &&
        (cab.SlopeImage.hasPicture() || !cab.SlopeText.text.empty())) {
      cab.SlopeImage.clear();
      s.HeadGradient = level;
      cab.SlopeText.text.clear();
    }
  }
}

void signIndication(const sim::TrainState& s, std::span<const data::SignRecord> signs,
                    sim::IndicationState& ind, sim::CabModel& cab) {
  bool matched = false;
  for (const data::SignRecord& row : signs) {
    if (row.fromFrame <= s.FrameIndex && s.FrameIndex < row.toFrame) {
      matched = true;
      if (ind.ShownSign == sim::kNoSign) {
        cab.OtherImage.draw(cab.OtherImages, row.image);
        ind.ShownSign = row.image;
      }
    }
  }
  if (!matched) {
    cab.OtherImage.clear();
    ind.ShownSign = sim::kNoSign;
  }
}

void stopLine(const sim::TrainState& s, sim::CabModel& cab) {
  const long double d = s.DistanceToStop;  // cm
  if (d >= 20000) {
    cab.stopline.top = -20;
  } else if (d > -10000) {
    cab.stopline.top = 232 - sim::roundToInt(d / 100 * 1.2L);
  } else if (d < -10000) {
    cab.stopline.top = 366;
  }
}

}  // namespace dravolin::cab
