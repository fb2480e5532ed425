#include <gtest/gtest.h>

#include "author/gpx_reader.h"

namespace dravolin::author {
namespace {

TEST(GpxReader, ReadsAPoint) {
  const Track t = readGpx(
      "<gpx version=\"1.1\" xmlns=\"http://www.topografix.com/GPX/1/1\"><trk><trkseg>"
      "<trkpt lat=\"35\" lon=\"139\"><time>2024-05-01T00:00:00Z</time></trkpt>"
      "</trkseg></trk></gpx>",
      "a.gpx");
  ASSERT_EQ(t.points.size(), 1u);
}

}  // namespace
}  // namespace dravolin::author
