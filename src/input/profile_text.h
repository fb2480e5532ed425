// Line and word reading shared by the profile and calibration files: one statement a line,
// words separated by blanks, "#" starting a remark; every fault names the file and the line.
#pragma once

#include <charconv>
#include <string>
#include <string_view>
#include <vector>

#include "input/controller_profile.h"

namespace dravolin::input::profile_text {

// The longest line and the most lines read: a file beyond them is refused, not read on.
inline constexpr std::size_t kMaxLineBytes = 4096;
inline constexpr int kMaxLines = 100000;

struct Statement {
  int line = 0;                         // from 1
  std::vector<std::string_view> words;  // at least one
  std::string_view rest;                // the text after the first word, trimmed
};

class Reader {
 public:
  Reader(std::string_view text, std::string fileName)
      : text_(text), fileName_(std::move(fileName)) {}

  // The next statement; false at the end of the text. Throws ProfileError for a line that is
  // too long, holds a NUL byte, or one line too many.
  bool next(Statement& s);

  [[noreturn]] void fail(int line, const std::string& what) const;

 private:
  std::string_view text_;
  std::size_t pos_ = 0;
  int line_ = 0;
  std::string fileName_;
};

// A whole decimal number between lo and hi, or false.
inline bool toInt(std::string_view word, int lo, int hi, int& value) {
  if (word.empty()) return false;
  const char* end = word.data() + word.size();
  auto [ptr, ec] = std::from_chars(word.data(), end, value);
  return ec == std::errc() && ptr == end && value >= lo && value <= hi;
}

}  // namespace dravolin::input::profile_text
