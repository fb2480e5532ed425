// The demo's sounds as a driver hears them: a scripted drive of each demo train, run through the
// drive logic in virtual time with OpenAL Soft's loopback device as the sound service, rendered
// millisecond by millisecond into memory and measured. Each drive is rendered three times, with
// the same script: the motor sounds alone, the running-noise bands alone, and the whole mix
// (every other slot is held silent, so the sound logic runs exactly as in the whole mix).
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <numbers>
#include <string>
#include <vector>

#include "drive/drive.h"
#include "fixtures/run_tool.h"
#include "input/input_state.h"
#include "platform/file_picture_loader.h"
#include "platform/openal_sound_slots.h"
#include "sim/virtual_time.h"
#include "tools/drive/run_drive.h"
#include "tools/drive/script.h"

namespace dravolin::testing {
namespace {

namespace fs = std::filesystem;
using platform::OpenAlSoundSlots;
using platform::SoundSlots;

constexpr int kRate = 22050;  // the output rate the start-up asks for

// The sound service of the drive with only some slots heard: every call goes to the loopback
// device, but the others' volume is held at silence. The output is 32-bit float so that a mix
// above full scale shows as such instead of being clipped.
class HeardSlots final : public SoundSlots {
 public:
  HeardSlots(OpenAlSoundSlots& inner, std::function<bool(int)> heard)
      : inner_(inner), heard_(std::move(heard)) {}

  bool initialise() override { return inner_.initialise(); }
  void setOutputFormat(int rateHz, int, bool) override {
    inner_.setOutputFormat(rateHz, 32, false);
  }
  WaveId loadWave(const std::string& path) override { return inner_.loadWave(path); }
  void assign(int slot, WaveId wave) override {
    inner_.assign(slot, wave);
    if (!heard_(slot)) inner_.setVolume(slot, -10000);
  }
  void playOnce(int slot) override { inner_.playOnce(slot); }
  void playLooped(int slot) override { inner_.playLooped(slot); }
  void stop(int slot) override { inner_.stop(slot); }
  bool isPlaying(int slot) const override { return inner_.isPlaying(slot); }
  void setFrequencyRatio(int slot, double ratio) override { inner_.setFrequencyRatio(slot, ratio); }
  void setVolume(int slot, int attenuation) override {
    inner_.setVolume(slot, heard_(slot) ? attenuation : -10000);
  }

 private:
  OpenAlSoundSlots& inner_;
  std::function<bool(int)> heard_;
};

// What a drive sounded like: the mono samples and the speed (km/h) at each of them.
struct Recording {
  std::vector<float> samples;
  std::vector<float> speed;
  std::vector<int> powerNotch;
};

// Runs the script on the demo train for `untilMs`, hearing only the slots `heard` accepts.
Recording record(const fs::path& dir, const std::string& train, const std::string& line,
                 const std::string& script, int untilMs, std::function<bool(int)> heard) {
  Recording r;
  std::string error;
  const auto events = tools::parseScript(script, error);
  EXPECT_TRUE(events) << error;
  if (!events) return r;
  OpenAlSoundSlots loopback(OpenAlSoundSlots::Output::loopback());
  HeardSlots sounds(loopback, std::move(heard));
  if (!sounds.initialise()) {
    ADD_FAILURE() << "OpenAL Soft's loopback device cannot be opened";
    return r;
  }
  platform::FilePictureLoader pictures;
  input::ProgramInputState program;
  auto drive = drive::Drive::FormCreate({dir, train, line}, {pictures, sounds, nullptr}, program);
  EXPECT_EQ(loopback.outputFormat().rateHz, kRate);

  std::size_t next = 0;
  long long rendered = 0;
  sim::runVirtualTime(
      untilMs, drive->running(),
      [&](int t) {
        for (; next < events->size() && (*events)[next].timeMs == t; ++next) {
          drive::applyScriptEvent(*drive, (*events)[next]);
        }
      },
      [&](int) { drive->MMTimer1Timer(); }, [&](int) { drive->Timer1Timer(); },
      [&](int t) {
        // The mix of the millisecond that just passed.
        const long long upTo = static_cast<long long>(t) * kRate / 1000;
        const int frames = static_cast<int>(upTo - rendered);
        rendered = upTo;
        const std::vector<std::uint8_t> bytes = loopback.render(frames);
        const std::size_t at = r.samples.size();
        r.samples.resize(at + bytes.size() / sizeof(float));
        std::memcpy(r.samples.data() + at, bytes.data(), bytes.size());
        r.speed.resize(r.samples.size(), static_cast<float>(drive->state().Speed.ld()));
        r.powerNotch.resize(r.samples.size(), drive->state().PowerNotch);
      });
  return r;
}

double dB(double amplitude) { return 20.0 * std::log10(std::max(amplitude, 1e-12)); }

// The first sample at which the speed reaches `kmh`; the recording's end when it never does.
std::size_t when(const Recording& r, double kmh) {
  std::size_t i = 0;
  while (i < r.speed.size() && r.speed[i] < kmh) ++i;
  return i;
}

// A window of `seconds` centred on sample `at`, within the recording.
struct Span {
  std::size_t from, to;
};
Span around(const Recording& r, std::size_t at, double seconds) {
  const std::size_t half = static_cast<std::size_t>(seconds * kRate / 2);
  const std::size_t from = at > half ? at - half : 0;
  return {from, std::min(at + half, r.samples.size())};
}

double rms(const std::vector<float>& s, Span w) {
  double sum = 0;
  for (std::size_t i = w.from; i < w.to; ++i) sum += static_cast<double>(s[i]) * s[i];
  return w.to > w.from ? std::sqrt(sum / static_cast<double>(w.to - w.from)) : 0.0;
}

double peak(const std::vector<float>& s, Span w) {
  double p = 0;
  for (std::size_t i = w.from; i < w.to; ++i) p = std::max(p, std::abs(static_cast<double>(s[i])));
  return p;
}

// The strongest frequency from 60 to 3000 Hz in the window (Hann-windowed DFT bins 2 Hz apart).
double dominantHz(const std::vector<float>& s, Span w) {
  const std::size_t n = w.to - w.from;
  std::vector<double> x(n);
  for (std::size_t i = 0; i < n; ++i) {
    const double hann = 0.5 - 0.5 * std::cos(2 * std::numbers::pi * i / (n - 1));
    x[i] = s[w.from + i] * hann;
  }
  double best = 0, bestHz = 0;
  for (double hz = 60; hz <= 3000; hz += 2) {
    // Goertzel's recurrence for one bin.
    const double c = 2 * std::cos(2 * std::numbers::pi * hz / kRate);
    double s1 = 0, s2 = 0;
    for (double v : x) {
      const double s0 = v + c * s1 - s2;
      s2 = s1;
      s1 = s0;
    }
    const double power = s1 * s1 + s2 * s2 - c * s1 * s2;
    if (power > best) best = power, bestHz = hz;
  }
  return bestHz;
}

struct DriveCase {
  const char* name;
  const char* train;
  const char* line;
  const char* script;
  int untilMs;
};

// Depart at P4 when the doors have closed and power up to 80 km/h and beyond, then coast.
const DriveCase kDrives[] = {
    {"E231", "E231_train.dat", "E231_line2.dat",
     "100 start\n32700 char 5\n33300 char 8\n33400 char 8\n33500 char 8\n33600 char 8\n"
     "90000 char 5\n",
     95000},
    {"205", "205_train.dat", "205_line.dat",
     "100 start\n31300 char 5\n39400 char z\n39500 char z\n39600 char z\n39700 char z\n"
     "92900 char space\n107600 char a\n107700 char a\n107800 char a\n107900 char a\n",
     112000},
};

class DemoSound : public ::testing::Test {
 protected:
  // The demo of DRAVOLIN_DEMO_DIR (a full demo, with its announcements), or else the fast demo
  // written for this test.
  static void SetUpTestSuite() {
    const char* given = std::getenv("DRAVOLIN_DEMO_DIR");
    if (given != nullptr && *given != '\0') {
      dir_ = new fs::path(given);
      made_ = new ToolRun{0, {}, {}};
      return;
    }
    dir_ = new fs::path(fs::temp_directory_path() /
                        ("dravolin_demo_sound_" + std::to_string(::getpid())));
    written_ = true;
    fs::remove_all(*dir_);
    made_ = new ToolRun(runTool(DRAVOLIN_MAKE_DEMO_EXE, quoted(dir_->string()) + " --fast"));
  }
  static void TearDownTestSuite() {
    if (written_) fs::remove_all(*dir_);
    delete dir_;
    delete made_;
  }
  static fs::path* dir_;
  static ToolRun* made_;
  static bool written_;
};

fs::path* DemoSound::dir_ = nullptr;
ToolRun* DemoSound::made_ = nullptr;
bool DemoSound::written_ = false;

bool motorSlot(int slot) { return slot >= 200; }
bool runningNoiseSlot(int slot) { return slot >= 0 && slot <= 12; }

TEST_F(DemoSound, MotorFollowsTheSpeedAndTheMixHasBodyWithoutClipping) {
  ASSERT_EQ(made_->status, 0) << made_->err;
  for (const DriveCase& c : kDrives) {
    SCOPED_TRACE(c.name);
    const Recording motor = record(*dir_, c.train, c.line, c.script, c.untilMs, motorSlot);
    const Recording noise = record(*dir_, c.train, c.line, c.script, c.untilMs, runningNoiseSlot);
    const Recording mix =
        record(*dir_, c.train, c.line, c.script, c.untilMs, [](int) { return true; });
    ASSERT_FALSE(mix.samples.empty());
    ASSERT_EQ(motor.speed, mix.speed);  // the same drive each time
    ASSERT_LT(when(mix, 80), mix.samples.size()) << "the drive never reaches 80 km/h";

    // Under power the motor's pitch climbs with the speed.
    double lastHz = 0;
    for (const double kmh : {10.0, 25.0, 45.0, 60.0, 75.0}) {
      const std::size_t at = when(motor, kmh);
      ASSERT_GT(motor.powerNotch[at], 0) << kmh << " km/h";
      const double hz = dominantHz(motor.samples, around(motor, at, 0.25));
      EXPECT_GT(hz, lastHz * 1.05) << kmh << " km/h";
      lastHz = hz;
    }

    // At P4 and 60 km/h the motor is heard beside the running noise.
    ASSERT_EQ(mix.powerNotch[when(mix, 60)], 4);
    const Span at60 = around(mix, when(mix, 60), 0.5);
    const double motor60 = dB(rms(motor.samples, at60));
    const double noise60 = dB(rms(noise.samples, at60));
    EXPECT_LT(std::abs(motor60 - noise60), 12.0) << motor60 << " dB motor, " << noise60 << " dB";

    // The running noise grows clearly with the speed.
    const double noise10 = dB(rms(noise.samples, around(noise, when(noise, 10), 0.5)));
    const double noise80 = dB(rms(noise.samples, around(noise, when(noise, 80), 0.5)));
    EXPECT_GE(noise80 - noise10, 10.0) << noise10 << " dB at 10 km/h, " << noise80 << " dB";

    // At speed (40 km/h and more), second by second: a full mix that never clips.
    for (std::size_t from = when(mix, 40); from + kRate <= mix.samples.size(); from += kRate) {
      const Span second{from, from + kRate};
      const double level = dB(rms(mix.samples, second));
      EXPECT_GE(level, -22.0) << "at " << mix.speed[from] << " km/h";
      EXPECT_LE(level, -12.0) << "at " << mix.speed[from] << " km/h";
      EXPECT_LT(dB(peak(mix.samples, second)), -1.0) << "at " << mix.speed[from] << " km/h";
    }
  }
}

}  // namespace
}  // namespace dravolin::testing
