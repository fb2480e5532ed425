// Cost of the USB controller service while a device is plugged in and untouched: one read (the
// service reads every 10 ms while a device is open, 100 reads a second), and one read of a device
// whose axis moves, through its one-handle mapper. The goal: the untouched device's reads cost
// well under 1 % of a core (under 100 us a read).
#include <SDL.h>
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <cstdlib>

#include "input/device_mapper.h"
#include "input/profile_library.h"
#include "platform/sdl_input_devices.h"

namespace {

using namespace dravolin;

void readUntouched(benchmark::State& state) {
  setenv("SDL_VIDEODRIVER", "dummy", 1);
  SDL_SetHint(SDL_HINT_JOYSTICK_HIDAPI, "0");
  platform::SdlInputDevices devices{QString()};
  const int index = SDL_JoystickAttachVirtual(SDL_JOYSTICK_TYPE_THROTTLE, 1, 8, 0);
  devices.pump();
  for (auto _ : state) devices.pump();
  SDL_JoystickDetachVirtual(index);
  devices.pump();
}
BENCHMARK(readUntouched);

void readMovingAxis(benchmark::State& state) {
  setenv("SDL_VIDEODRIVER", "dummy", 1);
  SDL_SetHint(SDL_HINT_JOYSTICK_HIDAPI, "0");
  platform::SdlInputDevices devices{QString()};
  const input::ProfileLibrary library;
  input::DeviceMapper mapper(*library.find("one-handle"));
  long commands = 0;
  platform::InputDevices::Handlers h;
  h.axis = [&](int, int axis, int value) {
    commands += static_cast<long>(mapper.axis(axis, value).size());
  };
  devices.setHandlers(h);
  const int index = SDL_JoystickAttachVirtual(SDL_JOYSTICK_TYPE_THROTTLE, 1, 8, 0);
  devices.pump();
  SDL_Joystick* j = SDL_JoystickFromInstanceID(devices.devices().front().id);
  int v = -32768;
  for (auto _ : state) {
    v = v >= 32000 ? -32768 : v + 500;
    SDL_JoystickSetVirtualAxis(j, 0, static_cast<Sint16>(v));
    devices.pump();
  }
  benchmark::DoNotOptimize(commands);
  SDL_JoystickDetachVirtual(index);
  devices.pump();
}
BENCHMARK(readMovingAxis);

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
