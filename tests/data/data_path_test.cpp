#include "data/data_path.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace dravolin::data {
namespace {

namespace fs = std::filesystem;

class DataPath : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("dravolin_data_path_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_ / "Image" / "Panel");
    touch(dir_ / "Image" / "Panel" / "Lamp_Door.BMP");
    fs::create_directories(dir_ / "ソ表");  // a folder named in UTF-8 on disk
    touch(dir_ / "ソ表" / "a.bmp");
    touch(dir_ / "exact.dat");
  }
  void TearDown() override { fs::remove_all(dir_); }
  static void touch(const fs::path& p) { std::ofstream(p) << "x"; }

  fs::path dir_;
};

TEST_F(DataPath, BackslashesBecomeSlashesOutsideDoubleByteCharacters) {
  EXPECT_EQ(toSlashes("image\\panel\\a.bmp"), "image/panel/a.bmp");
  EXPECT_EQ(toSlashes("\x83\x5C\\\x95\x5C.bmp"), "\x83\x5C/\x95\x5C.bmp");
}

TEST_F(DataPath, FindsFilesIgnoringLetterCase) {
  EXPECT_EQ(resolveDataPath(dir_, "exact.dat"), dir_ / "exact.dat");
  EXPECT_EQ(resolveDataPath(dir_, "image\\panel\\lamp_door.bmp"),
            dir_ / "Image" / "Panel" / "Lamp_Door.BMP");
  EXPECT_EQ(resolveDataPath(dir_, "IMAGE/PANEL/LAMP_DOOR.bmp"),
            dir_ / "Image" / "Panel" / "Lamp_Door.BMP");
}

TEST_F(DataPath, ConvertsShiftJisNamesToTheUtf8NamesOnDisk) {
  EXPECT_EQ(resolveDataPath(dir_, "\x83\x5C\x95\x5C\\A.BMP"), dir_ / "ソ表" / "a.bmp");
}

TEST_F(DataPath, AMissingFileKeepsTheNameAsWritten) {
  EXPECT_EQ(resolveDataPath(dir_, "image\\none.bmp"), dir_ / "image/none.bmp");
  EXPECT_EQ(resolveDataPath(dir_, "\x83\x5C.bmp"), dir_ / "ソ.bmp");
  EXPECT_FALSE(readFileBytes(resolveDataPath(dir_, "image\\none.bmp")).has_value());
}

TEST_F(DataPath, ReadsWholeFilesButNotFolders) {
  EXPECT_EQ(readFileBytes(dir_ / "exact.dat"), "x");
  EXPECT_FALSE(readFileBytes(dir_ / "Image").has_value());
}

TEST_F(DataPath, AFullPathIsNotUnderTheDataFolder) {
  const fs::path full = dir_ / "exact.dat";
  EXPECT_EQ(resolveDataPath("/nonexistent", full.string()), full);
}

TEST_F(DataPath, OneStartUpListsEachFolderOnce) {
  for (int i = 0; i < 40; ++i) touch(dir_ / ("sound" + std::to_string(i) + ".wav"));
  FolderListings listings;
  std::uint64_t first = 0;
  std::uint64_t second = 0;
  EXPECT_EQ(resolveDataPath(dir_, "SOUND1.WAV", &first, &listings), dir_ / "sound1.wav");
  EXPECT_EQ(resolveDataPath(dir_, "SOUND2.WAV", &second, &listings), dir_ / "sound2.wav");
  // The second lookup compares the names kept from the first listing: it reads no entries.
  EXPECT_LT(second, first);
}

TEST_F(DataPath, ListingsKeptForAStartUpFindWhatSingleLookupsFind) {
  fs::create_directories(dir_ / "Sound");
  touch(dir_ / "Sound" / "Brake.wav");
  touch(dir_ / "Sound" / "brake.WAV");  // two names differing only in case
  touch(dir_ / "\x83\x5C.wav");         // a name left in code page 932 bytes on disk
  fs::create_symlink(dir_ / "nowhere", dir_ / "dangling.bmp");
  const char* names[] = {
      "exact.dat",
      "EXACT.DAT",
      "image\\panel\\lamp_door.bmp",
      "Image\\Panel\\Lamp_Door.BMP",
      ".\\image\\.\\panel\\LAMP_DOOR.bmp",
      "image\\..\\exact.dat",
      "sound\\brake.wav",         // the first of two in byte order
      "Sound\\brake.WAV",         // the exact one
      "\x83\x5C\x95\x5C\\A.BMP",  // folder in UTF-8 on disk
      "\x83\x5C.WAV",             // file in raw bytes on disk
      "dangling.bmp",
      "none.wav",
      "sound\\none.wav",
      "nofolder\\none.wav",
      "exact.dat\\inside",  // a file is no folder
      "image\\\\panel\\lamp_door.bmp",
  };
  FolderListings listings;
  for (int pass = 0; pass < 2; ++pass) {  // the second pass reads the kept listings only
    for (const char* name : names) {
      SCOPED_TRACE(std::string(name) + " pass " + std::to_string(pass));
      const fs::path single = resolveDataPath(dir_, name);
      const fs::path listed = resolveDataPath(dir_, name, nullptr, &listings);
      EXPECT_EQ(listed.lexically_normal(), single.lexically_normal());
    }
  }
  EXPECT_EQ(resolveDataPath(dir_, "sound\\BRAKE.WAV", nullptr, &listings),
            dir_ / "Sound" / "Brake.wav");
  EXPECT_EQ(resolveDataPath(dir_, "\x83\x5C.WAV", nullptr, &listings), dir_ / "\x83\x5C.wav");
}

TEST_F(DataPath, ListingsStopGrowingAndLookupsGoOnWithoutThem) {
  // Names that climb in and out of two folders in every order lead along thousands of different
  // paths to the same file; past the tree's limit they are looked up one by one, with the same
  // answers, and the case-folded ones still find their files.
  fs::create_directories(dir_ / "A");
  fs::create_directories(dir_ / "B");
  FolderListings listings;
  for (unsigned n = 0; n < 3 * FolderListings::kMaxFolders / 12; ++n) {
    std::string name;
    for (int bit = 0; bit < 12; ++bit) name += (n >> bit) & 1 ? "b\\..\\" : "a\\..\\";
    const fs::path listed = resolveDataPath(dir_, name + "EXACT.DAT", nullptr, &listings);
    ASSERT_EQ(listed.lexically_normal(), (dir_ / "exact.dat").lexically_normal()) << name;
  }
  EXPECT_EQ(
      resolveDataPath(dir_, "a\\..\\b\\..\\b\\..\\image\\PANEL\\lamp_door.bmp", nullptr, &listings)
          .lexically_normal(),
      dir_ / "Image" / "Panel" / "Lamp_Door.BMP");
}

}  // namespace
}  // namespace dravolin::data
