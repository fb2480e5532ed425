#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "author/gradient.h"
#include "author/picture.h"
#include "author/speed_table.h"
#include "author/sync.h"
#include "data/line_distances.h"
#include "sim/route.h"

namespace dravolin::author {
namespace {

// A target from a run of known speeds (km/h per second, linear between), at `fps` frames a
// second, with stands where the speed is 0 for more than a second.
SpeedTarget target(const std::vector<double>& kmhPerSecond, double fps = 30) {
  SpeedTarget t;
  t.tableScale = 30.0 / fps;
  double d = 0;
  const int frames = static_cast<int>((kmhPerSecond.size() - 1) * fps);
  int standFrom = -1;
  for (int f = 0; f <= frames; ++f) {
    const double s = f / fps;
    const auto i = static_cast<std::size_t>(s);
    const double v = i + 1 < kmhPerSecond.size()
                         ? kmhPerSecond[i] + (kmhPerSecond[i + 1] - kmhPerSecond[i]) * (s - i)
                         : kmhPerSecond.back();
    if (f > 0) d += (v + t.speedKmh.back()) / 2 / 3.6 / fps;
    t.distanceM.push_back(d);
    t.speedKmh.push_back(v);
    t.known.push_back(true);
    if (f % static_cast<int>(fps) == 0) t.checks.push_back(f);
    if (v == 0 && standFrom < 0) standFrom = f;
    if ((v != 0 || f == frames) && standFrom >= 0) {
      if (f - standFrom > fps) t.stands.emplace_back(standFrom, f);
      standFrom = -1;
    }
  }
  return t;
}

std::vector<double> run() {
  std::vector<double> v(20, 0.0);                                          // standing 20 s
  for (int s = 1; s <= 24; ++s) v.push_back(2.5 * s);                      // away to 60 km/h
  for (int s = 0; s < 60; ++s) v.push_back(60 + 0.8 * std::sin(s * 0.3));  // a little unsteady
  for (int s = 1; s <= 20; ++s) v.push_back(60 - 3.0 * s);                 // braking
  for (int s = 0; s < 15; ++s) v.push_back(0);                             // standing
  return v;
}

TEST(SpeedTable, FollowsTheRunWithFewRowsByTheLoadersFormula) {
  const SpeedTarget t = target(run());
  const SpeedFit fit = fitSpeedTable(t);
  EXPECT_EQ(fit.violations, 0);
  EXPECT_LE(fit.worstSpeedKmh, kSpeedToleranceKmh);
  EXPECT_LE(fit.rows.size(), 10u);
  // Every second within half the allowance, the rows' aim.
  for (const int f : t.checks) {
    const double want = t.distanceM[static_cast<std::size_t>(f)];
    EXPECT_LE(std::abs(derivedDistanceM(fit.rows, f) - want),
              kFitShare * std::max(kDistanceFloorM, kDistanceShare * want) + 1e-6)
        << f;
  }
  // The stands are rows at 0 km/h, and the row after the first leaves at 1 km/h.
  EXPECT_EQ(fit.rows.front().endFrame, t.stands.front().second);
  EXPECT_EQ(fit.rows.front().startSpeed + fit.rows.front().endSpeed, 0);
  EXPECT_EQ(fit.rows[1].startSpeed, 1);
  EXPECT_EQ(fit.rows.back().startSpeed + fit.rows.back().endSpeed, 0);
  // Rows follow each other, and their end distances are the loader's.
  data::LineFile line;
  line.params.SpeedUnit = fit.rows;
  data::computeLineDistances(line);
  for (std::size_t i = 0; i < fit.rows.size(); ++i) {
    if (i > 0) {
      EXPECT_EQ(fit.rows[i].startFrame, fit.rows[i - 1].endFrame);
    }
    EXPECT_EQ(fit.rows[i].endDistance, line.params.SpeedUnit[i].endDistance);
  }
  // The derived distance of a frame is what the simulation takes for it.
  for (const int frame : {0, 599, 600, 601, 1500, 3100}) {
    EXPECT_NEAR(derivedDistanceM(fit.rows, frame),
                static_cast<double>(sim::lineDistanceAt(line.params, frame)) / 100.0, 0.006)
        << frame;
  }
}

TEST(SpeedTable, AVideoOfFewerFramesGetsProportionallyHigherTableSpeeds) {
  const SpeedTarget t = target(run(), 25);
  const SpeedFit fit = fitSpeedTable(t);
  EXPECT_EQ(fit.violations, 0);
  int highest = 0;
  for (const auto& r : fit.rows) highest = std::max({highest, r.startSpeed, r.endSpeed});
  EXPECT_NEAR(highest, 60 * 30 / 25, 3);
  EXPECT_NEAR(derivedDistanceM(fit.rows, static_cast<int>(t.distanceM.size()) - 1),
              t.distanceM.back(), kFitShare * kDistanceShare * t.distanceM.back() + 0.01);
}

TEST(SpeedTable, InsideADropoutOnlyTheInterpolatedDistanceHolds) {
  SpeedTarget t = target(run());
  // 30 s without fixes over a run of 50 to 80 s: distance and speed interpolated between its
  // ends, as the track's profile gives them.
  const std::size_t a = 50 * 30, b = 80 * 30;
  for (std::size_t f = a + 1; f < b; ++f) {
    const double share = static_cast<double>(f - a) / static_cast<double>(b - a);
    t.known[f] = false;
    t.distanceM[f] = t.distanceM[a] + (t.distanceM[b] - t.distanceM[a]) * share;
    t.speedKmh[f] = t.speedKmh[a] + (t.speedKmh[b] - t.speedKmh[a]) * share;
  }
  const SpeedFit fit = fitSpeedTable(t);
  EXPECT_EQ(fit.violations, 0);
  EXPECT_LE(fit.rows.size(), 10u);
}

TEST(SpeedTable, FrameAtDistanceEdges) {
  const std::vector<sim::SpeedUnitRow> rows = {{0, 300, 0, 0, 0}, {300, 600, 1, 60, 8472}};
  EXPECT_EQ(frameAtDistance(rows, -5), 0);
  EXPECT_EQ(frameAtDistance(rows, 0), 0);
  EXPECT_EQ(frameAtDistance(rows, 84.72), 600);
  EXPECT_EQ(frameAtDistance(rows, 1000), 600);
  const int f = frameAtDistance(rows, 20);
  EXPECT_GE(derivedDistanceM(rows, f), 20);
  EXPECT_LT(derivedDistanceM(rows, f - 1), 20);
}

struct GradientCase {
  const char* name;
  double noiseM;  // uniform within +-
  double lengthM;
  std::vector<std::pair<double, double>> truth;  // (until m, permil)
  double within;                                 // permil
};

double truthAt(const std::vector<std::pair<double, double>>& truth, double m) {
  double h = 0, from = 0;
  for (const auto& [until, permil] : truth) {
    const double to = std::min(m, until);
    if (to > from) h += (to - from) * permil / 1000;
    from = until;
    if (m <= until) break;
  }
  return h;
}

TEST(Gradients, StretchesOfTheLinesHeights) {
  const std::vector<GradientCase> cases = {
      {"exact heights", 0, 2000, {{600, 0}, {1400, 8}, {2000, -5}}, 0.05},
      {"a receiver's heights", 1.0, 3000, {{800, 4}, {1900, -6}, {3000, 2}}, 1.0},
      {"shorter than a stretch", 0.05, 150, {{150, 10}}, 1.0},
  };
  for (const GradientCase& c : cases) {
    SCOPED_TRACE(c.name);
    std::mt19937 random(7);
    std::uniform_real_distribution<double> noise(-c.noiseM, c.noiseM);
    std::vector<double> d, h;
    for (double m = 0; m <= c.lengthM; m += 15) {
      d.push_back(m);
      h.push_back(40 + truthAt(c.truth, m) + noise(random));
    }
    const std::vector<GradientStretch> g = fitGradients(d, h);
    ASSERT_EQ(g.size(), c.truth.size());
    for (std::size_t i = 0; i < g.size(); ++i) {
      EXPECT_NEAR(g[i].permil, c.truth[i].second, c.within) << i;
      EXPECT_GE(g[i].toM - g[i].fromM, std::min(kMinStretchM, c.lengthM)) << i;
      if (i + 1 < g.size()) {
        EXPECT_NEAR(g[i].toM, c.truth[i].first, c.noiseM > 0 ? 80 : 10) << i;
      }
    }
  }
}

TEST(Gradients, StretchesWithoutHeightsAreLeftOut) {
  std::vector<double> d, h;
  for (double m = 0; m <= 3000; m += 15) {
    d.push_back(m);
    h.push_back(m > 1000 && m < 2000 ? NAN : m * 0.004);
  }
  for (const GradientStretch& g : fitGradients(d, h)) {
    EXPECT_FALSE(g.fromM > 1000 && g.toM < 2000);
  }
  EXPECT_TRUE(fitGradients(d, std::vector<double>(d.size(), NAN)).empty());
}

// Motion of a picture standing 0-10 s (a key frame's blip at 5 s), moving 10-20 s with a
// two-frame lull, standing 20-21 s less a frame, moving to 30 s, standing from 30 s to the end.
PictureMotion motion() {
  PictureMotion p;
  for (int f = 0; f < 35 * 30; ++f) {
    p.timeS.push_back(f / 30.0);
    bool moving = (f >= 300 && f < 600) || (f >= 629 && f < 900);
    if (f == 150) moving = true;               // the blip
    if (f == 450 || f == 451) moving = false;  // the lull
    p.motion.push_back(moving ? 5.0f : 0.5f + 0.02f * static_cast<float>(f % 5));
  }
  return p;
}

TEST(Picture, StandsAtTheNoiseFloorOfASecondOrMore) {
  const PictureAnalysis a = analysePicture(motion());
  EXPECT_NEAR(a.floor, 0.5, 0.05);
  ASSERT_EQ(a.stands.size(), 2u) << "the blip merged, the lull and 29 frames too short";
  EXPECT_TRUE(a.stands[0].cutAtStart);
  EXPECT_NEAR(a.stands[0].to, 10 - 1 / 60.0, 1e-9);
  EXPECT_NEAR(a.stands[1].from, 30 - 1 / 60.0, 1e-9);
  EXPECT_TRUE(a.stands[1].cutAtEnd);
  // With one frame more the short stand is a second long: a stand.
  PictureMotion longer = motion();
  longer.motion[629] = 0.5f;
  EXPECT_EQ(analysePicture(longer).stands.size(), 3u);
}

TEST(Picture, SettlesWhereTheSquareRootOfTheDifferenceMeetsZero) {
  for (const bool arriving : {true, false}) {
    SCOPED_TRACE(arriving ? "arriving" : "departing");
    const double te = 10.013;
    std::vector<platform::FrameDifference> d;
    for (int f = 240; f < 360; ++f) {
      const double t = f / 30.0;
      const double away = arriving ? std::max(0.0, te - t) : std::max(0.0, t - te);
      d.push_back({t, static_cast<float>(0.6 + 0.02 * (f % 3) + 30 * away * away)});
    }
    const std::optional<double> t = settleTime(d, arriving ? 9.9 : 10.1, arriving);
    ASSERT_TRUE(t.has_value());
    EXPECT_NEAR(*t, te, 0.01);
  }
  EXPECT_FALSE(settleTime({}, 10, true).has_value());
}

}  // namespace
}  // namespace dravolin::author
