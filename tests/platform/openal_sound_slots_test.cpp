// The sound service heard through OpenAL Soft's loopback device: every test renders the real mix
// into memory and measures it (frequency by zero crossings, level by RMS or a single-bin DFT).
#include "platform/openal_sound_slots.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstring>
#include <filesystem>
#include <limits>
#include <numbers>

#include <unistd.h>

#include "fixtures/wave_bytes.h"
#include "platform/wave_file.h"
#include "sim/allocation_counter.h"

namespace dravolin::testing {
namespace {

using platform::OpenAlSoundSlots;
using platform::SoundOutputFormat;
using platform::SoundSlots;
using platform::Wave;
using Output = OpenAlSoundSlots::Output;

constexpr int kRate = 22050;
constexpr double kToneHz = 440.0;  // 22050 frames hold exactly 440 periods: loops seamlessly
constexpr double kAmplitude = 0.5;

Wave waveOf(const std::vector<std::uint8_t>& bytes) {
  return platform::parseWave(std::as_bytes(std::span(bytes)));
}

Wave tone(int frames, double toneHz = kToneHz) {
  return waveOf(wav16(sine16(toneHz, kRate, frames, kAmplitude), kRate));
}

// A constant level, `level` of full scale.
Wave dc(int frames, double level) {
  return waveOf(wav16(std::vector<std::int16_t>(static_cast<std::size_t>(frames),
                                                static_cast<std::int16_t>(level * 32768)),
                      kRate));
}

std::vector<float> toFloats(const std::vector<std::uint8_t>& bytes) {
  std::vector<float> out(bytes.size() / sizeof(float));
  std::memcpy(out.data(), bytes.data(), out.size() * sizeof(float));
  return out;
}

// Frequency from the rising zero crossings, placed between samples by linear interpolation.
double frequencyOf(const std::vector<float>& s, int rateHz) {
  double first = -1;
  double last = -1;
  int crossings = 0;
  for (std::size_t i = 1; i < s.size(); ++i) {
    if (s[i - 1] < 0 && s[i] >= 0) {
      const double t = static_cast<double>(i - 1) + s[i - 1] / (s[i - 1] - s[i]);
      if (first < 0) first = t;
      last = t;
      ++crossings;
    }
  }
  return crossings < 2 ? 0.0 : (crossings - 1) * rateHz / (last - first);
}

double rms(const std::vector<float>& s, std::size_t from = 0, std::size_t to = SIZE_MAX) {
  to = std::min(to, s.size());
  double sum = 0;
  for (std::size_t i = from; i < to; ++i) sum += static_cast<double>(s[i]) * s[i];
  return to > from ? std::sqrt(sum / static_cast<double>(to - from)) : 0.0;
}

// Amplitude of the component at `hz` (a single DFT bin; exact when the span holds whole periods).
double amplitudeAt(const std::vector<float>& s, double hz, int rateHz) {
  std::complex<double> sum = 0;
  for (std::size_t i = 0; i < s.size(); ++i) {
    sum += static_cast<double>(s[i]) *
           std::polar(1.0, -2.0 * std::numbers::pi * hz * static_cast<double>(i) / rateHz);
  }
  return 2.0 * std::abs(sum) / static_cast<double>(s.size());
}

// A service on a loopback device mixing 22050 Hz float mono, as the tests read it.
class LoopbackSlots : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(slots.initialise());
    slots.setOutputFormat(kRate, 32, false);
    ASSERT_EQ(slots.outputFormat(), (SoundOutputFormat{kRate, 32, false}));
  }
  std::vector<float> render(int frames) { return toFloats(slots.render(frames)); }

  OpenAlSoundSlots slots{Output::loopback()};
};

TEST_F(LoopbackSlots, FrequencyRatioChangesPitchAndSpeedTogether) {
  const SoundSlots::WaveId wave = slots.addWave(tone(kRate));
  ASSERT_NE(wave, SoundSlots::kNoWave);
  struct Case {
    double ratio;
    double hz;
  };
  for (const Case c : {Case{1.0, 440}, Case{2.0, 880}, Case{0.5, 220}, Case{1.5, 660}}) {
    SCOPED_TRACE(c.ratio);
    slots.assign(0, wave);
    slots.setFrequencyRatio(0, c.ratio);
    slots.playOnce(0);
    const std::vector<float> out = render(kRate / 4);
    EXPECT_NEAR(frequencyOf(out, kRate), c.hz, 0.05);
    // One second of wave lasts 1 / ratio seconds.
    const int left = static_cast<int>(kRate / c.ratio) - kRate / 4;
    render(left - 64);
    EXPECT_TRUE(slots.isPlaying(0));
    render(128);
    EXPECT_FALSE(slots.isPlaying(0));
  }
}

TEST_F(LoopbackSlots, RateIsBaseRateTimesRatioTruncatedToWholeHertz) {
  slots.assign(9, slots.addWave(tone(100)));
  struct Case {
    double ratio;
    int hz;
  };
  const double nan = std::numeric_limits<double>::quiet_NaN();
  for (const Case c : {Case{1.0, 22050}, Case{2.0, 44100}, Case{1.00005, 22051},
                       Case{0.99999, 22049}, Case{0.0001, 2}, Case{0.00004, 0}, Case{0.0, 0},
                       Case{-0.5, 0}, Case{nan, 0}, Case{3.0, 66150}}) {
    SCOPED_TRACE(c.ratio);
    slots.setFrequencyRatio(9, c.ratio);
    EXPECT_EQ(slots.playbackRateHz(9), c.hz);
  }
}

TEST_F(LoopbackSlots, AttenuationInHundredthsOfADecibelScalesTheAmplitude) {
  const SoundSlots::WaveId wave = slots.addWave(tone(kRate));
  struct Case {
    int attenuation;
    double factor;
    double tolerance = 0.005;  // relative
  };
  for (const Case c :
       {Case{0, 1.0}, Case{-600, 0.501187}, Case{-2000, 0.1}, Case{-6000, 0.001},
        Case{-9999, 0.0000101158, 0.02}, Case{-10000, 0.0}, Case{-20000, 0.0}, Case{500, 1.0}}) {
    SCOPED_TRACE(c.attenuation);
    slots.assign(1, wave);
    slots.setVolume(1, c.attenuation);
    slots.playLooped(1);
    const std::vector<float> out = render(kRate / 2);
    const double level = rms(out, 2048);  // past OpenAL's gain ramp at the start
    EXPECT_NEAR(level, kAmplitude / std::sqrt(2.0) * c.factor, c.tolerance * level + 1e-12);
    slots.stop(1);
  }
}

TEST_F(LoopbackSlots, VolumeStaysInForceAcrossStopAndPlay) {
  slots.assign(2, slots.addWave(tone(kRate)));
  slots.setVolume(2, -600);
  slots.playOnce(2);
  render(kRate / 4);
  slots.stop(2);
  slots.playLooped(2);
  EXPECT_NEAR(rms(render(kRate / 4), 2048), kAmplitude / std::sqrt(2.0) * 0.501187, 0.002);
}

TEST_F(LoopbackSlots, MasterGainScalesEverySlotAndLastsAcrossInitialise) {
  struct Case {
    double master;
    int attenuation;
    double factor;
  };
  for (const Case c :
       {Case{1.0, 0, 1.0}, Case{0.5, 0, 0.5}, Case{0.5, -600, 0.250594}, Case{0.0, 0, 0.0},
        Case{2.0, 0, 1.0}, Case{-1.0, 0, 0.0}, Case{std::nan(""), 0, 1.0}}) {
    SCOPED_TRACE(c.master);
    slots.setMasterGain(c.master);
    // A new device and context: the master gain is applied to it as well.
    ASSERT_TRUE(slots.initialise());
    slots.setOutputFormat(kRate, 32, false);
    slots.assign(3, slots.addWave(tone(kRate)));
    slots.setVolume(3, c.attenuation);
    slots.playLooped(3);
    EXPECT_NEAR(rms(render(kRate / 2), 2048), kAmplitude / std::sqrt(2.0) * c.factor, 0.002);
  }
}

TEST_F(LoopbackSlots, OneShotEndsThenReportsNotPlayingAndFallsSilent) {
  slots.assign(4, slots.addWave(tone(2205)));  // 0.1 s
  EXPECT_FALSE(slots.isPlaying(4));
  slots.playOnce(4);
  EXPECT_TRUE(slots.isPlaying(4));
  const std::vector<float> out = render(4410);
  EXPECT_FALSE(slots.isPlaying(4));
  EXPECT_GT(rms(out, 0, 2000), 0.3);
  EXPECT_EQ(rms(out, 2300), 0.0);
  // Playing again starts from the beginning, after the end as after a stop half-way: 0.08 s
  // later it still plays, which it would not if it went on from the middle.
  slots.playOnce(4);
  EXPECT_TRUE(slots.isPlaying(4));
  EXPECT_GT(rms(render(1100)), 0.3);
  slots.stop(4);
  EXPECT_EQ(rms(render(1000)), 0.0);
  slots.playOnce(4);
  render(1764);
  EXPECT_TRUE(slots.isPlaying(4));
  render(600);
  EXPECT_FALSE(slots.isPlaying(4));
}

TEST_F(LoopbackSlots, LoopedSlotKeepsPlayingUntilStopped) {
  slots.assign(5, slots.addWave(tone(2205)));
  slots.playLooped(5);
  const std::vector<float> out = render(kRate);  // ten times the wave's length
  EXPECT_TRUE(slots.isPlaying(5));
  EXPECT_NEAR(rms(out, kRate - 2205), kAmplitude / std::sqrt(2.0), 0.002);
  EXPECT_NEAR(frequencyOf(out, kRate), kToneHz, 0.05);
  slots.stop(5);
  EXPECT_FALSE(slots.isPlaying(5));
  EXPECT_EQ(rms(render(1024)), 0.0);
}

TEST_F(LoopbackSlots, TwoSlotsOnOneWavePlayIndependently) {
  const SoundSlots::WaveId wave = slots.addWave(tone(kRate));
  slots.assign(3, wave);
  slots.assign(7, wave);
  slots.setFrequencyRatio(7, 2.0);
  slots.setVolume(7, -600);
  slots.playLooped(3);
  slots.playLooped(7);
  render(2048);
  std::vector<float> out = render(kRate);
  EXPECT_NEAR(amplitudeAt(out, 440, kRate), 0.5, 0.002);
  EXPECT_NEAR(amplitudeAt(out, 880, kRate), 0.5 * 0.501187, 0.002);

  slots.stop(3);
  EXPECT_FALSE(slots.isPlaying(3));
  EXPECT_TRUE(slots.isPlaying(7));
  render(2048);
  out = render(kRate);
  EXPECT_NEAR(amplitudeAt(out, 440, kRate), 0.0, 0.002);
  EXPECT_NEAR(amplitudeAt(out, 880, kRate), 0.5 * 0.501187, 0.002);

  // Restarting one slot leaves the other's position alone: a one-shot on slot 7 still ends on
  // time while slot 3 restarts again and again.
  slots.setFrequencyRatio(7, 1.0);
  slots.playOnce(7);
  for (int i = 0; i < 10; ++i) {
    restart(slots, 3);
    render(kRate / 10 - 10);
  }
  EXPECT_TRUE(slots.isPlaying(7));
  render(200);
  EXPECT_FALSE(slots.isPlaying(7));
  EXPECT_TRUE(slots.isPlaying(3));
}

TEST_F(LoopbackSlots, AllSlotsPlayAtOnce) {
  ASSERT_EQ(slots.sourceCount(), SoundSlots::kSlotCount);
  const SoundSlots::WaveId wave = slots.addWave(dc(kRate, 1.0 / 512));
  for (int i = 0; i < SoundSlots::kSlotCount; ++i) {
    slots.assign(i, wave);
    slots.playLooped(i);
  }
  render(2048);
  const std::vector<float> out = render(4096);
  for (int i = 0; i < SoundSlots::kSlotCount; ++i) {
    EXPECT_TRUE(slots.isPlaying(i)) << "slot " << i;
  }
  EXPECT_NEAR(out.front(), 0.5, 1e-4);  // 256 x 1/512
  EXPECT_NEAR(out.back(), 0.5, 1e-4);
}

TEST_F(LoopbackSlots, EmptyAndOutOfRangeSlotsDoNothing) {
  const SoundSlots::WaveId wave = slots.addWave(tone(kRate));
  slots.assign(6, wave);
  slots.playLooped(6);
  slots.assign(6, SoundSlots::kNoWave);  // empties a playing slot
  slots.assign(8, 12345);                // a wave that does not exist
  for (int slot : {6, 8, 10, -1, 256, 100000}) {
    SCOPED_TRACE(slot);
    slots.assign(slot, SoundSlots::kNoWave);
    slots.playOnce(slot);
    slots.playLooped(slot);
    slots.setFrequencyRatio(slot, 2.0);
    slots.setVolume(slot, -100);
    restartLooped(slots, slot);
    EXPECT_FALSE(slots.isPlaying(slot));
    EXPECT_EQ(slots.playbackRateHz(slot), 0);
  }
  slots.assign(-1, wave);
  slots.assign(256, wave);
  EXPECT_EQ(rms(render(4096)), 0.0);
}

TEST_F(LoopbackSlots, AssignGivesAFreshInstanceAtTheWavesOwnRateAndFullVolume) {
  const SoundSlots::WaveId wave = slots.addWave(tone(kRate));
  const SoundSlots::WaveId slow =
      slots.addWave(waveOf(wav16(sine16(220, 11025, 11025, 0.5), 11025)));
  slots.assign(11, wave);
  slots.setFrequencyRatio(11, 2.0);
  slots.setVolume(11, -2000);
  slots.playLooped(11);
  slots.assign(11, wave);
  EXPECT_FALSE(slots.isPlaying(11));
  EXPECT_EQ(slots.playbackRateHz(11), kRate);
  slots.playLooped(11);
  std::vector<float> out = render(kRate / 2);
  EXPECT_NEAR(frequencyOf(out, kRate), 440, 0.05);
  EXPECT_NEAR(rms(out, 2048), kAmplitude / std::sqrt(2.0), 0.002);

  // The base rate follows the wave: 11025 Hz, and a ratio of 2 plays it at 22050 Hz.
  slots.assign(11, slow);
  EXPECT_EQ(slots.playbackRateHz(11), 11025);
  slots.setFrequencyRatio(11, 2.0);
  EXPECT_EQ(slots.playbackRateHz(11), 22050);
  slots.playLooped(11);
  EXPECT_NEAR(frequencyOf(render(kRate / 2), kRate), 440, 0.05);
}

TEST_F(LoopbackSlots, RatiosOutsideThePlayableRangeNeitherFailNorCrash) {
  const SoundSlots::WaveId wave = slots.addWave(tone(kRate));
  const double inf = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  // A rate below 1 Hz stands the slot still: silent, still playing.
  for (double ratio : {0.0, -1.0, -inf, nan, 1e-9}) {
    SCOPED_TRACE(ratio);
    slots.assign(12, wave);
    slots.playOnce(12);
    render(1000);
    slots.setFrequencyRatio(12, ratio);
    render(2048);
    EXPECT_LT(rms(render(kRate)), 1e-6);
    EXPECT_TRUE(slots.isPlaying(12));
    // A playable ratio lets it go on, at its own volume.
    slots.setFrequencyRatio(12, 1.0);
    render(2048);
    const std::vector<float> out = render(kRate / 4);
    EXPECT_NEAR(frequencyOf(out, kRate), 440, 0.05);
    EXPECT_NEAR(rms(out), kAmplitude / std::sqrt(2.0), 0.002);
  }
  // Rates beyond the mixer's fastest step play at that step: a one-shot ends at once.
  for (double ratio : {1e6, 1e12, inf, std::numeric_limits<double>::max()}) {
    SCOPED_TRACE(ratio);
    slots.assign(12, wave);
    slots.setFrequencyRatio(12, ratio);
    EXPECT_EQ(slots.playbackRateHz(12), static_cast<int>(OpenAlSoundSlots::kMaxPitch * kRate));
    slots.playOnce(12);
    render(1024);
    EXPECT_FALSE(slots.isPlaying(12));
  }
}

TEST_F(LoopbackSlots, EightAndSixteenBitMonoAndStereoWavesPlayAtTheirLevel) {
  using platform::SampleType;
  struct Case {
    const char* name;
    std::vector<std::uint8_t> bytes;
    float left;  // expected level in a stereo mix
    float right;
  };
  const std::vector<Case> cases = {
      {"8-bit mono",
       riffBytes(
           {{"fmt ", formatBody(1, 1, kRate, 8)}, {"data", std::vector<std::uint8_t>(4096, 192)}}),
       0.5f * 0.595662f, 0.5f * 0.595662f},  // a centred mono source in a stereo mix
      {"16-bit stereo", wav16(std::vector<std::int16_t>(8192, 0), kRate, 2), 0.0f, 0.0f},
      {"16-bit stereo, two levels",
       [] {
         std::vector<std::int16_t> s;
         for (int i = 0; i < 4096; ++i) s.insert(s.end(), {16384, -8192});
         return wav16(s, kRate, 2);
       }(),
       0.5f, -0.25f},
  };
  slots.setOutputFormat(kRate, 32, true);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    slots.assign(13, slots.addWave(waveOf(c.bytes)));
    slots.playLooped(13);
    const std::vector<float> out = render(2048 + 512);
    EXPECT_NEAR(out[2 * 2048], c.left, 1e-3);
    EXPECT_NEAR(out[2 * 2048 + 1], c.right, 1e-3);
  }
}

TEST_F(LoopbackSlots, MixesAtTheProgramsOutputFormatOf22050HzEightBitMono) {
  slots.assign(0, slots.addWave(tone(kRate)));
  slots.setOutputFormat(22050, 8, false);
  EXPECT_EQ(slots.outputFormat(), (SoundOutputFormat{22050, 8, false}));
  const std::vector<std::uint8_t> quiet = slots.render(2048);
  ASSERT_EQ(quiet.size(), 2048u);
  for (std::uint8_t b : quiet) ASSERT_NEAR(b, 128, 1);

  slots.playLooped(0);
  const std::vector<std::uint8_t> bytes = slots.render(kRate);
  std::vector<float> out;
  for (std::uint8_t b : bytes) out.push_back((b - 128.0f) / 128.0f);
  EXPECT_NEAR(frequencyOf(out, kRate), 440, 0.5);
  EXPECT_NEAR(rms(out, 2048), kAmplitude / std::sqrt(2.0), 0.01);
}

TEST_F(LoopbackSlots, ChangingTheOutputFormatKeepsWavesAndSlots) {
  slots.assign(0, slots.addWave(tone(kRate)));
  slots.setFrequencyRatio(0, 2.0);
  slots.playLooped(0);
  slots.setOutputFormat(44100, 32, false);
  EXPECT_EQ(slots.outputFormat().rateHz, 44100);
  EXPECT_TRUE(slots.isPlaying(0));
  EXPECT_NEAR(frequencyOf(render(44100 / 4), 44100), 880, 0.05);
  // Values outside what the mixer takes are brought into range.
  slots.setOutputFormat(1000, 12, false);
  EXPECT_EQ(slots.outputFormat(), (SoundOutputFormat{8000, 16, false}));
}

// A lost output comes back with every slot that should sound: loops at their pitch and
// volume, one-shot sounds from where they would be now while that is within their length. The
// loopback device's clock is its mixed output, which stands while the output is closed.
TEST_F(LoopbackSlots, OutputOpenedAgainRestoresEverySlotThatShouldSound) {
  struct Case {
    const char* name;
    int playedBeforeLoss;  // frames of the one-shot mixed before the output closes
    bool restored;
  };
  for (const Case c : {Case{"half-way", 5000, true}, Case{"its last frame left", 11024, true},
                       Case{"at its end", 11025, false}, Case{"long past its end", 20000, false}}) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(slots.initialise());
    slots.setMasterGain(0.5);
    const SoundSlots::WaveId loop = slots.addWave(tone(kRate));
    const SoundSlots::WaveId shot = slots.addWave(tone(11025, 880));  // 0.5 s
    slots.assign(1, loop);
    slots.setFrequencyRatio(1, 1.5);
    slots.setVolume(1, -600);
    slots.playLooped(1);
    slots.assign(2, shot);
    slots.playOnce(2);
    slots.assign(3, loop);
    slots.playLooped(3);
    slots.stop(3);  // stopped: stays silent
    slots.assign(4, loop);
    slots.playLooped(4);
    slots.setFrequencyRatio(4, 0.0);  // standing: plays on, silent
    render(c.playedBeforeLoss);

    slots.closeOutput();
    EXPECT_EQ(slots.outputState(), SoundSlots::OutputState::Missing);
    EXPECT_TRUE(slots.isPlaying(1));
    EXPECT_EQ(slots.isPlaying(2), c.restored);
    EXPECT_EQ(slots.checkOutput(0), SoundSlots::OutputChange::None);
    EXPECT_EQ(slots.checkOutput(OpenAlSoundSlots::kRetryMs), SoundSlots::OutputChange::Restored);
    ASSERT_EQ(slots.outputState(), SoundSlots::OutputState::Open);
    EXPECT_EQ(slots.outputFormat(), (SoundOutputFormat{kRate, 32, false}));

    EXPECT_TRUE(slots.isPlaying(1));
    EXPECT_EQ(slots.isPlaying(2), c.restored);
    EXPECT_FALSE(slots.isPlaying(3));
    EXPECT_TRUE(slots.isPlaying(4));
    EXPECT_EQ(slots.playbackRateHz(4), 0);
    const int left = 11025 - c.playedBeforeLoss;
    if (c.restored && left > 64) {
      render(left - 64);
      EXPECT_TRUE(slots.isPlaying(2));
    }
    render(128);
    EXPECT_FALSE(slots.isPlaying(2));
    // The loop alone, at 660 Hz, its volume and the master gain; nothing at 440 or 880 Hz.
    const std::vector<float> out = render(kRate);
    EXPECT_NEAR(amplitudeAt(out, 660, kRate), 0.5 * 0.501187 * 0.5, 0.002);
    EXPECT_NEAR(amplitudeAt(out, 440, kRate), 0.0, 0.002);
    EXPECT_NEAR(amplitudeAt(out, 880, kRate), 0.0, 0.002);
  }
}

// The output is tried again kRetryMs after it was found missing, and every kRetryMs while it
// stays away; checking it allocates nothing while nothing changes.
TEST_F(LoopbackSlots, MissingOutputIsTriedAgainEveryRetryInterval) {
  struct Case {
    std::int64_t atMs;
    SoundSlots::OutputChange change;
  };
  using C = SoundSlots::OutputChange;
  startCountingAllocations();
  for (int i = 0; i < 100; ++i) slots.checkOutput(i);
  EXPECT_EQ(stopCountingAllocations(), 0);
  slots.closeOutput();
  for (const Case c : {Case{5000, C::None}, Case{5001, C::None}, Case{6999, C::None},
                       Case{7000, C::Restored}, Case{7001, C::None}, Case{100000, C::None}}) {
    SCOPED_TRACE(c.atMs);
    startCountingAllocations();
    const C change = slots.checkOutput(c.atMs);
    const long allocations = stopCountingAllocations();
    EXPECT_EQ(change, c.change);
    if (change == C::None) {
      EXPECT_EQ(allocations, 0);
    }
  }
}

TEST_F(LoopbackSlots, PauseHoldsEverySlotWhereItStandsAndResumeLetsThemGoOn) {
  slots.assign(1, slots.addWave(tone(kRate)));
  slots.assign(2, slots.addWave(tone(11025, 880)));  // 0.5 s
  slots.assign(3, slots.addWave(tone(4410, 660)));   // 0.2 s
  slots.playLooped(1);
  slots.playOnce(2);
  render(5000);
  slots.setPaused(true);
  slots.playOnce(3);  // played while paused: starts with the others
  EXPECT_EQ(rms(render(kRate)), 0.0);
  for (int slot : {1, 2, 3}) EXPECT_TRUE(slots.isPlaying(slot)) << slot;
  slots.setPaused(false);
  std::vector<float> out = render(2205);
  for (const double hz : {440.0, 660.0, 880.0}) {
    EXPECT_NEAR(amplitudeAt(out, hz, kRate), 0.5, 0.02) << hz;
  }

  // Paused again and the output lost and found meanwhile: it comes back paused. Slot 2 has
  // 3820 frames left, slot 3 2205.
  slots.setPaused(true);
  slots.closeOutput();
  slots.checkOutput(0);
  ASSERT_EQ(slots.checkOutput(OpenAlSoundSlots::kRetryMs), SoundSlots::OutputChange::Restored);
  EXPECT_EQ(rms(render(4096)), 0.0);
  for (int slot : {1, 2, 3}) EXPECT_TRUE(slots.isPlaying(slot)) << slot;
  slots.setPaused(false);
  render(2205 - 64);
  EXPECT_TRUE(slots.isPlaying(3));
  render(128);
  EXPECT_FALSE(slots.isPlaying(3));
  render(3820 - 2205 - 128);
  EXPECT_TRUE(slots.isPlaying(2));
  render(128);
  EXPECT_FALSE(slots.isPlaying(2));
  EXPECT_TRUE(slots.isPlaying(1));

  // A stop while paused holds after the resume.
  slots.setPaused(true);
  slots.stop(1);
  slots.setPaused(false);
  EXPECT_FALSE(slots.isPlaying(1));
  EXPECT_EQ(rms(render(4096)), 0.0);

  // A service initialised again while paused plays at once.
  slots.setPaused(true);
  ASSERT_TRUE(slots.initialise());
  EXPECT_FALSE(slots.paused());
  slots.assign(1, slots.addWave(tone(kRate)));
  slots.playLooped(1);
  EXPECT_NEAR(rms(render(kRate / 2), 2048), kAmplitude / std::sqrt(2.0), 0.002);
}

TEST_F(LoopbackSlots, InitialiseAgainReleasesWavesAndEmptiesEverySlot) {
  const SoundSlots::WaveId wave = slots.addWave(tone(kRate));
  slots.assign(0, wave);
  slots.playLooped(0);
  ASSERT_TRUE(slots.initialise());
  EXPECT_FALSE(slots.isPlaying(0));
  slots.assign(0, wave);  // the old wave is gone
  slots.playLooped(0);
  EXPECT_FALSE(slots.isPlaying(0));
  // The output format asked for earlier holds for the new device.
  EXPECT_EQ(slots.outputFormat(), (SoundOutputFormat{kRate, 32, false}));
  EXPECT_EQ(slots.sourceCount(), SoundSlots::kSlotCount);
}

class WaveFiles : public ::testing::Test {
 protected:
  void SetUp() override { std::filesystem::create_directories(dir); }
  void TearDown() override { std::filesystem::remove_all(dir); }
  std::string file(const std::string& name, const std::vector<std::uint8_t>& bytes) {
    const std::string path = (dir / name).string();
    writeFile(path, bytes);
    return path;
  }
  const std::filesystem::path dir = std::filesystem::temp_directory_path() /
                                    ("dravolin_sound_test_" + std::to_string(::getpid()));
};

TEST_F(WaveFiles, LoadWaveGivesNoWaveForMissingOrBrokenFiles) {
  OpenAlSoundSlots slots(Output::loopback());
  ASSERT_TRUE(slots.initialise());
  const std::string good = file("good.wav", wav16(sine16(440, kRate, 1000, 0.5), kRate));
  const std::string broken = file("broken.wav", riffBytes({{"data", pcm16({1, 2})}}));
  const SoundSlots::WaveId a = slots.loadWave(good);
  const SoundSlots::WaveId b = slots.loadWave(good);
  EXPECT_NE(a, SoundSlots::kNoWave);
  EXPECT_NE(b, a);
  EXPECT_EQ(slots.loadWave(broken), SoundSlots::kNoWave);
  EXPECT_EQ(slots.loadWave((dir / "missing.wav").string()), SoundSlots::kNoWave);
  slots.assign(0, a);
  slots.playOnce(0);
  EXPECT_TRUE(slots.isPlaying(0));
}

// Without the output "none" nothing is kept and nothing sounds. A device that cannot be
// opened leaves the slots going on silently in time, with their waves kept for when it opens.
TEST_F(WaveFiles, WithoutADeviceTheServiceRunsSilent) {
  const std::string good = file("good.wav", wav16(sine16(440, kRate, 1000, 0.5), kRate));
  struct Case {
    Output output;
    SoundSlots::OutputState state;
  };
  for (const Case& c :
       {Case{Output::none(), SoundSlots::OutputState::Unused},
        Case{Output::device("Dravolin: no such device"), SoundSlots::OutputState::Missing}}) {
    SCOPED_TRACE(static_cast<int>(c.state));
    OpenAlSoundSlots slots(c.output);
    EXPECT_FALSE(slots.initialise());
    EXPECT_FALSE(slots.initialised());
    EXPECT_EQ(slots.outputState(), c.state);
    slots.setOutputFormat(22050, 8, false);
    const SoundSlots::WaveId wave = slots.loadWave(good);
    const bool kept = c.state == SoundSlots::OutputState::Missing;
    EXPECT_EQ(wave != SoundSlots::kNoWave, kept);
    slots.assign(0, wave);
    loopIfIdle(slots, 0);
    slots.setFrequencyRatio(0, 2.0);
    slots.setVolume(0, -600);
    EXPECT_EQ(slots.isPlaying(0), kept);
    EXPECT_EQ(slots.playbackRateHz(0), kept ? 44100 : 0);
    EXPECT_TRUE(slots.render(100).empty());
    for (const std::int64_t t : {0, 2000, 4000}) {
      EXPECT_EQ(slots.checkOutput(t), SoundSlots::OutputChange::None);
    }
    EXPECT_EQ(slots.outputState(), c.state);
  }
}

// On a machine without a sound card the default device may fail to open (a silent service
// that goes on in time) or OpenAL Soft may fall back to its null output; either way the
// program goes on.
TEST_F(WaveFiles, DefaultDeviceEitherPlaysOrRunsSilent) {
  const std::string good = file("good.wav", wav16(sine16(440, kRate, kRate, 0.5), kRate));
  OpenAlSoundSlots slots(Output::defaultDevice());
  const bool opened = slots.initialise();
  slots.setOutputFormat(22050, 8, false);
  const SoundSlots::WaveId wave = slots.loadWave(good);
  EXPECT_NE(wave, SoundSlots::kNoWave);  // kept for when a device opens
  slots.assign(0, wave);
  slots.playLooped(0);
  EXPECT_TRUE(slots.isPlaying(0));
  EXPECT_EQ(slots.outputState(),
            opened ? SoundSlots::OutputState::Open : SoundSlots::OutputState::Missing);
  EXPECT_TRUE(slots.render(100).empty());  // only a loopback device renders on request
  if (opened) {
    EXPECT_EQ(slots.outputFormat().rateHz, 22050);
  }
}

TEST(SoundDeviceChoice, EnvironmentVariableNamesTheDevice) {
  struct Case {
    const char* value;  // nullptr: unset
    Output::Kind kind;
    const char* name;
  };
  const char* saved = std::getenv(platform::kSoundDeviceVariable);
  const std::string savedValue = saved != nullptr ? saved : "";
  for (const Case c :
       {Case{nullptr, Output::Kind::Device, ""}, Case{"", Output::Kind::Device, ""},
        Case{"none", Output::Kind::None, ""},
        Case{"OpenAL Soft on Headphones", Output::Kind::Device, "OpenAL Soft on Headphones"}}) {
    SCOPED_TRACE(c.value != nullptr ? c.value : "(unset)");
    if (c.value == nullptr) {
      ::unsetenv(platform::kSoundDeviceVariable);
    } else {
      ::setenv(platform::kSoundDeviceVariable, c.value, 1);
    }
    const Output o = Output::fromEnvironment();
    EXPECT_EQ(o.kind, c.kind);
    EXPECT_EQ(o.deviceName, c.name);
  }
  if (saved != nullptr) {
    ::setenv(platform::kSoundDeviceVariable, savedValue.c_str(), 1);
  } else {
    ::unsetenv(platform::kSoundDeviceVariable);
  }
}

}  // namespace
}  // namespace dravolin::testing
