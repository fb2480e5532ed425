// Cost of one 33 ms simulation tick and one 100 ms display-tick physics pass, for an electric
// train under power and a diesel railcar in the middle of its gears.
#include <benchmark/benchmark.h>

#include "platform/null_sound_slots.h"
#include "sim/display_physics.h"
#include "sim/simulation_tick.h"

namespace {

using namespace dravolin::sim;

TrainParams benchTrain(bool diesel) {
  TrainParams p;
  p.BrakeType = 1;
  p.Brake = 8;
  p.Power = 4;
  p.BrakeRate = Fixed::fromInt(4);
  p.PowerDelay = 3;
  p.BrakeDelay = 2;
  p.BrakeUp = 45;
  p.BrakeDown = 30;
  p.EBPress = 440;
  p.HighAirPress = 780;
  p.LowAirPress = 690;
  p.Engine_Type = diesel ? 0 : 1;
  p.Mt = Fixed::fromInt(150);
  p.Tons = Fixed::fromInt(300);
  p.Cars = 10;
  p.MaxSpeed = 120;
  p.Lose_elec = 10;
  p.Mc = 1;
  p.NotchTable = {{1.0, 0.8, 20, 40, 0.98},
                  {2.0, 1.6, 30, 60, 0.98},
                  {2.6, 2.2, 35, 70, 0.98},
                  {3.0, 2.5, 40, 80, 0.98}};
  p.GearTable = {
      {0, 20, 40, 2.0, 1.6, 1.0}, {30, 50, 70, 1.2, 0.9, 0.6}, {60, 80, 100, 0.7, 0.5, 0.3}};
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
  dravolin::platform::NullSoundSlots sounds;
  const CompressorSounds slots{1, 2, 3};
  for (auto _ : state) {
    s.TractiveForce = Fixed::fromInt(200000);
    s.Distance += 2500;
    displayTickPhysics(s, p, sounds, slots);
    s.Speed = Fixed::fromInt(55);
    benchmark::DoNotOptimize(s);
  }
}
BENCHMARK(BM_DisplayTickPhysics)->Arg(0)->Arg(1)->ArgName("diesel");

}  // namespace

BENCHMARK_MAIN();
