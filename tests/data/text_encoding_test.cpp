#include "data/text_encoding.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

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

TEST(TextEncoding, ACutOffTextLeavesNothingForTheNextOne) {
  // The converters are kept between calls: a text ending inside a character must not leave half
  // of it for the next text, in either direction.
  EXPECT_EQ(cp932ToUtf8("a\x83"), "a\xEF\xBF\xBD");
  EXPECT_EQ(cp932ToUtf8("\x95\x5C"), "表");
  EXPECT_EQ(utf8ToCp932("a\xE8\xA1"), "a?");
  EXPECT_EQ(utf8ToCp932("表"), "\x95\x5C");
}

TEST(TextEncoding, ThreadsConvertAtTheSameTime) {
  std::vector<std::string> results(4);
  std::vector<std::thread> threads;
  for (std::size_t t = 0; t < results.size(); ++t) {
    threads.emplace_back([&results, t] {
      for (int i = 0; i < 2000; ++i) results[t] += cp932ToUtf8(i % 2 ? "\x83\x5C" : "\x95\x5C");
    });
  }
  for (std::thread& th : threads) th.join();
  std::string expected;
  for (int i = 0; i < 2000; ++i) expected += i % 2 ? "ソ" : "表";
  for (const std::string& r : results) EXPECT_EQ(r, expected);
}

}  // namespace
}  // namespace dravolin::data
