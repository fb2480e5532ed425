// Halving a plane of 8-bit samples: each sample of the result is the rounded mean of a 2 x 2
// block, (a + b + c + d + 2) / 4. Line video pictures made smaller for the cab view by a factor of
// 2 or more go through it before the scaler: a box average at each halving, as the scaler's own
// area filter gives, at a fraction of its work.
#pragma once

#include <cstdint>

namespace dravolin::platform {

// Writes (width / 2) x (height / 2) samples to `out` from width x height samples of `in` (an odd
// last column or row is left out). Strides in bytes; `out` must not overlap `in`.
void halvePlane(const std::uint8_t* in, int inStride, int width, int height, std::uint8_t* out,
                int outStride);

}  // namespace dravolin::platform
