// Fixed-point quantities of the simulation: speeds (km/h), pressures (kPa), forces (N),
// masses (t), gradients (permil) and the brake rate (km/h/s) are held as a signed 64-bit count of
// 1/10000 units (four exact decimals).
//
// Arithmetic is never done on the fixed-point type itself: an update reads the stored values as
// `long double` (80-bit extended on x86-64), computes in extended precision and stores the result
// with Fixed::round, which rounds to the nearest 1/10000 with ties to even. There is no implicit
// conversion from floating point, so a store without that rounding cannot be written by accident.
#pragma once

#include <compare>
#include <cstdint>
#include <string>

namespace dravolin::sim {

class Fixed {
 public:
  static constexpr std::int64_t kScale = 10000;

  constexpr Fixed() = default;

  // The value whose raw count is `raw` (value = raw / 10000).
  static constexpr Fixed fromRaw(std::int64_t raw) {
    Fixed f;
    f.raw_ = raw;
    return f;
  }

  // An exact whole value.
  static constexpr Fixed fromInt(std::int64_t whole) { return fromRaw(whole * kScale); }

  // Stores an extended-precision result: nearest 1/10000, ties to even. A result beyond the
  // range of the 64-bit count saturates at its limit; a NaN stores 0.
  static Fixed round(long double value);

  constexpr std::int64_t raw() const { return raw_; }

  // The stored value in extended precision, the operand of every update.
  long double ld() const {
    return static_cast<long double>(raw_) / static_cast<long double>(kScale);
  }

  friend constexpr bool operator==(Fixed, Fixed) = default;
  friend constexpr std::strong_ordering operator<=>(Fixed a, Fixed b) { return a.raw_ <=> b.raw_; }

 private:
  std::int64_t raw_ = 0;
};

// Rounds to the nearest integer, ties to even, saturating at the limits of a 32-bit integer
// (NaN gives 0). Used wherever a real is stored into a counter, a frame number or a table value.
int roundToInt(long double value);

// Adds `delta` to a fixed-point variable: x := round(x + delta).
inline void addTo(Fixed& x, long double delta) { x = Fixed::round(x.ld() + delta); }

// The value as decimal text with `decimals` places ("-0.0500" for 4), computed from the exact
// count, never through floating point. Fewer than four places round the count to the nearest,
// ties to even, like every other rounding of the simulation; more than four append zeros (18 places
// at most); a negative `decimals` counts as 0. A value that rounds to zero has no minus sign.
std::string formatFixed(Fixed value, int decimals = 4);

// The absolute value, exact.
constexpr Fixed abs(Fixed x) { return x.raw() < 0 ? Fixed::fromRaw(-x.raw()) : x; }

}  // namespace dravolin::sim
