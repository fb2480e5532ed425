#include "data/load_context.h"

#include <gtest/gtest.h>

#include "fixtures/fake_picture_loader.h"

namespace dravolin::data {
namespace {

TEST(LoadContext, TheWorkBitmapKeepsTheSizeOfTheLastPictureLoaded) {
  testing::FakePictureLoader pictures;
  pictures.add("p1.bmp", 40, 20);
  LoadContext ctx;
  ctx.dataDir = "/nonexistent";
  ctx.pictures = &pictures;
  ASSERT_TRUE(ctx.loadWorkPicture("image\\p1.bmp").has_value());
  EXPECT_EQ(ctx.workWidth, 40);
  EXPECT_EQ(ctx.workHeight, 20);
  EXPECT_EQ(pictures.requested.back(), "/nonexistent/image/p1.bmp");
  EXPECT_FALSE(ctx.loadWorkPicture("missing.bmp").has_value());
  EXPECT_EQ(ctx.workWidth, 40);  // a failed load leaves the work bitmap as it was
}

TEST(LoadContext, WithoutALoaderNoPictureLoads) {
  LoadContext ctx;
  EXPECT_FALSE(ctx.loadWorkPicture("a.bmp").has_value());
}

}  // namespace
}  // namespace dravolin::data
