#include "data/text_encoding.h"

#include <gtest/gtest.h>

namespace dravolin::data {
namespace {

TEST(TextEncoding, ConvertsCodePage932ToUtf8) {
  EXPECT_EQ(cp932ToUtf8("abc"), "abc");
  EXPECT_EQ(cp932ToUtf8("\x83\x5C\x95\x5C"), "ソ表");
  EXPECT_EQ(cp932ToUtf8("\x97\xBC"), "両");
  EXPECT_EQ(cp932ToUtf8("\xB1\xB2"), "ｱｲ");  // half-width katakana
  EXPECT_EQ(cp932ToUtf8("\x87\x40"), "①");   // NEC special character, CP932 only
  EXPECT_EQ(cp932ToUtf8("\x81\x60"), "～");  // CP932 maps 0x8160 to the full-width tilde
}

TEST(TextEncoding, BrokenBytesBecomeReplacementCharacters) {
  // 0x8A 0x2C is no character (0x2C is never a trail byte); a lone lead byte at the end neither.
  EXPECT_EQ(cp932ToUtf8("\x8A\x2C"
                        "1"),
            "\xEF\xBF\xBD,1");
  EXPECT_EQ(cp932ToUtf8("a\x83"), "a\xEF\xBF\xBD");
  EXPECT_EQ(cp932ToUtf8(std::string_view("a\0b", 3)), std::string("a\0b", 3));
}

TEST(TextEncoding, ConvertsUtf8BackToCodePage932) {
  EXPECT_EQ(utf8ToCp932("ソ表1"),
            "\x83\x5C\x95\x5C"
            "1");
  EXPECT_EQ(utf8ToCp932("😀a"), "?a");
}

}  // namespace
}  // namespace dravolin::data
