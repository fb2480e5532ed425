// The value syntaxes of the data files: integers, reals, fixed-point values and the comma
// field splitter. Each parser takes one value line (or one field) as raw bytes and yields
// std::nullopt when the text is not a valid value of its kind.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "sim/fixed.h"

namespace dravolin::data {

// A 32-bit integer: optional leading blanks, an optional sign, then decimal digits, or
// hexadecimal digits after "$", "x" or "0x" (either letter case). Nothing may follow, not even a
// blank. A value outside the 32-bit range (hexadecimal ones included, sign applied) is invalid.
std::optional<std::int32_t> parseInteger(std::string_view text);

// A real with "." as decimal separator: optional blanks, an optional sign, digits with an
// optional fraction (at least one digit), an optional exponent ("e" or "E", optional sign,
// digits), optional blanks. No "inf", "nan" or hexadecimal reals. A value beyond the range of the
// type is invalid.
std::optional<double> parseReal(std::string_view text);
// The same syntax, stored as an 80-bit extended real.
std::optional<long double> parseExtended(std::string_view text);

// A decimal number of the real syntax stored as fixed-point (value x 10000 in a signed 64-bit
// count). The conversion is exact on the decimal digits: digits after the fourth decimal are
// rounded to the nearest count, an exact half to the even count. A value beyond the 64-bit count
// is invalid.
std::optional<sim::Fixed> parseFixed(std::string_view text);

// The text the field splitter yields for a field the line does not have.
inline constexpr std::string_view kMissingField = "Error";

// Field `n` (counting from 1) of a comma-separated line: the text between the (n-1)-th and the
// n-th comma, the last field running to the end of the line; not trimmed. A comma that is the
// second byte of a double-byte character is not a separator. Field n of a line with fewer than n
// fields is "Error"; field 0 or less is empty. The result views `line`, or a static text.
std::string_view field(std::string_view line, int n);

}  // namespace dravolin::data
