#include "data/keyed_file.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace dravolin::data {
namespace {

// Reports the line number, the line and the detail, so tests can see where the reading stopped.
LoadError describe(const KeyedFile& f, const Detail& detailMessage) {
  const std::string detail = detailMessage ? detailMessage->text() : std::string();
  // Appended piece by piece: GCC 12 at -O3 takes "text" + std::to_string(...) for an
  // overlapping copy (a false -Wrestrict).
  std::string text = "line ";
  text += std::to_string(f.lineNumber());
  text += " [";
  text += f.line();
  text += ']';
  if (!detail.empty()) {
    text += ' ';
    text += detail;
  }
  return LoadError(msg::plainText(text));
}

std::string errorOf(const std::function<void()>& read) {
  try {
    read();
  } catch (const LoadError& e) {
    return e.message();
  }
  return "(no error)";
}

TEST(KeyedFileLines, SplitOnCrLfOrLf) {
  EXPECT_EQ(splitLines("a\r\nb\r\n"), (std::vector<std::string_view>{"a", "b"}));
  EXPECT_EQ(splitLines("a\nb"), (std::vector<std::string_view>{"a", "b"}));
  EXPECT_EQ(splitLines("a\r\n\r\nb\r"), (std::vector<std::string_view>{"a", "", "b"}));
  EXPECT_EQ(splitLines("a\rb\n"), (std::vector<std::string_view>{"a\rb"}));  // lone CR stays
  EXPECT_EQ(splitLines(""), (std::vector<std::string_view>{}));
  EXPECT_EQ(splitLines("\n"), (std::vector<std::string_view>{""}));
  EXPECT_EQ(splitLines(std::string_view("a\0b\n", 4)),
            (std::vector<std::string_view>{std::string_view("a\0b", 3)}));
}

TEST(KeyedFile, KeysMatchFromColumnOneByteForByte) {
  KeyedFile f("[Power] remark\r\n [Power]\r\n[power]\r\n[Powe\r\n", describe);
  f.next();
  EXPECT_TRUE(f.isKey("[Power]"));
  f.next();
  EXPECT_FALSE(f.isKey("[Power]"));
  f.next();
  EXPECT_FALSE(f.isKey("[Power]"));
  f.next();
  EXPECT_FALSE(f.isKey("[Power]"));
  EXPECT_TRUE(f.atEnd());
}

TEST(KeyedFile, ValueLinesAreTakenAsTheyComeAndLaterTestsSeeTheLastOne) {
  // "[A]" takes "[B]" as its text; "[B]" is then tested against that same line and matches.
  KeyedFile f("[A]\n[B]\nvalue of B\n", describe);
  std::string a, b;
  while (!f.atEnd()) {
    f.next();
    if (f.isKey("[A]")) a = f.nextText();
    if (f.isKey("[B]")) b = f.nextText();
  }
  EXPECT_EQ(a, "[B]");
  EXPECT_EQ(b, "value of B");
}

TEST(KeyedFile, ValuesReadPastTheEndAreEmpty) {
  KeyedFile f("[Path]", describe);
  f.next();
  EXPECT_EQ(f.nextText(), "");
  EXPECT_TRUE(f.atEnd());
  EXPECT_EQ(errorOf([&] { f.nextInt(); }), "line 2 []");
}

TEST(KeyedFile, NumbersFailWithTheLineConsumedLast) {
  KeyedFile f("[Cars]\r\nsix\r\n", describe);
  f.next();
  EXPECT_EQ(errorOf([&] { f.nextInt(); }), "line 2 [six]");
  KeyedFile g("[Tons]\n 35.5\n[Tons]\n35,5\n", describe);
  g.next();
  EXPECT_EQ(g.nextFixed().raw(), 355000);
  g.next();
  EXPECT_EQ(errorOf([&] { g.nextFixed(); }), "line 4 [35,5]");
}

TEST(KeyedFile, ListsEndAtAnyLineBeginningWithHash) {
  KeyedFile f("[L]\na\n\n;x\n#end of list\nafter\n", describe);
  f.next();
  std::vector<std::string> records;
  while (f.nextListLine(ListEnd::Fail)) records.emplace_back(f.line());
  EXPECT_EQ(records, (std::vector<std::string>{"a", "", ";x"}));
  EXPECT_TRUE(f.isClosing());
  EXPECT_EQ(f.line(), "#end of list");
  f.next();
  EXPECT_EQ(f.line(), "after");
}

TEST(KeyedFile, AListOfNamesNeverWaitsPastTheEnd) {
  KeyedFile f("[L]\r\na.wav\r\nb.wav\r\n", describe);
  f.next();
  int n = 0;
  EXPECT_EQ(errorOf([&] {
              while (f.nextListLine(ListEnd::Fail)) ++n;
            }),
            "line 4 [] " + std::string("「#」で始まる行がないままファイルが終わっています"));
  EXPECT_EQ(n, 2);
}

TEST(KeyedFile, ANumericListAtTheEndFailsOnTheEmptyValue) {
  KeyedFile f("[L]\n5\n", describe);
  f.next();
  int sum = 0;
  EXPECT_EQ(errorOf([&] {
              while (f.nextListLine(ListEnd::EmptyLine)) sum += f.lineInt();
            }),
            "line 3 []");
  EXPECT_EQ(sum, 5);
  // A list that would accept empty lines still stops at the second line past the end.
  KeyedFile g("[L]\n", describe);
  g.next();
  int empties = 0;
  EXPECT_EQ(errorOf([&] {
              while (g.nextListLine(ListEnd::EmptyLine)) ++empties;
            }),
            "line 2 [] " + std::string("「#」で始まる行がないままファイルが終わっています"));
  EXPECT_EQ(empties, 1);
}

TEST(KeyedFile, CommaFieldsOfTheLineConsumedLast) {
  KeyedFile f("\x93\x8C\x8B\x9E,0, 100,200\n\x93\x8C\x8B\x9E\n", describe);
  f.next();
  EXPECT_EQ(f.textField(1), "\x93\x8C\x8B\x9E");  // 東京
  EXPECT_EQ(f.intField(2), 0);
  EXPECT_EQ(f.intField(3), 100);  // a blank after the comma is a leading blank
  EXPECT_EQ(errorOf([&] { f.intField(5); }), "line 1 [\x93\x8C\x8B\x9E,0, 100,200]");
  f.next();
  EXPECT_EQ(f.textField(2), "Error");
  EXPECT_EQ(errorOf([&] { f.intField(2); }), "line 2 [\x93\x8C\x8B\x9E]");
}

}  // namespace
}  // namespace dravolin::data
