#include "author/picture.h"

#include <algorithm>
#include <cmath>

namespace dravolin::author {

namespace {

double percentile(std::vector<float> values, double share) {
  if (values.empty()) return 0;
  const auto k = static_cast<std::size_t>(share * static_cast<double>(values.size() - 1));
  std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(k), values.end());
  return values[k];
}

double median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::nth_element(v.begin(), v.begin() + static_cast<std::ptrdiff_t>(v.size() / 2), v.end());
  return v[v.size() / 2];
}

}  // namespace

PictureAnalysis analysePicture(const PictureMotion& pic) {
  PictureAnalysis an;
  const std::size_t n = pic.motion.size();
  an.moving.assign(n, true);
  if (n < 2) return an;
  // The quietest frames are the camera standing. Its noise stays within a small factor of the
  // floor, while the slowest crawl already moves the scenery by whole pixels.
  const std::vector<float> rest(pic.motion.begin() + 1, pic.motion.end());
  an.floor = percentile(rest, 0.02);
  an.threshold = std::max(2 * an.floor, an.floor + 0.25);
  for (std::size_t i = 1; i < n; ++i) an.moving[i] = pic.motion[i] >= an.threshold;
  an.moving[0] = an.moving[1];
  // A blip of a frame or two inside a stand is the encoder, not the train: a key frame codes the
  // camera's noise afresh. No train moves off and stops again within a tenth of a second.
  const auto blip = static_cast<std::size_t>(std::max(2L, std::lround(0.1 * pic.frameRate)));
  for (std::size_t i = 1; i < n;) {
    if (!an.moving[i] || an.moving[i - 1]) {
      ++i;
      continue;
    }
    std::size_t j = i;
    while (j < n && an.moving[j]) ++j;
    if (j < n && j - i <= blip) {
      for (std::size_t k = i; k < j; ++k) an.moving[k] = false;
    }
    i = j;
  }

  const int frames = static_cast<int>(n);
  const double dt = 1.0 / pic.frameRate;
  for (int i = 0; i < frames;) {
    if (an.moving[static_cast<std::size_t>(i)]) {
      ++i;
      continue;
    }
    int j = i;
    while (j + 1 < frames && !an.moving[static_cast<std::size_t>(j + 1)]) ++j;
    PictureStand s;
    s.firstFrame = i;
    s.lastFrame = j;
    s.cutAtStart = i == 0;
    s.cutAtEnd = j == frames - 1;
    // Frame i is the first that shows no change from frame i - 1: the picture stopped between
    // them. Frame j + 1 is the first that changed again. settleTime() finds the moments finer.
    s.from = s.cutAtStart ? pic.timeS.front() : pic.timeS[static_cast<std::size_t>(i)] - dt / 2;
    s.to = s.cutAtEnd ? pic.durationS() : pic.timeS[static_cast<std::size_t>(j + 1)] - dt / 2;
    if (s.to - s.from >= kPictureStandS) an.stands.push_back(s);
    i = j + 1;
  }
  return an;
}

std::optional<double> settleTime(const std::vector<platform::FrameDifference>& d, double coarse,
                                 bool arriving) {
  // The still side: the camera's noise about the picture it settles on.
  std::vector<double> still;
  for (const platform::FrameDifference& f : d) {
    if (arriving ? f.timeS >= coarse + 0.2 : f.timeS <= coarse - 0.2) still.push_back(f.difference);
  }
  if (still.size() < 3) return std::nullopt;
  const double floor = median(still);
  std::vector<double> deviation;
  for (const double v : still) deviation.push_back(std::abs(v - floor));
  const double noise = std::max(0.02, 1.4826 * median(deviation));
  // The moving side, up to where the difference stops growing with the displacement.
  double peak = 0;
  for (const platform::FrameDifference& f : d) {
    const bool moving = arriving ? f.timeS < coarse + 0.3 : f.timeS > coarse - 0.3;
    if (moving) peak = std::max(peak, f.difference - floor);
  }
  const double lo = std::max(4 * noise, 0.05 * peak), hi = 0.5 * peak;
  // From the still picture outwards, the frames that rise steadily away from it, up to the first
  // at half the peak (further out the scenery's repeats, sleepers and poles, make it fall back).
  double s0 = 0, s1 = 0, s2 = 0, r0 = 0, r1 = 0;
  const auto take = [&](const platform::FrameDifference& f) {
    const double e = f.difference - floor;
    if (e >= hi) return false;
    if (e > lo) {
      const double t = f.timeS - coarse, y = std::sqrt(e);
      s0 += 1;
      s1 += t;
      s2 += t * t;
      r0 += y;
      r1 += t * y;
    }
    return true;
  };
  if (arriving) {
    for (auto it = d.rbegin(); it != d.rend(); ++it) {
      if (it->timeS >= coarse + 0.3) continue;
      if (it->timeS < coarse - kRampS || !take(*it)) break;
    }
  } else {
    for (const platform::FrameDifference& f : d) {
      if (f.timeS <= coarse - 0.3) continue;
      if (f.timeS > coarse + kRampS || !take(f)) break;
    }
  }
  const double det = s0 * s2 - s1 * s1;
  if (s0 < 4 || std::abs(det) < 1e-12) return std::nullopt;
  const double slope = (s0 * r1 - s1 * r0) / det;
  const double intercept = (r0 - slope * s1) / s0;
  if (arriving ? slope >= 0 : slope <= 0) return std::nullopt;
  const double t = -intercept / slope;
  if (!(std::abs(t) <= 0.5)) return std::nullopt;
  return coarse + t;
}

double movingShare(const PictureMotion& pic, const PictureAnalysis& an, double from, double to) {
  const auto a = std::lower_bound(pic.timeS.begin(), pic.timeS.end(), from) - pic.timeS.begin();
  const auto b = std::upper_bound(pic.timeS.begin(), pic.timeS.end(), to) - pic.timeS.begin();
  if (b <= a) return 0;
  std::ptrdiff_t moving = 0;
  for (auto k = a; k < b; ++k) moving += an.moving[static_cast<std::size_t>(k)] ? 1 : 0;
  return static_cast<double>(moving) / static_cast<double>(b - a);
}

}  // namespace dravolin::author
