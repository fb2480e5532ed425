#include "platform/plane_halving.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace dravolin::platform {

void halvePlane(const std::uint8_t* in, int inStride, int width, int height, std::uint8_t* out,
                int outStride) {
  const int outWidth = width / 2;
  const int outHeight = height / 2;
  for (int y = 0; y < outHeight; ++y) {
    const std::uint8_t* top = in + static_cast<std::ptrdiff_t>(2 * y) * inStride;
    const std::uint8_t* bottom = top + inStride;
    std::uint8_t* row = out + static_cast<std::ptrdiff_t>(y) * outStride;
    int x = 0;
#if defined(__SSE2__)
    // 16 results from 32 samples of each row: the pairs of a row are summed in 16-bit lanes (the
    // even sample masked, the odd one shifted down), the two rows added, rounded and packed.
    const __m128i low = _mm_set1_epi16(0x00FF);
    const __m128i two = _mm_set1_epi16(2);
    const auto pairs = [&low](__m128i v) {
      return _mm_add_epi16(_mm_and_si128(v, low), _mm_srli_epi16(v, 8));
    };
    for (; x + 16 <= outWidth; x += 16) {
      const auto load = [](const std::uint8_t* p) {
        return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
      };
      const __m128i first = _mm_add_epi16(pairs(load(top + 2 * x)), pairs(load(bottom + 2 * x)));
      const __m128i second =
          _mm_add_epi16(pairs(load(top + 2 * x + 16)), pairs(load(bottom + 2 * x + 16)));
      const __m128i packed = _mm_packus_epi16(_mm_srli_epi16(_mm_add_epi16(first, two), 2),
                                              _mm_srli_epi16(_mm_add_epi16(second, two), 2));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(row + x), packed);
    }
#endif
    for (; x < outWidth; ++x) {
      const int sum = top[2 * x] + top[2 * x + 1] + bottom[2 * x] + bottom[2 * x + 1];
      row[x] = static_cast<std::uint8_t>((sum + 2) >> 2);
    }
  }
}

}  // namespace dravolin::platform
