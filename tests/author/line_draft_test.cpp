#include <gtest/gtest.h>

#include <cmath>

#include "author/line_draft.h"
#include "author/line_text.h"
#include "author/ride_fixture.h"
#include "data/line_distances.h"
#include "data/line_file.h"
#include "platform/picture_loader.h"

namespace dravolin::author {
namespace {

using testing::Phase;
using testing::RideFixture;

// Stand 20 s, away at 1 m/s2 to 15 m/s, run, brake to a stand of `stand` seconds, away again,
// brake to a stand of 20 s at the end of the footage.
std::vector<Phase> twoStops(double stand) {
  return {{20, 0}, {15, 1}, {30, 0}, {15, -1}, {stand, 0}, {15, 1}, {20, 0}, {15, -1}, {20, 0}};
}

LineOptions options() {
  LineOptions o;
  o.lineName = "テスト線";
  o.dataName = "ride";
  o.clock.zone = "Asia/Tokyo";
  return o;
}

struct StationCase {
  const char* name;
  double stand;          // s, of the middle stop
  std::size_t stations;  // made
};

// A stop of 15 s or more is a station; the stands that begin or end the footage are stations
// whatever their length.
TEST(LineDraft, StopsOfFifteenSecondsOrMoreAreStations) {
  for (const StationCase& c : {StationCase{"14.9 s", 14.9, 2}, StationCase{"15.0 s", 15.0, 3},
                               StationCase{"40 s", 40, 3}}) {
    SCOPED_TRACE(c.name);
    const RideFixture ride(twoStops(c.stand));
    const RideMeasurements m = ride.measurements(ride.track(-5, ride.duration() + 5));
    const LineDraft d = buildLine(m, options());
    ASSERT_EQ(d.stations.size(), c.stations);
    EXPECT_TRUE(d.stations.front().cutAtStart);
    EXPECT_TRUE(d.stations.back().cutAtEnd);
  }
}

TEST(LineDraft, StationsTimedFromTheRealDepartureOnTheLocalClock) {
  const RideFixture ride(twoStops(30));
  const RideMeasurements m = ride.measurements(ride.track(-5, ride.duration() + 5));
  const LineDraft d = buildLine(m, options());
  ASSERT_EQ(d.stations.size(), 3u);
  // The offset found from the stops, though the camera's clock was 40 s late.
  EXPECT_NEAR(d.sync.offsetS, ride.trueOffset(), 0.1);
  EXPECT_EQ(d.sync.basis, "停車の一致");
  // Video 20 s is the first departure: 01:00:20.25 UTC, 10:00:20.25 in Tokyo.
  const DraftStation& first = d.stations[0];
  EXPECT_NEAR(first.departureTicks, (10 * 3600 + 20.25) * 30, 6);
  EXPECT_EQ(first.departureSoundTicks, first.departureTicks - 450);
  EXPECT_EQ(d.startPos, first.departFrame);
  EXPECT_EQ(d.startTimeTicks, first.departureTicks - 900);
  // The middle station stands at its stand's distance, the middle of its range inside the stand.
  const DraftStation& mid = d.stations[1];
  EXPECT_NEAR(mid.distanceM, ride.distanceAt(90), 3.0);
  const double middle = (mid.rangeStart + mid.rangeEnd) / 2.0;
  EXPECT_GT(middle, mid.arriveFrame);
  EXPECT_LT(middle, mid.departFrame);
  EXPECT_NEAR(mid.arriveFrame, 80 * 30, 3);
  EXPECT_NEAR(mid.departFrame, 110 * 30, 3);
}

struct WaypointCase {
  const char* name;
  double metres;  // from the first stand
  std::string expected;
};

TEST(LineDraft, NearestWaypointWithin150MetresNamesAStation) {
  for (const WaypointCase& c :
       {WaypointCase{"149 m", 149, "若葉台"}, WaypointCase{"151 m", 151, "駅1"}}) {
    SCOPED_TRACE(c.name);
    const RideFixture ride(twoStops(30));
    Track t = ride.track(-5, ride.duration() + 5);
    t.waypoints.push_back({"遠い駅", RideFixture::latitudeAt(-500), 139.0});
    t.waypoints.push_back({"若葉台", RideFixture::latitudeAt(-c.metres), 139.0});
    const LineDraft d = buildLine(ride.measurements(t), options());
    ASSERT_EQ(d.stations.size(), 3u);
    EXPECT_EQ(d.stations[0].name, c.expected);
    // The unnamed ones are numbered in order.
    EXPECT_EQ(d.stations[2].name, c.expected == "駅1" ? "駅3" : "駅2");
  }
}

TEST(LineDraft, EditedNamesAndKindsAreKept) {
  const RideFixture ride(twoStops(30));
  const RideMeasurements m = ride.measurements(ride.track(-5, ride.duration() + 5));
  LineOptions o = options();
  o.stationEdits.resize(2);
  o.stationEdits[0].name = "始発,駅";
  o.stationEdits[1].type = 1;
  const LineDraft d = buildLine(m, o);
  EXPECT_EQ(d.stations[0].name, "始発,駅");
  EXPECT_EQ(d.stations[1].type, 1);
  // The line file holds the name without its comma, and the loader takes it.
  data::LoadContext ctx;
  struct NoPictures : platform::PictureLoader {
    std::optional<platform::Bitmap> load(const std::string&) override {
      platform::Bitmap b;
      b.width = 150;
      b.height = 50;
      b.pixels.assign(150 * 50, 0xFF000000u);
      return b;
    }
  } pictures;
  ctx.pictures = &pictures;
  data::LineFile line = data::parseLineFile(lineFileBytes(d), ctx);
  data::computeLineDistances(line);
  ASSERT_EQ(line.stations.size(), 3u);
  EXPECT_EQ(line.stations[0].nameUtf8, "始発、駅");
  EXPECT_EQ(line.stations[1].type, 1);
  EXPECT_EQ(line.params.StartPos, d.startPos);
  EXPECT_NEAR(line.stations[2].stopDistance / 100.0, d.stations[2].distanceM, 0.01);
}

struct TunnelCase {
  const char* name;
  double lostFrom, lostTo;  // video time without fixes
  std::size_t tunnels;
};

// A fix lost for 10 s or more while the picture moves is a tunnel.
TEST(LineDraft, TunnelsWhereTheFixIsLostWhileThePictureMoves) {
  const RideFixture ride(twoStops(30));
  for (const TunnelCase& c :
       {TunnelCase{"11 s between fixes", 40, 50, 1}, TunnelCase{"9 s between fixes", 40, 48, 0},
        TunnelCase{"lost while standing", 82, 100, 0}}) {
    SCOPED_TRACE(c.name);
    const LineDraft d = buildLine(
        ride.measurements(ride.track(-5, ride.duration() + 5, c.lostFrom, c.lostTo)), options());
    ASSERT_EQ(d.tunnels.size(), c.tunnels);
    if (c.tunnels == 1) {
      // From the last fix before to the first after (fixes fall at .75 s of video time).
      EXPECT_NEAR(d.tunnels[0].firstFrame, (c.lostFrom - 0.25) * 30, 4);
      EXPECT_NEAR(d.tunnels[0].lastFrame, (c.lostTo + 0.75) * 30, 4);
    }
  }
}

TEST(LineDraft, FootageFasterThanThirtyFramesIsWrittenAfresh) {
  const RideFixture ride(twoStops(30));
  RideMeasurements m = ride.measurements(ride.track(-5, ride.duration() + 5));
  m.frameRate = 59.94;
  const LineDraft d = buildLine(m, options());
  EXPECT_TRUE(d.reencode);
  EXPECT_EQ(d.frameRateKey, 30);
  EXPECT_EQ(d.frameTimeS.size(), static_cast<std::size_t>(std::ceil(m.durationS * 30 - 1e-9)));
  EXPECT_DOUBLE_EQ(d.frameTimeS[30], 1.0);
  // A 25-frame video is kept: its table speeds are 30/25 of the real ones.
  m.frameRate = 25;
  const LineDraft kept = buildLine(m, options());
  EXPECT_FALSE(kept.reencode);
  EXPECT_EQ(kept.frameRateKey, 25);
  // The same footage in a container the line video is not looked for by is written at 30.
  m.videoFile = "ride.m4v";
  const LineDraft m4v = buildLine(m, options());
  EXPECT_TRUE(m4v.reencode);
  EXPECT_EQ(m4v.frameRateKey, 30);
}

// Footage is copied under its own extension only where the line video is looked for by it.
TEST(LineDraft, LineVideoKeepsALookedForContainerElseIsWrittenAsMp4) {
  struct Case {
    const char* file;
    bool fast;
    const char* extension;
    bool reencode;
  };
  const Case cases[] = {
      {"ride.MP4", false, ".mp4", false}, {"a/b.mov", false, ".mov", false},
      {"c.webm", false, ".webm", false},  {"c.avi", false, ".avi", false},
      {"c.mkv", false, ".mkv", false},    {"c.mkv", true, ".mp4", true},
      {"c.m4v", false, ".mp4", true},     {"ride", false, ".mp4", true},
  };
  for (const Case& c : cases) {
    const LineVideoName n = lineVideoName(c.file, c.fast);
    EXPECT_EQ(n.extension, c.extension) << c.file;
    EXPECT_EQ(n.reencode, c.reencode) << c.file;
  }
}

TEST(LineDraft, BlockSignalsEveryNMetres) {
  const RideFixture ride(twoStops(30));
  LineOptions o = options();
  o.signalSpacingM = 300;
  const LineDraft d = buildLine(ride.measurements(ride.track(-5, ride.duration() + 5)), o);
  ASSERT_GE(d.signalList.size(), 3u);
  for (std::size_t i = 0; i < d.signalList.size(); ++i) {
    const DraftSignal& s = d.signalList[i];
    EXPECT_EQ(s.name, "第" + std::to_string(i + 1) + "閉塞");
    EXPECT_NEAR(derivedDistanceM(d.speed.rows, s.boundary), 300.0 * (i + 1), 2);
    EXPECT_LT(s.transponder, s.check + 1);
    EXPECT_LT(s.check, s.boundary);
    EXPECT_GT(s.displayFrom, i == 0 ? d.startPos : d.signalList[i - 1].boundary);
  }
}

TEST(LineDraft, NoOverlapAndNoStopsAreRefused) {
  const RideFixture ride(twoStops(30));
  // A track of another hour: the stops still match it, at an offset an hour away.
  Track later = ride.track(-5, ride.duration() + 5);
  for (TrackPoint& p : later.points) p.timeS += 3600;
  EXPECT_NEAR(buildLine(ride.measurements(later), options()).sync.offsetS, ride.trueOffset() + 3600,
              0.1);
  // Told an offset that puts the footage beside the track: refused.
  LineOptions o = options();
  o.userOffsetS = 7200;
  try {
    buildLine(ride.measurements(ride.track(-5, ride.duration() + 5)), o);
    FAIL() << "no overlap";
  } catch (const AuthorError& e) {
    EXPECT_NE(std::string(e.what()).find("重なりません"), std::string::npos) << e.what();
  }
  // Only moving, and no creation time: nothing to match.
  const RideFixture moving({{5, 1}, {100, 0}});
  RideMeasurements m = moving.measurements(moving.track(0, 100));
  m.creationTimeS.reset();
  EXPECT_THROW(buildLine(m, options()), AuthorError);
}

}  // namespace
}  // namespace dravolin::author
