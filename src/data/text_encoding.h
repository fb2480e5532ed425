// Shift-JIS (code page 932) text of the data files. Texts stay raw bytes for every comparison;
// what is shown to the user is converted to UTF-8 once, at load.
#pragma once

#include <string>
#include <string_view>

namespace dravolin::data {

// True for a byte that begins a double-byte character (0x81-0x9F, 0xE0-0xFC); the byte after it
// belongs to the same character, whatever its value (so a trail byte 0x5C is no "\" and 0x2C is
// no ",").
constexpr bool isLeadByte(unsigned char c) {
  return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

// Converts code page 932 bytes to UTF-8 with iconv "CP932". A byte sequence that is not a
// character of the code page becomes U+FFFD (one per byte), so the conversion never fails.
std::string cp932ToUtf8(std::string_view bytes);

// Converts UTF-8 to code page 932; characters the code page lacks become "?". Used by tools and
// tests that write data files.
std::string utf8ToCp932(std::string_view utf8);

}  // namespace dravolin::data
