// The keyed text file shared by the train file, the line file and the settings file.
//
// A file is read line by line (a line ends with CR LF or LF). A key line begins, in column 1,
// with a bracketed key compared byte for byte; whatever follows the key on that line is ignored.
// A single key is followed by a fixed number of value lines taken as they come; a list key by
// records up to a closing line, any line whose first character is "#". All other lines are
// ignored. A reader tests each line it reads against its keys in a fixed order, every test made
// against the line consumed last, so a key that consumed value lines leaves its last value line
// to the tests of the keys after it:
//
//   KeyedFile f(bytes, makeError);
//   while (!f.atEnd()) {
//     f.next();
//     if (f.isKey("[Power]")) power = f.nextInt();
//     if (f.isKey("[Notch]")) {
//       while (f.nextListLine(ListEnd::EmptyLine)) { ... f.lineReal() ... f.nextReal() ... }
//     }
//   }
//
// A value that is not a valid number of its kind is a format error: the reader throws the
// LoadError that the file's `ErrorMaker` builds (each file words its own message).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include <optional>

#include "data/load_error.h"
#include "platform/message_ids.h"
#include "sim/fixed.h"

namespace dravolin::data {

class KeyedFile;

// How a list behaves when the file ends before its closing line.
enum class ListEnd {
  // The missing lines read as empty lines, like value lines at the end of the file; a list whose
  // records hold a number then fails on that empty value. (Should a second empty line be asked
  // for at the end of the file, the list fails as with Fail: a list never waits for a line that
  // cannot come.)
  EmptyLine,
  // The list fails at once with the detail msg::listNotClosed() (lists of file names).
  Fail,
};

// What the ErrorMaker is told beside the reader's state: no detail is the plain format error (a
// value that is not a number of its kind, a comma record with too few fields).
using Detail = std::optional<msg::Message>;

// "指定が多すぎます（最大N個）": a list with more records than its table has room for.
msg::Message tooManyRecords(int room);

// The most lines a keyed file may have (a real file has a few hundred): a file with more is
// refused before its first line is read, with the detail tooManyLines().
inline constexpr std::size_t kMaxLinesPerFile = 100000;
// "行が多すぎます（最大N行）".
msg::Message tooManyLines();

// Reads raw bytes line by line without indexing them: LF ends a line and a CR right before it is
// dropped; a CR at the very end of the bytes is dropped too. A last line without a line end is a
// line; a line end at the end of the bytes does not start another (empty) line.
class LineCursor {
 public:
  explicit LineCursor(std::string_view bytes) : bytes_(bytes) {}
  bool atEnd() const { return pos_ >= bytes_.size(); }
  // The next line; empty at the end.
  std::string_view next();

 private:
  std::string_view bytes_;
  std::size_t pos_ = 0;
};

class KeyedFile {
 public:
  // Builds the error of this file from the reader's state (the line consumed last, its number)
  // and a detail (empty for the plain format error).
  using ErrorMaker = std::function<LoadError(const KeyedFile& file, const Detail& detail)>;

  KeyedFile(std::string bytes, ErrorMaker makeError);

  KeyedFile(const KeyedFile&) = delete;
  KeyedFile& operator=(const KeyedFile&) = delete;

  // --- lines ---
  // True when every line of the file has been read: the reading loop's end condition.
  bool atEnd() const { return cursor_.atEnd(); }
  // Reads the next line, which becomes the line consumed last. At the end of the file the line
  // read is empty and the result is false.
  bool next();
  // The line consumed last: raw bytes without its line end (empty before the first read).
  std::string_view line() const { return line_; }
  // Number of the line consumed last, counting from 1; 0 before the first read. A read past the
  // end of the file gives the number the next line would have had.
  int lineNumber() const { return lineNumber_; }
  // The line consumed last begins with `key`, byte for byte, from column 1. A line that cannot
  // begin a key (empty, or not "[" first) is answered at once, without comparing.
  bool isKey(std::string_view key) const {
    if (!mayBeKey()) return false;
    ++keyComparisons_;
    return line_.substr(0, key.size()) == key;
  }
  // The line consumed last begins with "[", as every key does: readers skip the key tests of any
  // other line, so a flood of empty lines costs one test a line.
  bool mayBeKey() const { return !line_.empty() && line_.front() == '['; }
  // Key comparisons made so far (lines that passed mayBeKey() times keys tested): lets tests
  // bound the work a hostile file causes.
  std::uint64_t keyComparisons() const { return keyComparisons_; }
  // The line consumed last is a closing line: its first character is "#".
  bool isClosing() const { return !line_.empty() && line_.front() == '#'; }

  // --- value lines of single keys: each reads the next line and parses it ---
  std::string nextText();  // verbatim, raw bytes
  std::int32_t nextInt();
  double nextReal();
  long double nextExtended();
  sim::Fixed nextFixed();

  // --- lists ---
  // Reads the next line of a list: false when it is the closing line, true for a record line.
  bool nextListLine(ListEnd atEnd);

  // --- the line consumed last as one value ---
  std::int32_t lineInt() const;
  double lineReal() const;
  long double lineExtended() const;
  sim::Fixed lineFixed() const;

  // --- comma fields of the line consumed last (see field()) ---
  std::string_view textField(int n) const;  // "Error" when missing, not an error itself
  std::int32_t intField(int n) const;
  double realField(int n) const;
  sim::Fixed fixedField(int n) const;

  // Ends the reading with this file's error.
  [[noreturn]] void fail(const Detail& detail = std::nullopt) const;
  // Before a list's next record: fails with tooManyRecords(room) when the list's table, holding
  // `count` records, has no room left.
  void checkRoom(std::size_t count, int room) const {
    if (count >= static_cast<std::size_t>(room)) fail(tooManyRecords(room));
  }

 private:
  std::string bytes_;
  LineCursor cursor_;
  std::string_view line_;
  mutable std::uint64_t keyComparisons_ = 0;
  int lineNumber_ = 0;
  int lineCount_ = 0;
  bool readPastEnd_ = false;  // a list has already been given an empty line at the end
  ErrorMaker makeError_;
};

// Splits raw bytes into lines as LineCursor reads them (for tests and small inputs).
std::vector<std::string_view> splitLines(std::string_view bytes);

}  // namespace dravolin::data
