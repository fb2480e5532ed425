#include "data/controller_map.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include "reader_test_support.h"

namespace dravolin::data {
namespace {

TEST(ControllerMap, ReadsOneCodePerLineUpToAHashLine) {
  EXPECT_EQ(parseControllerMap("P1000\r\nP2000\r\n#\r\nB1000\r\n").codes,
            (std::vector<std::string>{"P1000", "P2000"}));
  EXPECT_EQ(parseControllerMap("P1000\nP2000").codes, (std::vector<std::string>{"P1000", "P2000"}));
  // Empty lines and blanks are codes like any other; "#" must be the first character.
  EXPECT_EQ(parseControllerMap("\r\n AB \r\n #x\r\n").codes,
            (std::vector<std::string>{"", " AB ", " #x"}));
  EXPECT_EQ(parseControllerMap("").codes.size(), 0u);
  EXPECT_EQ(parseControllerMap("#only\r\nP1000\r\n").codes.size(), 0u);
}

TEST(ControllerMap, TwentySixLinesFitATwentySeventhIsRefused) {
  std::string file;
  // Appended piece by piece: GCC 12 at -O3 takes "C" + std::to_string(...) for an overlapping
  // copy (a false -Wrestrict).
  for (int i = 1; i <= 26; ++i) {
    file += 'C';
    file += std::to_string(1000 + i);
    file += "\r\n";
  }
  EXPECT_EQ(parseControllerMap(file).codes.size(), 26u);
  EXPECT_EQ(parseControllerMap(file + "#\r\nextra\r\n").codes.size(), 26u);
  EXPECT_EQ(errorOf([&] { parseControllerMap(file + "C1027\r\n"); }),
            "mascon.datに誤りがあります:コードは26行までです");
}

TEST(ControllerMap, MissingOrUnreadableFileEndsTheStartUp) {
  const auto dir =
      std::filesystem::temp_directory_path() / ("dravolin_mascon_" + std::to_string(::getpid()));
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  LoadContext ctx;
  ctx.dataDir = dir;
  EXPECT_EQ(errorOf([&] { readControllerMap(ctx); }), "mascon.datが見つかりません");
  std::filesystem::create_directories(dir / "mascon.dat");  // a folder cannot be read
  EXPECT_EQ(errorOf([&] { readControllerMap(ctx); }), "mascon.datを読み込めません");
  std::filesystem::remove(dir / "mascon.dat");
  std::ofstream(dir / "Mascon.Dat") << "P1000\r\nP2000\r\n";
  EXPECT_EQ(readControllerMap(ctx).codes, (std::vector<std::string>{"P1000", "P2000"}));
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace dravolin::data
