// Cost of the sound service: mixing one display tick (100 ms) of output with many slots playing
// at odd pitches, through OpenAL Soft's loopback device at the program's output format; the
// watch over the output and its restoring after a loss; and reading a WAV file's bytes.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <numbers>
#include <vector>

#include "platform/openal_sound_slots.h"
#include "platform/wave_file.h"

namespace {

using dravolin::platform::OpenAlSoundSlots;
using dravolin::platform::SampleType;
using dravolin::platform::Wave;

constexpr int kRate = 22050;

Wave tone(int frames) {
  Wave w;
  w.type = SampleType::Signed16;
  w.channels = 1;
  w.rateHz = kRate;
  w.samples.resize(static_cast<std::size_t>(frames) * 2);
  for (int i = 0; i < frames; ++i) {
    const auto s = static_cast<std::int16_t>(
        std::lround(1000.0 * std::sin(2.0 * std::numbers::pi * 440.0 * i / kRate)));
    std::memcpy(w.samples.data() + 2 * i, &s, 2);
  }
  return w;
}

void BM_MixOneDisplayTick(benchmark::State& state) {
  OpenAlSoundSlots slots(OpenAlSoundSlots::Output::loopback());
  if (!slots.initialise()) {
    state.SkipWithError("no loopback device");
    return;
  }
  slots.setOutputFormat(kRate, 8, false);
  const auto wave = slots.addWave(tone(kRate));
  const int playing = static_cast<int>(state.range(0));
  for (int i = 0; i < playing; ++i) {
    slots.assign(i, wave);
    slots.setFrequencyRatio(i, 0.5 + 1.5 * i / OpenAlSoundSlots::kSlotCount + 0.0123);
    slots.setVolume(i, -100 * (i % 20));
    slots.playLooped(i);
  }
  for (auto _ : state) {
    benchmark::DoNotOptimize(slots.render(kRate / 10));
  }
  state.SetItemsProcessed(state.iterations() * (kRate / 10));
}
BENCHMARK(BM_MixOneDisplayTick)->Arg(1)->Arg(32)->Arg(256)->Unit(benchmark::kMicrosecond);

// The watch over the output, once per display tick: one question to the device while it is
// there. And the output opened again with every slot playing: the waves loaded into the new
// device from memory and each slot set going from its position.
void BM_CheckOutput(benchmark::State& state) {
  OpenAlSoundSlots slots(OpenAlSoundSlots::Output::loopback());
  if (!slots.initialise()) {
    state.SkipWithError("no loopback device");
    return;
  }
  std::int64_t now = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(slots.checkOutput(now += 100));
  }
}
BENCHMARK(BM_CheckOutput);

void BM_RestoreAllSlots(benchmark::State& state) {
  OpenAlSoundSlots slots(OpenAlSoundSlots::Output::loopback());
  if (!slots.initialise()) {
    state.SkipWithError("no loopback device");
    return;
  }
  slots.setOutputFormat(kRate, 8, false);
  for (int i = 0; i < OpenAlSoundSlots::kSlotCount; ++i) {
    slots.assign(i, slots.addWave(tone(kRate)));
    slots.playLooped(i);
  }
  std::int64_t now = 0;
  for (auto _ : state) {
    slots.closeOutput();
    slots.checkOutput(now);
    now += OpenAlSoundSlots::kRetryMs;
    benchmark::DoNotOptimize(slots.checkOutput(now));
  }
}
BENCHMARK(BM_RestoreAllSlots)->Unit(benchmark::kMillisecond);

// One second of 16-bit or 24-bit mono at 22050 Hz as WAV bytes.
std::vector<std::byte> wavBytes(int bits) {
  const std::uint32_t dataBytes = static_cast<std::uint32_t>(kRate * bits / 8);
  std::vector<std::uint8_t> b = {'R', 'I', 'F', 'F', 0,  0, 0, 0, 'W', 'A', 'V', 'E',
                                 'f', 'm', 't', ' ', 16, 0, 0, 0, 1,   0,   1,   0};
  auto u16 = [&](unsigned v) {
    b.push_back(static_cast<std::uint8_t>(v));
    b.push_back(static_cast<std::uint8_t>(v >> 8));
  };
  auto u32 = [&](std::uint32_t v) {
    u16(v & 0xFFFF);
    u16(v >> 16);
  };
  u32(kRate);
  u32(kRate * static_cast<std::uint32_t>(bits / 8));
  u16(static_cast<unsigned>(bits / 8));
  u16(static_cast<unsigned>(bits));
  b.insert(b.end(), {'d', 'a', 't', 'a'});
  u32(dataBytes);
  b.resize(b.size() + dataBytes, 0x11);
  std::vector<std::byte> out(b.size());
  std::memcpy(out.data(), b.data(), b.size());
  return out;
}

void BM_ParseOneSecondWave(benchmark::State& state) {
  const std::vector<std::byte> bytes = wavBytes(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    benchmark::DoNotOptimize(dravolin::platform::parseWave(bytes));
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(bytes.size()));
}
BENCHMARK(BM_ParseOneSecondWave)->Arg(16)->Arg(24)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
