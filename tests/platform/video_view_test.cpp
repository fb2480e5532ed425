// Where a line video's picture goes on the cab view: small pictures as they were made, larger
// ones with their aspect ratio kept, filling the width (cut at top and bottom) or whole on bars.
#include "platform/video_view.h"

#include <gtest/gtest.h>

namespace dravolin::platform {
namespace {

TEST(VideoView, PlacesEachPictureOnTheView) {
  const VideoFit fill = VideoFit::FillWidth;
  const VideoFit whole = VideoFit::Whole;
  struct Case {
    const char* name;
    int width, height;  // the picture
    VideoView view;
    VideoPlacement want;  // cropTop, cropHeight, x, y, width, height, byWholePixels
  };
  const Case cases[] = {
      {"480 x 240 at scale 1: as made", 480, 240, {480, 240, fill}, {0, 240, 0, 0, 480, 240, true}},
      {"480 x 240 at scale 2: whole pixels",
       480,
       240,
       {960, 480, whole},
       {0, 240, 0, 0, 960, 480, true}},
      {"smaller: top-left corner, whatever the fit",
       320,
       200,
       {960, 480, whole},
       {0, 200, 0, 0, 640, 400, true}},
      {"smaller at a factor of 1.5: smoothed",
       320,
       240,
       {720, 360, fill},
       {0, 240, 0, 0, 480, 360, false}},
      {"one pixel wider than the view is scaled",
       481,
       240,
       {480, 240, fill},
       {0, 240, 0, 0, 480, 240, false}},
      {"one row taller is cut to the view's rows",
       480,
       241,
       {480, 240, fill},
       {0, 240, 0, 0, 480, 240, false}},
      {"1920 x 1080 filling the width: 60 rows cut above, 60 below",
       1920,
       1080,
       {480, 240, fill},
       {60, 960, 0, 0, 480, 240, false}},
      {"1920 x 1080 filling the width at scale 2",
       1920,
       1080,
       {960, 480, fill},
       {60, 960, 0, 0, 960, 480, false}},
      {"1920 x 1088: 64 rows cut above",
       1920,
       1088,
       {480, 240, fill},
       {64, 960, 0, 0, 480, 240, false}},
      {"1920 x 1080 whole: bars left and right",
       1920,
       1080,
       {480, 240, whole},
       {0, 1080, 26, 0, 427, 240, false}},
      {"4:3 whole at scale 3", 640, 480, {1440, 720, whole}, {0, 480, 240, 0, 960, 720, false}},
      {"exactly 2:1 fills the view either way",
       960,
       480,
       {480, 240, whole},
       {0, 480, 0, 0, 480, 240, false}},
      {"wider than 2:1 filling the width: bars above and below",
       1920,
       800,
       {480, 240, fill},
       {0, 800, 0, 20, 480, 200, false}},
      {"wider than 2:1 whole: the same bars",
       1920,
       800,
       {480, 240, whole},
       {0, 800, 0, 20, 480, 200, false}},
      {"a sliver is at least one row", 4096, 2, {480, 240, whole}, {0, 2, 0, 119, 480, 1, false}},
      {"no picture", 0, 240, {480, 240, fill}, {}},
      {"no view", 480, 240, {0, 0, fill}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const VideoPlacement p = placeVideo(c.width, c.height, c.view);
    EXPECT_EQ(p.cropTop, c.want.cropTop);
    EXPECT_EQ(p.cropHeight, c.want.cropHeight);
    EXPECT_EQ(p.x, c.want.x);
    EXPECT_EQ(p.y, c.want.y);
    EXPECT_EQ(p.width, c.want.width);
    EXPECT_EQ(p.height, c.want.height);
    EXPECT_EQ(p.byWholePixels, c.want.byWholePixels);
  }
}

TEST(VideoView, ViewOfAFactorRoundsToWholePixels) {
  EXPECT_EQ(videoViewAt(1, VideoFit::FillWidth), (VideoView{480, 240, VideoFit::FillWidth}));
  EXPECT_EQ(videoViewAt(3, VideoFit::Whole), (VideoView{1440, 720, VideoFit::Whole}));
  EXPECT_EQ(videoViewAt(1.25, VideoFit::Whole), (VideoView{600, 300, VideoFit::Whole}));
}

}  // namespace
}  // namespace dravolin::platform
