#include "data/value_syntax.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>

namespace dravolin::data {
namespace {

struct IntCase {
  const char* text;
  std::optional<std::int32_t> value;
};

class IntegerSyntax : public ::testing::TestWithParam<IntCase> {};

TEST_P(IntegerSyntax, AcceptsOnlyTheIntegerSyntax) {
  EXPECT_EQ(parseInteger(GetParam().text), GetParam().value) << '"' << GetParam().text << '"';
}

INSTANTIATE_TEST_SUITE_P(
    Cases, IntegerSyntax,
    ::testing::Values(
        IntCase{"0", 0}, IntCase{"42", 42}, IntCase{"-17", -17}, IntCase{"+8", 8},
        IntCase{"   12", 12}, IntCase{"\t12", 12}, IntCase{" -3", -3}, IntCase{"$1F", 31},
        IntCase{"x1f", 31}, IntCase{"X1F", 31}, IntCase{"0x10", 16}, IntCase{"0X10", 16},
        IntCase{"-$10", -16}, IntCase{"2147483647", 2147483647}, IntCase{"-2147483648", INT32_MIN},
        IntCase{"$7FFFFFFF", 2147483647}, IntCase{"000000000000000000000000012", 12},
        // invalid
        IntCase{"", std::nullopt}, IntCase{" ", std::nullopt}, IntCase{"12 ", std::nullopt},
        IntCase{"12\r", std::nullopt}, IntCase{"1 2", std::nullopt}, IntCase{"- 5", std::nullopt},
        IntCase{"+", std::nullopt}, IntCase{"-", std::nullopt}, IntCase{"$", std::nullopt},
        IntCase{"0x", std::nullopt}, IntCase{"1.0", std::nullopt}, IntCase{"1e3", std::nullopt},
        IntCase{"abc", std::nullopt}, IntCase{"12abc", std::nullopt},
        IntCase{"2147483648", std::nullopt}, IntCase{"-2147483649", std::nullopt},
        IntCase{"$80000000", std::nullopt}, IntCase{"$FFFFFFFF", std::nullopt},
        IntCase{"99999999999999999999", std::nullopt}, IntCase{"Error", std::nullopt},
        IntCase{"\x82\x50", std::nullopt}));

struct FixedCase {
  const char* text;
  std::optional<std::int64_t> raw;
};

class FixedSyntax : public ::testing::TestWithParam<FixedCase> {};

TEST_P(FixedSyntax, ExactDecimalRoundedToFourPlacesHalvesToEven) {
  const std::optional<sim::Fixed> f = parseFixed(GetParam().text);
  ASSERT_EQ(f.has_value(), GetParam().raw.has_value()) << '"' << GetParam().text << '"';
  if (f) {
    EXPECT_EQ(f->raw(), *GetParam().raw) << '"' << GetParam().text << '"';
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FixedSyntax,
    ::testing::Values(
        FixedCase{"0", 0}, FixedCase{"35", 350000}, FixedCase{"35.5", 355000},
        FixedCase{"-2.5", -25000}, FixedCase{" 1.2345", 12345}, FixedCase{"1.2345 ", 12345},
        FixedCase{".5", 5000}, FixedCase{"5.", 50000}, FixedCase{"+0.0001", 1},
        // a fifth decimal: nearest count, an exact half to the even count
        FixedCase{"1.23456", 12346}, FixedCase{"1.23454", 12345}, FixedCase{"0.00005", 0},
        FixedCase{"0.00015", 2}, FixedCase{"0.00025", 2}, FixedCase{"0.000250001", 3},
        FixedCase{"-0.00015", -2}, FixedCase{"-0.00025", -2}, FixedCase{"0.000049999", 0},
        FixedCase{"2.71828182845", 27183},
        // a double would get these wrong: 0.1 + 0.2 style binary artefacts are absent
        FixedCase{"1.00005", 10000}, FixedCase{"1.00015", 10002}, FixedCase{"1e2", 1000000},
        FixedCase{"1.5E-4", 2}, FixedCase{"25e-5", 2}, FixedCase{"922337203685477.5807", INT64_MAX},
        FixedCase{"0000000000000000000000000000000000000000001", 10000},
        FixedCase{"0.0000000000000000000000000000000000000000001e43", 10000},
        FixedCase{"1e-99999", 0}, FixedCase{"0e99999", 0}, FixedCase{"-0", 0},
        // invalid
        FixedCase{"", std::nullopt}, FixedCase{".", std::nullopt}, FixedCase{"1,5", std::nullopt},
        FixedCase{"1.2.3", std::nullopt}, FixedCase{"abc", std::nullopt},
        FixedCase{"1e", std::nullopt}, FixedCase{"nan", std::nullopt},
        FixedCase{"inf", std::nullopt}, FixedCase{"0x10", std::nullopt},
        FixedCase{"922337203685477.5808", std::nullopt}, FixedCase{"1e300", std::nullopt},
        FixedCase{"1e99999999999", std::nullopt}));

TEST(RealSyntax, ParsesDoublesAndExtendedWithTheSameSyntax) {
  EXPECT_EQ(parseReal("3.5"), 3.5);
  EXPECT_EQ(parseReal(" -0.25 "), -0.25);
  EXPECT_EQ(parseReal("1e3"), 1000.0);
  EXPECT_EQ(parseReal("0.1"), 0.1);
  EXPECT_EQ(parseExtended("0.1"), 0.1L);  // rounded to extended, not to double first
  EXPECT_NE(*parseExtended("0.1"), static_cast<long double>(0.1));
  EXPECT_EQ(parseReal("1e-400"), 0.0);  // underflow is a tiny value, not an error
  EXPECT_FALSE(parseReal("1e999").has_value());
  EXPECT_FALSE(parseReal("-1e999").has_value());
  EXPECT_FALSE(parseExtended("1e99999").has_value());
  for (const char* bad : {"", " ", "inf", "nan", "0x1p3", "1,5", "1.5x", "e5", "--1", "Error"}) {
    EXPECT_FALSE(parseReal(bad).has_value()) << bad;
    EXPECT_FALSE(parseExtended(bad).has_value()) << bad;
  }
  EXPECT_TRUE(parseExtended("1e999").has_value());  // within the extended range
}

struct FieldCase {
  std::string line;
  int n;
  std::string expected;
};

class FieldSplitter : public ::testing::TestWithParam<FieldCase> {};

TEST_P(FieldSplitter, SplitsOnCommasOutsideDoubleByteCharacters) {
  EXPECT_EQ(field(GetParam().line, GetParam().n), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FieldSplitter,
    ::testing::Values(
        FieldCase{"a,b,c", 1, "a"}, FieldCase{"a,b,c", 2, "b"}, FieldCase{"a,b,c", 3, "c"},
        FieldCase{"a,b,c", 4, "Error"}, FieldCase{"a,b,c", 0, ""}, FieldCase{"a,b,c", -1, ""},
        FieldCase{"name", 1, "name"}, FieldCase{"name", 2, "Error"}, FieldCase{"", 1, ""},
        FieldCase{"", 2, "Error"}, FieldCase{"a,,c", 2, ""}, FieldCase{"a,b,", 3, ""},
        FieldCase{"a, 12 ,c", 2, " 12 "},  // not trimmed
        // "ソ" is 0x83 0x5C and "表" 0x95 0x5C: the trail byte stays inside the field
        FieldCase{"\x83\x5C\x95\x5C,2", 1, "\x83\x5C\x95\x5C"},
        FieldCase{"\x83\x5C\x95\x5C,2", 2, "2"},
        // a lead byte swallows the byte after it, even a comma
        FieldCase{"\x8A\x2C"
                  "1,2",
                  1,
                  "\x8A\x2C"
                  "1"},
        FieldCase{"\x8A\x2C"
                  "1,2",
                  2, "2"},
        FieldCase{"\x8A\x2C"
                  "1,2",
                  3, "Error"},
        // half-width katakana (0xA1-0xDF) are single bytes: the comma after one separates
        FieldCase{"\xB1,\xB2", 2, "\xB2"},
        // a lead byte as the last byte of the line reads nothing beyond it
        FieldCase{"a,\x83", 2, "\x83"}, FieldCase{"a,\x83", 3, "Error"}));

}  // namespace
}  // namespace dravolin::data
