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

}  // namespace
}  // namespace dravolin::sim
