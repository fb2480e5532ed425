#include "sim/fixed.h"

#include <cfenv>
#include <cmath>
#include <limits>

namespace dravolin::sim {

namespace {

// Nearest integer with ties to even, saturating at [lo, hi]. The caller's floating-point
// environment is the default one (round to nearest), which std::nearbyint honours.
template <typename Int>
Int saturatingRound(long double value) {
  if (std::isnan(value)) {
    return 0;
  }
  const long double r = std::nearbyint(value);
  // The limits of a 64-bit integer are exact in an 80-bit long double.
  constexpr long double lo = static_cast<long double>(std::numeric_limits<Int>::min());
  constexpr long double hi = static_cast<long double>(std::numeric_limits<Int>::max());
  if (r <= lo) {
    return std::numeric_limits<Int>::min();
  }
  if (r >= hi) {
    return std::numeric_limits<Int>::max();
  }
  return static_cast<Int>(r);
}

}  // namespace

Fixed Fixed::round(long double value) {
  return fromRaw(saturatingRound<std::int64_t>(value * static_cast<long double>(kScale)));
}

int roundToInt(long double value) { return saturatingRound<int>(value); }

}  // namespace dravolin::sim
