#include "data/keyed_file.h"

#include <utility>

#include "data/value_syntax.h"

namespace dravolin::data {

std::string tooManyRecords(int room) {
  return "指定が多すぎます（最大" + std::to_string(room) + "個）";
}

std::vector<std::string_view> splitLines(std::string_view bytes) {
  std::vector<std::string_view> lines;
  std::size_t start = 0;
  while (start < bytes.size()) {
    std::size_t end = bytes.find('\n', start);
    const bool last = end == std::string_view::npos;
    if (last) end = bytes.size();
    std::string_view line = bytes.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.push_back(line);
    start = end + 1;
  }
  return lines;
}

KeyedFile::KeyedFile(std::string bytes, ErrorMaker makeError)
    : bytes_(std::move(bytes)), makeError_(std::move(makeError)) {
  lines_ = splitLines(bytes_);
}

bool KeyedFile::next() {
  if (next_ >= lines_.size()) {
    line_ = {};
    lineNumber_ = static_cast<int>(lines_.size()) + 1;
    return false;
  }
  line_ = lines_[next_++];
  lineNumber_ = static_cast<int>(next_);
  return true;
}

void KeyedFile::fail(std::string_view detail) const { throw makeError_(*this, detail); }

std::string KeyedFile::nextText() {
  next();
  return std::string(line_);
}

std::int32_t KeyedFile::nextInt() {
  next();
  return lineInt();
}

double KeyedFile::nextReal() {
  next();
  return lineReal();
}

long double KeyedFile::nextExtended() {
  next();
  return lineExtended();
}

sim::Fixed KeyedFile::nextFixed() {
  next();
  return lineFixed();
}

bool KeyedFile::nextListLine(ListEnd atEnd) {
  if (this->atEnd()) {
    if (atEnd == ListEnd::Fail || readPastEnd_) {
      next();
      fail(kListNotClosed);
    }
    readPastEnd_ = true;
  }
  next();
  return !isClosing();
}

namespace {

template <typename T>
T orFail(const KeyedFile& f, std::optional<T> value) {
  if (!value) f.fail();
  return *value;
}

}  // namespace

std::int32_t KeyedFile::lineInt() const { return orFail(*this, parseInteger(line_)); }
double KeyedFile::lineReal() const { return orFail(*this, parseReal(line_)); }
long double KeyedFile::lineExtended() const { return orFail(*this, parseExtended(line_)); }
sim::Fixed KeyedFile::lineFixed() const { return orFail(*this, parseFixed(line_)); }

std::string_view KeyedFile::textField(int n) const { return field(line_, n); }
std::int32_t KeyedFile::intField(int n) const {
  return orFail(*this, parseInteger(field(line_, n)));
}
double KeyedFile::realField(int n) const { return orFail(*this, parseReal(field(line_, n))); }
sim::Fixed KeyedFile::fixedField(int n) const { return orFail(*this, parseFixed(field(line_, n))); }

}  // namespace dravolin::data
