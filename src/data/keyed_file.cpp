#include "data/keyed_file.h"

#include <algorithm>
#include <utility>

#include "data/value_syntax.h"

namespace dravolin::data {

msg::Message tooManyRecords(int room) { return msg::tooManyRecords(room); }

msg::Message tooManyLines() { return msg::tooManyLines(kMaxLinesPerFile); }

std::string_view LineCursor::next() {
  if (atEnd()) return {};
  std::size_t end = bytes_.find('\n', pos_);
  if (end == std::string_view::npos) end = bytes_.size();
  std::string_view line = bytes_.substr(pos_, end - pos_);
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  pos_ = end + 1;
  return line;
}

std::vector<std::string_view> splitLines(std::string_view bytes) {
  std::vector<std::string_view> lines;
  LineCursor cursor(bytes);
  while (!cursor.atEnd()) lines.push_back(cursor.next());
  return lines;
}

KeyedFile::KeyedFile(std::string bytes, ErrorMaker makeError)
    : bytes_(std::move(bytes)), cursor_(bytes_), makeError_(std::move(makeError)) {
  // Lines are counted without being indexed: a final line without a line end counts too.
  std::size_t lines = static_cast<std::size_t>(std::count(bytes_.begin(), bytes_.end(), '\n'));
  if (!bytes_.empty() && bytes_.back() != '\n') ++lines;
  if (lines > kMaxLinesPerFile) fail(tooManyLines());
  lineCount_ = static_cast<int>(lines);
}

bool KeyedFile::next() {
  if (cursor_.atEnd()) {
    line_ = {};
    lineNumber_ = lineCount_ + 1;
    return false;
  }
  line_ = cursor_.next();
  ++lineNumber_;
  return true;
}

void KeyedFile::fail(const Detail& detail) const { throw makeError_(*this, detail); }

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
      fail(msg::listNotClosed());
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
