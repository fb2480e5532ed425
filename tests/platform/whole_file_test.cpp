// Reading a file whole: regular files only, the size limit before and during the read, and
// nothing that could block.
#include "platform/whole_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace dravolin::testing {
namespace {

namespace fs = std::filesystem;
using platform::readWholeFile;
using platform::WholeFileRead;

class WholeFile : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("dravolin_whole_file_" + std::to_string(::getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_ / "folder");
    write("empty", "");
    write("small", "abc");
    write("exact", std::string(4096, 'x'));
    ::mkfifo((dir_ / "fifo").c_str(), 0600);
    fs::create_symlink(dir_ / "small", dir_ / "link");
    fs::create_symlink(dir_ / "none", dir_ / "dangling");
  }
  void TearDown() override { fs::remove_all(dir_); }
  void write(const std::string& name, const std::string& bytes) {
    std::ofstream(dir_ / name, std::ios::binary) << bytes;
  }

  fs::path dir_;
};

TEST_F(WholeFile, ReadsRegularFilesWithinTheLimitOnly) {
  struct Case {
    const char* name;
    std::uintmax_t limit;
    WholeFileRead result;
    std::size_t size;
  };
  const Case cases[] = {
      {"small", 100, WholeFileRead::Ok, 3},
      {"empty", 100, WholeFileRead::Ok, 0},
      {"link", 100, WholeFileRead::Ok, 3},          // a link to a file reads the file
      {"exact", 4096, WholeFileRead::Ok, 4096},     // the limit itself is allowed
      {"exact", 4095, WholeFileRead::TooLarge, 0},  // one byte over, before reading
      {"missing", 100, WholeFileRead::Unreadable, 0},
      {"dangling", 100, WholeFileRead::Unreadable, 0},
      {"folder", 100, WholeFileRead::Unreadable, 0},
      {"fifo", 100, WholeFileRead::Unreadable, 0},  // no writer: a blocking open would hang
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string text = "stale";
    EXPECT_EQ(readWholeFile((dir_ / c.name).c_str(), c.limit, text), c.result);
    EXPECT_EQ(text.size(), c.size);
    std::vector<std::uint8_t> bytes{1, 2, 3, 4, 5, 6, 7};
    EXPECT_EQ(readWholeFile((dir_ / c.name).c_str(), c.limit, bytes), c.result);
    EXPECT_EQ(bytes.size(), c.size);
  }
}

TEST_F(WholeFile, KeepsEveryByte) {
  std::string all;
  for (int i = 0; i < 70000; ++i) all += static_cast<char>(i * 7 % 256);
  write("binary", all);
  std::string text;
  ASSERT_EQ(readWholeFile((dir_ / "binary").c_str(), 1 << 20, text), WholeFileRead::Ok);
  EXPECT_EQ(text, all);
}

TEST_F(WholeFile, ADeviceThatNeverEndsIsNotRead) {
  std::string text;
  EXPECT_EQ(readWholeFile("/dev/zero", 1 << 20, text), WholeFileRead::Unreadable);
  EXPECT_TRUE(text.empty());
}

}  // namespace
}  // namespace dravolin::testing
