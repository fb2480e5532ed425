// Gradients from a receiver's heights. A receiver's height jumps by a metre or more from fix to
// fix, which read directly would give gradients of tens of permil between neighbouring seconds.
// The heights are smoothed by fitting them, against the distance along the line, with straight
// stretches of at least 200 m: the split into stretches is the one with the least squared
// error plus a penalty per stretch that grows with the noise of the heights (measured from their
// second differences) and the number of fixes, so a stretch only ends where the line's gradient
// really changes. Each stretch's slope is its gradient.
#pragma once

#include <vector>

namespace dravolin::author {

inline constexpr double kMinStretchM = 200.0;

struct GradientStretch {
  double fromM = 0;
  double toM = 0;
  double permil = 0;  // uphill positive
};

// `distanceM` and `elevationM` per fix; a NaN height is skipped. The stretches cover
// [0, the largest distance] in order, except those without heights to fit.
std::vector<GradientStretch> fitGradients(const std::vector<double>& distanceM,
                                          const std::vector<double>& elevationM,
                                          double minStretchM = kMinStretchM);

}  // namespace dravolin::author
