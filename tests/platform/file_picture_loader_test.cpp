#include "platform/file_picture_loader.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "fixtures/bmp_builder.h"
#include "fixtures/jpeg_writer.h"

namespace dravolin::testing {
namespace {

namespace fs = std::filesystem;
using platform::FilePictureLoader;

class FilePictureLoaderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::path(::testing::TempDir()) /
           ("pictures_" +
            std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  std::string path(const std::string& name) const { return (dir_ / name).string(); }

  fs::path dir_;
  FilePictureLoader loader_;
};

TEST_F(FilePictureLoaderTest, ChoosesTheDecoderByContentNotByName) {
  writeFile(path("lamp.bmp"), makeSolidBmp(3, 2, 0x123456));
  writeFile(path("title.jpg"), makeJpeg(twoColourJpeg(16, 16, 0xFFFFFF, 0xFFFFFF)));
  writeFile(path("really_a_jpeg.bmp"), makeJpeg(twoColourJpeg(8, 8, 0, 0)));

  const auto bmp = loader_.load(path("lamp.bmp"));
  ASSERT_TRUE(bmp.has_value());
  EXPECT_EQ(bmp->width, 3);
  EXPECT_EQ(bmp->pixel(2, 1), 0xFF123456u);
  const auto jpeg = loader_.load(path("title.jpg"));
  ASSERT_TRUE(jpeg.has_value());
  EXPECT_EQ(jpeg->width, 16);
  const auto renamed = loader_.load(path("really_a_jpeg.bmp"));
  ASSERT_TRUE(renamed.has_value());
  EXPECT_EQ(renamed->width, 8);
}

TEST_F(FilePictureLoaderTest, AnythingElseIsNoPicture) {
  writeFile(path("empty.bmp"), {});
  writeFile(path("text.bmp"), {'h', 'e', 'l', 'l', 'o'});
  fs::create_directories(path("folder.bmp"));
  for (const char* name : {"missing.bmp", "empty.bmp", "text.bmp", "folder.bmp"}) {
    EXPECT_FALSE(loader_.load(path(name)).has_value()) << name;
  }
}

}  // namespace
}  // namespace dravolin::testing
