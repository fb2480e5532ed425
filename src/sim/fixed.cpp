#include "sim/fixed.h"

#include <algorithm>
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

std::string formatFixed(Fixed value, int decimals) {
  const std::int64_t raw = value.raw();
  // The magnitude of the most negative count does not fit an int64: use its unsigned form.
  std::uint64_t magnitude =
      raw < 0 ? 0 - static_cast<std::uint64_t>(raw) : static_cast<std::uint64_t>(raw);
  const int places = std::clamp(decimals, 0, 4);
  std::uint64_t unit = 1;  // the count of one unit of the last place shown
  for (int i = places; i < 4; ++i) unit *= 10;
  if (unit > 1) {
    const std::uint64_t rest = magnitude % unit;
    magnitude /= unit;
    if (rest * 2 > unit || (rest * 2 == unit && magnitude % 2 == 1)) ++magnitude;
  }
  std::uint64_t scale = 1;
  for (int i = 0; i < places; ++i) scale *= 10;
  std::string text = raw < 0 && magnitude != 0 ? "-" : "";
  text += std::to_string(magnitude / scale);
  if (places > 0) {
    const std::string fraction = std::to_string(magnitude % scale);
    text += '.';
    text.append(static_cast<std::size_t>(places) - fraction.size(), '0');
    text += fraction;
  }
  if (decimals > 4) text.append(static_cast<std::size_t>(std::min(decimals, 18) - 4), '0');
  return text;
}

}  // namespace dravolin::sim
