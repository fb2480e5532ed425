// Cost of one 33 ms simulation tick and one 100 ms display-tick physics pass, for the sample
// electric train under power and the sample diesel railcar in the middle of its gears, on a line
// of 200 speed profile rows.
#include <benchmark/benchmark.h>

#include "fixtures/sample_trains.h"
#include "sim/display_physics.h"
#include "sim/simulation_tick.h"

namespace {

using namespace dravolin::sim;

TrainParams benchTrain(bool diesel) {
  TrainParams p = diesel ? dravolin::testing::dieselTrain() : dravolin::testing::electricTrain();
  p.Mc = 1;
  return p;
}

LineParams benchLine() {
  LineParams line;
  for (int i = 0; i < 200; ++i) {
    line.SpeedUnit.push_back({i * 300, (i + 1) * 300, 60, 70, 8333 * (i + 1)});
  }
  return line;
}

TrainState running(const TrainParams& p, const LineParams& line) {
  TrainState s = loadState(p, line);
  s.DoorsOpen = false;
  s.PowerNotch = s.PowerHandle = 4;
  s.BrakeNotch = s.BrakeHandle = 0;
  s.Speed = Fixed::fromInt(55);
  s.Gear = s.TargetGear = 1;
  s.EngineOutput = 90;
  s.FrameIndex = 30000;
  return s;
}

void BM_SimulationTick(benchmark::State& state) {
  const TrainParams p = benchTrain(state.range(0) != 0);
  const LineParams line = benchLine();
  TrainState s = running(p, line);
  for (auto _ : state) {
    MMTimer1Timer(s, p, line);
    s.Speed = Fixed::fromInt(55);
    benchmark::DoNotOptimize(s);
  }
}
BENCHMARK(BM_SimulationTick)->Arg(0)->Arg(1)->ArgName("diesel");

void BM_DisplayTickPhysics(benchmark::State& state) {
  const TrainParams p = benchTrain(state.range(0) != 0);
  const LineParams line = benchLine();
  TrainState s = running(p, line);
  for (auto _ : state) {
    s.TractiveForce = Fixed::fromInt(200000);
    s.Distance += 2500;
    CompressorEvents events = displayTickPhysics(s, p);
    benchmark::DoNotOptimize(events);
    s.Speed = Fixed::fromInt(55);
    benchmark::DoNotOptimize(s);
  }
}
BENCHMARK(BM_DisplayTickPhysics)->Arg(0)->Arg(1)->ArgName("diesel");

}  // namespace

BENCHMARK_MAIN();
