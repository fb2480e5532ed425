#include "sim/fixed.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

namespace dravolin::sim {
namespace {

struct RoundCase {
  long double value;
  std::int64_t raw;
};

class FixedRound : public ::testing::TestWithParam<RoundCase> {};

TEST_P(FixedRound, StoresNearestTenThousandthTiesToEven) {
  EXPECT_EQ(Fixed::round(GetParam().value).raw(), GetParam().raw);
}

INSTANTIATE_TEST_SUITE_P(
    Values, FixedRound,
    ::testing::Values(RoundCase{0.0L, 0}, RoundCase{1.23456L, 12346}, RoundCase{1.23454L, 12345},
                      RoundCase{-1.23456L, -12346},
                      // Exact halves of 1/10000 (representable in binary) go to the even count.
                      RoundCase{0.00125L / 25.0L * 2.0L, 1},  // 0.0001
                      RoundCase{2.5L / 10000.0L, 2}, RoundCase{3.5L / 10000.0L, 4},
                      RoundCase{-2.5L / 10000.0L, -2}, RoundCase{0.345L, 3450},
                      RoundCase{18.0L, 180000}));

TEST(Fixed, SaturatesInsteadOfOverflowing) {
  EXPECT_EQ(Fixed::round(1e30L).raw(), std::numeric_limits<std::int64_t>::max());
  EXPECT_EQ(Fixed::round(-1e30L).raw(), std::numeric_limits<std::int64_t>::min());
  EXPECT_EQ(Fixed::round(std::numeric_limits<long double>::quiet_NaN()).raw(), 0);
}

TEST(Fixed, ExtendedOperandIsTheStoredValue) {
  EXPECT_EQ(Fixed::fromRaw(-12345).ld(), -1.2345L);
  EXPECT_EQ(Fixed::fromInt(490).raw(), 4900000);
  Fixed x = Fixed::fromInt(10);
  addTo(x, 0.3L);
  addTo(x, 0.3L);
  EXPECT_EQ(x.raw(), 106000);
}

TEST(RoundToInt, TiesToEvenAndSaturates) {
  EXPECT_EQ(roundToInt(0.5L), 0);
  EXPECT_EQ(roundToInt(1.5L), 2);
  EXPECT_EQ(roundToInt(2.5L), 2);
  EXPECT_EQ(roundToInt(-0.5L), 0);
  EXPECT_EQ(roundToInt(-1.5L), -2);
  EXPECT_EQ(roundToInt(0.4L), 0);
  EXPECT_EQ(roundToInt(1e20L), std::numeric_limits<int>::max());
  EXPECT_EQ(roundToInt(-1e20L), std::numeric_limits<int>::min());
}

TEST(FormatFixed, ExactFromTheCount) {
  constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();
  constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
  const struct {
    std::int64_t raw;
    int decimals;
    const char* text;
  } cases[] = {
      {0, 4, "0.0000"},
      {-500, 4, "-0.0500"},
      {12345678, 4, "1234.5678"},
      {kMin, 4, "-922337203685477.5808"},
      {kMax, 4, "922337203685477.5807"},
      // Fewer places: nearest, an exact half to the even last digit.
      {12345, 2, "1.23"},
      {12350, 2, "1.24"},
      {12250, 2, "1.22"},
      {12251, 2, "1.23"},
      {-12350, 1, "-1.2"},
      {15000, 0, "2"},
      {25000, 0, "2"},
      {-25001, 0, "-3"},
      {-49, 2, "0.00"},  // rounds to zero: no sign
      {-50, 2, "0.00"},
      {-51, 2, "-0.01"},
      {99995, 3, "10.000"},
      {kMax, 0, "922337203685478"},
      {kMin, 1, "-922337203685477.6"},
      {7, -3, "0"},
      // More places: zeros.
      {-10001, 6, "-1.000100"},
      {1, 40, "0.000100000000000000"},  // 18 places at most
  };
  for (const auto& c : cases) {
    EXPECT_EQ(formatFixed(Fixed::fromRaw(c.raw), c.decimals), c.text)
        << c.raw << " with " << c.decimals;
  }
}

}  // namespace
}  // namespace dravolin::sim
