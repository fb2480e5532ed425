#include "input/profile_text.h"

namespace dravolin::input::profile_text {

namespace {

std::string_view trim(std::string_view s) {
  const std::size_t a = s.find_first_not_of(" \t\r");
  if (a == std::string_view::npos) return {};
  const std::size_t b = s.find_last_not_of(" \t\r");
  return s.substr(a, b - a + 1);
}

}  // namespace

void Reader::fail(int line, const std::string& what) const {
  throw ProfileError(fileName_ + ":" + std::to_string(line) + ": " + what);
}

bool Reader::next(Statement& s) {
  while (pos_ < text_.size()) {
    const std::size_t eol = text_.find('\n', pos_);
    const std::size_t end = eol == std::string_view::npos ? text_.size() : eol;
    std::string_view line = text_.substr(pos_, end - pos_);
    pos_ = eol == std::string_view::npos ? text_.size() : eol + 1;
    if (++line_ > kMaxLines) fail(line_, "too many lines");
    if (line.size() > kMaxLineBytes) fail(line_, "the line is too long");
    if (line.find('\0') != std::string_view::npos) fail(line_, "the line holds a NUL byte");
    if (const std::size_t hash = line.find('#'); hash != std::string_view::npos) {
      line = line.substr(0, hash);
    }
    line = trim(line);
    if (line.empty()) continue;
    s.line = line_;
    s.words.clear();
    std::size_t p = 0;
    while (p < line.size()) {
      const std::size_t a = line.find_first_not_of(" \t", p);
      if (a == std::string_view::npos) break;
      const std::size_t b = line.find_first_of(" \t", a);
      s.words.push_back(line.substr(a, b == std::string_view::npos ? line.size() - a : b - a));
      p = b == std::string_view::npos ? line.size() : b;
    }
    s.rest = trim(line.substr(s.words.front().size()));
    return true;
  }
  return false;
}

}  // namespace dravolin::input::profile_text
