#include "data/value_syntax.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>

#include "data/text_encoding.h"

namespace dravolin::data {

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string_view trimLeading(std::string_view s) {
  while (!s.empty() && isBlank(s.front())) s.remove_prefix(1);
  return s;
}

std::string_view trimTrailing(std::string_view s) {
  while (!s.empty() && isBlank(s.back())) s.remove_suffix(1);
  return s;
}

// A decimal number of the real syntax taken apart: its sign, its significant digits (integer
// and fraction digits joined) and the power of ten of the last digit.
struct Decimal {
  bool negative = false;
  std::string digits;
  long exponent = 0;
};

std::optional<Decimal> splitDecimal(std::string_view text) {
  std::string_view s = trimTrailing(trimLeading(text));
  Decimal d;
  if (!s.empty() && (s.front() == '+' || s.front() == '-')) {
    d.negative = s.front() == '-';
    s.remove_prefix(1);
  }
  std::size_t intDigits = 0;
  while (!s.empty() && isDigit(s.front())) {
    d.digits += s.front();
    s.remove_prefix(1);
    ++intDigits;
  }
  std::size_t fracDigits = 0;
  if (!s.empty() && s.front() == '.') {
    s.remove_prefix(1);
    while (!s.empty() && isDigit(s.front())) {
      d.digits += s.front();
      s.remove_prefix(1);
      ++fracDigits;
    }
  }
  if (intDigits + fracDigits == 0) return std::nullopt;
  long exp = 0;
  if (!s.empty() && (s.front() == 'e' || s.front() == 'E')) {
    s.remove_prefix(1);
    bool expNegative = false;
    if (!s.empty() && (s.front() == '+' || s.front() == '-')) {
      expNegative = s.front() == '-';
      s.remove_prefix(1);
    }
    if (s.empty() || !isDigit(s.front())) return std::nullopt;
    while (!s.empty() && isDigit(s.front())) {
      // Beyond this any value is out of range or zero; keep the count bounded.
      if (exp < 100000) exp = exp * 10 + (s.front() - '0');
      s.remove_prefix(1);
    }
    if (expNegative) exp = -exp;
  }
  if (!s.empty()) return std::nullopt;
  d.exponent = exp - static_cast<long>(fracDigits);
  return d;
}

// The real syntax checked by splitDecimal, converted by the C library (which alone rounds a
// decimal correctly to the binary type).
template <typename Real, Real (*convert)(const char*, char**)>
std::optional<Real> parseRealAs(std::string_view text) {
  if (!splitDecimal(text)) return std::nullopt;
  const std::string s(trimTrailing(trimLeading(text)));
  errno = 0;
  char* end = nullptr;
  const Real v = convert(s.c_str(), &end);
  if (end != s.c_str() + s.size()) return std::nullopt;
  if (std::isinf(v) || std::isnan(v)) return std::nullopt;
  // ERANGE also reports an underflow to a tiny or zero value, which is a valid (small) value.
  if (errno == ERANGE && std::fabs(v) >= Real(1)) return std::nullopt;
  return v;
}

}  // namespace

std::optional<std::int32_t> parseInteger(std::string_view text) {
  std::string_view s = trimLeading(text);
  bool negative = false;
  if (!s.empty() && (s.front() == '+' || s.front() == '-')) {
    negative = s.front() == '-';
    s.remove_prefix(1);
  }
  int base = 10;
  if (!s.empty() && (s.front() == '$' || s.front() == 'x' || s.front() == 'X')) {
    base = 16;
    s.remove_prefix(1);
  } else if (s.size() >= 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
    base = 16;
    s.remove_prefix(2);
  }
  if (s.empty()) return std::nullopt;
  // The magnitude may reach 2^31 for a negative value.
  const std::int64_t limit = negative ? std::int64_t{1} << 31 : (std::int64_t{1} << 31) - 1;
  std::int64_t value = 0;
  for (char c : s) {
    const int digit = base == 10 ? (isDigit(c) ? c - '0' : -1) : hexDigit(c);
    if (digit < 0) return std::nullopt;
    value = value * base + digit;
    if (value > limit) return std::nullopt;
  }
  return static_cast<std::int32_t>(negative ? -value : value);
}

std::optional<double> parseReal(std::string_view text) {
  return parseRealAs<double, std::strtod>(text);
}

std::optional<long double> parseExtended(std::string_view text) {
  return parseRealAs<long double, std::strtold>(text);
}

std::optional<sim::Fixed> parseFixed(std::string_view text) {
  std::optional<Decimal> d = splitDecimal(text);
  if (!d) return std::nullopt;
  // The count is digits x 10^(exponent + 4): split the digits at that point.
  // Leading zeros carry nothing (the exponent counts from the last digit).
  const std::string digits =
      d->digits.substr(std::min(d->digits.find_first_not_of('0'), d->digits.size()));
  if (digits.empty()) return sim::Fixed::fromRaw(0);
  const long shift = d->exponent + 4;
  std::string whole;
  std::string rest;  // digits below one count
  if (shift >= 0) {
    whole = digits;
    for (long i = 0; i < shift; ++i) {
      whole += '0';
      if (whole.size() > 40) break;  // far beyond the 64-bit range; checked below
    }
  } else {
    const long cut = static_cast<long>(digits.size()) + shift;
    if (cut < 0) {
      // Every digit lies more than one place below one count: less than half a count.
      return sim::Fixed::fromRaw(0);
    }
    whole = digits.substr(0, static_cast<std::size_t>(cut));
    rest = digits.substr(static_cast<std::size_t>(cut));
  }
  // Accumulate the whole counts, refusing anything beyond 2^63 - 1 (or 2^63 when negative,
  // after rounding; kept simple by refusing values beyond the positive limit).
  constexpr std::uint64_t kMax =
      static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
  std::uint64_t count = 0;
  for (char c : whole) {
    const std::uint64_t digit = static_cast<std::uint64_t>(c - '0');
    if (count > (kMax - digit) / 10) return std::nullopt;
    count = count * 10 + digit;
  }
  // Round the remaining digits: above half up, below half down, an exact half to even.
  if (!rest.empty() && rest[0] >= '5') {
    bool aboveHalf = rest[0] > '5';
    for (std::size_t i = 1; !aboveHalf && i < rest.size(); ++i) aboveHalf = rest[i] != '0';
    if (aboveHalf || (count % 2 == 1)) {
      if (count == kMax) return std::nullopt;
      ++count;
    }
  }
  const std::int64_t raw = static_cast<std::int64_t>(count);
  return sim::Fixed::fromRaw(d->negative ? -raw : raw);
}

std::string_view field(std::string_view line, int n) {
  if (n <= 0) return {};
  std::size_t start = 0;
  int current = 1;
  std::size_t i = 0;
  while (i < line.size()) {
    const unsigned char c = static_cast<unsigned char>(line[i]);
    if (isLeadByte(c)) {
      i += 2;  // the trail byte is part of the character, never a separator
      continue;
    }
    if (c == ',') {
      if (current == n) return line.substr(start, i - start);
      ++current;
      start = i + 1;
    }
    ++i;
  }
  if (current == n) return line.substr(start);
  return kMissingField;
}

}  // namespace dravolin::data
