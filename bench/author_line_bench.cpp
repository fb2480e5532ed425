// The line maker's work after the footage has been measured, on a 40-minute ride with twenty
// stops and a receiver's fixes every second: building the line (the offset from the stops, the
// speed table, stations, gradients), which the window repeats whenever the offset or a stop
// changes, and its parts: the profile of the track and the speed table alone.
#include <benchmark/benchmark.h>

#include <vector>

#include "author/line_draft.h"
#include "author/ride_fixture.h"

namespace {

using namespace dravolin;

// Twenty legs: away at 0.8 m/s2 to 20 m/s, a run, braking at 0.9 m/s2, a stand of 40 s.
std::vector<author::testing::Phase> fortyMinutes() {
  std::vector<author::testing::Phase> p{{30, 0}};
  for (int leg = 0; leg < 20; ++leg) {
    p.push_back({25, 0.8});
    p.push_back({40.0 + leg % 5 * 10, 0});
    p.push_back({20.0 / 0.9, -0.9});
    p.push_back({40, 0});
  }
  return p;
}

const author::testing::RideFixture& ride() {
  static const author::testing::RideFixture r(fortyMinutes());
  return r;
}

const author::RideMeasurements& measured() {
  static const author::RideMeasurements m =
      ride().measurements(ride().track(-5, ride().duration() + 5));
  return m;
}

void BM_BuildLineOfFortyMinutes(benchmark::State& state) {
  author::LineOptions o;
  o.lineName = "bench";
  o.dataName = "bench";
  o.clock.zone = "UTC";
  for (auto _ : state) {
    author::LineDraft d = author::buildLine(measured(), o);
    benchmark::DoNotOptimize(d);
  }
  state.counters["frames"] = static_cast<double>(measured().picture.timeS.size());
}
BENCHMARK(BM_BuildLineOfFortyMinutes)->Unit(benchmark::kMillisecond);

void BM_TrackProfileOfFortyMinutes(benchmark::State& state) {
  for (auto _ : state) {
    author::TrackProfile p = author::buildProfile(measured().track);
    benchmark::DoNotOptimize(p);
  }
  state.counters["fixes"] = static_cast<double>(measured().track.points.size());
}
BENCHMARK(BM_TrackProfileOfFortyMinutes)->Unit(benchmark::kMillisecond);

}  // namespace
BENCHMARK_MAIN();
