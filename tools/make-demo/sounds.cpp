#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "tools/make-demo/demo.h"

namespace dravolin::demo {

namespace {

constexpr int kRate = 22050;
using Samples = std::vector<double>;  // -1 .. 1

class Noise {
 public:
  explicit Noise(std::uint32_t seed) : state_(seed) {}
  double next() {
    state_ = state_ * 1664525u + 1013904223u;
    return static_cast<double>(state_ >> 8) / double(1 << 23) - 1.0;
  }

 private:
  std::uint32_t state_;
};

Samples silence(double seconds) { return Samples(static_cast<std::size_t>(seconds * kRate), 0.0); }

double at(std::size_t i) { return static_cast<double>(i) / kRate; }

// Low-passed noise; `cutoff` in Hz.
Samples noise(double seconds, double cutoff, std::uint32_t seed) {
  Samples s = silence(seconds);
  Noise n(seed);
  const double a = 1 - std::exp(-2 * M_PI * cutoff / kRate);
  double y = 0, y2 = 0;
  for (double& v : s) {
    y += a * (n.next() - y);
    y2 += a * (y - y2);
    v = y2;
  }
  double peak = 1e-9;
  for (double v : s) peak = std::max(peak, std::abs(v));
  for (double& v : s) v /= peak;
  return s;
}

// High-passed noise: an air hiss.
Samples hiss(double seconds, std::uint32_t seed) {
  Samples low = noise(seconds, 900, seed), raw = noise(seconds, 9000, seed);
  for (std::size_t i = 0; i < raw.size(); ++i) raw[i] -= 0.8 * low[i];
  return raw;
}

void envelope(Samples& s, double attack, double release) {
  const double len = at(s.size());
  for (std::size_t i = 0; i < s.size(); ++i) {
    const double t = at(i);
    double g = 1;
    if (t < attack) g = t / attack;
    if (t > len - release) g = std::min(g, (len - t) / release);
    s[i] *= std::max(0.0, g);
  }
}

// Makes a looped sound seamless: the last `fade` seconds are blended into the start.
void loopable(Samples& s, double fade) {
  const std::size_t n = static_cast<std::size_t>(fade * kRate);
  if (s.size() < 2 * n) return;
  const std::size_t keep = s.size() - n;
  for (std::size_t i = 0; i < n; ++i) {
    const double t = static_cast<double>(i) / n;
    s[i] = s[i] * t + s[keep + i] * (1 - t);
  }
  s.resize(keep);
}

void add(Samples& to, const Samples& from, double offsetSeconds, double gain) {
  const std::size_t o = static_cast<std::size_t>(offsetSeconds * kRate);
  if (to.size() < o + from.size()) to.resize(o + from.size(), 0.0);
  for (std::size_t i = 0; i < from.size(); ++i) to[o + i] += from[i] * gain;
}

// A tone with decaying harmonics: bells, chimes, horns.
Samples tone(double seconds, double freq, double decay, std::initializer_list<double> harmonics,
             double harmonicStretch = 1.0) {
  Samples s = silence(seconds);
  for (std::size_t i = 0; i < s.size(); ++i) {
    const double t = at(i);
    double v = 0, k = 1;
    for (double h : harmonics) {
      v += h * std::sin(2 * M_PI * freq * (1 + (k - 1) * harmonicStretch) * t);
      k += 1;
    }
    s[i] = v * (decay > 0 ? std::exp(-t / decay) : 1.0);
  }
  return s;
}

std::string wavBytes(const Samples& s, double gain) {
  std::string b;
  auto u32 = [&](std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b += static_cast<char>((v >> (8 * i)) & 0xFF);
  };
  auto u16 = [&](std::uint16_t v) {
    b += static_cast<char>(v & 0xFF);
    b += static_cast<char>(v >> 8);
  };
  const std::uint32_t data = static_cast<std::uint32_t>(s.size() * 2);
  b += "RIFF";
  u32(36 + data);
  b += "WAVEfmt ";
  u32(16);
  u16(1);
  u16(1);
  u32(kRate);
  u32(kRate * 2);
  u16(2);
  u16(16);
  b += "data";
  u32(data);
  for (double v : s) {
    const long q = std::lround(std::clamp(v * gain, -1.0, 1.0) * 32767);
    u16(static_cast<std::uint16_t>(static_cast<std::int16_t>(q)));
  }
  return b;
}

// The 16-bit mono samples of a WAV file (espeak-ng writes 22050 Hz mono).
Samples wavSamples(const std::string& bytes) {
  Samples s;
  std::size_t pos = 12;
  while (pos + 8 <= bytes.size()) {
    const std::string id = bytes.substr(pos, 4);
    std::uint32_t size = 0;
    for (int i = 0; i < 4; ++i)
      size |= static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[pos + 4 + i])) << (8 * i);
    pos += 8;
    if (id == "data") {
      const std::size_t end = std::min<std::size_t>(bytes.size(), pos + size);
      for (std::size_t i = pos; i + 1 < end; i += 2) {
        const auto v = static_cast<std::int16_t>(static_cast<unsigned char>(bytes[i]) |
                                                 (static_cast<unsigned char>(bytes[i + 1]) << 8));
        s.push_back(v / 32768.0);
      }
      break;
    }
    pos += size + (size & 1);
  }
  return s;
}

// Speaks `kana` in Japanese with espeak-ng.
Samples speak(const std::string& kana, int speed) {
  char tmpl[] = "/tmp/dravolin-speech-XXXXXX";
  const int fd = ::mkstemp(tmpl);
  if (fd < 0) throw std::runtime_error("cannot make a temporary file");
  ::close(fd);
  std::string quotedText = "'";
  for (char c : kana) quotedText += c == '\'' ? std::string("'\\''") : std::string(1, c);
  quotedText += "'";
  const std::string cmd =
      "espeak-ng -v ja -s " + std::to_string(speed) + " -p 45 -w " + tmpl + " " + quotedText;
  const int rc = std::system(cmd.c_str());
  std::ifstream f(tmpl, std::ios::binary);
  std::stringstream ss;
  ss << f.rdbuf();
  std::remove(tmpl);
  if (rc != 0) throw std::runtime_error("espeak-ng failed (is it installed?): " + kana);
  return wavSamples(ss.str());
}

Samples chime() {
  Samples s = silence(0.2);
  add(s, tone(0.9, 784, 0.35, {1, 0.3, 0.1}), 0.0, 0.5);
  add(s, tone(1.0, 659, 0.4, {1, 0.3, 0.1}), 0.35, 0.5);
  return s;
}

// The running noise of speed band `band` (band * 10 to band * 10 + 9 km/h): a rumble that
// brightens with the speed and the rail joints under the bogies, brought to an RMS level that
// rises 1.8 dB a band, from -32 dBFS at a standstill to about -10 dBFS at 120 km/h.
Samples runningNoise(int band) {
  const double kmh = band * 10 + 5;
  const double rumbleCut = 120 + band * 60;
  double seconds = 3.0;
  const double period = band > 0 ? 25.0 / (kmh / 3.6) : 0;  // 25 m rails
  if (band > 0) seconds = std::max(1.0, std::round(3.0 / period)) * period;
  Samples s = noise(seconds + 0.2, rumbleCut, 100 + band);
  for (double& v : s) v *= 0.25;
  if (band > 0) {
    // Two bogies over each rail joint: "ta-tan, ta-tan".
    const Samples click = [&] {
      Samples c = noise(0.06, 1500, 7);
      for (std::size_t i = 0; i < c.size(); ++i) c[i] *= std::exp(-at(i) / 0.012);
      return c;
    }();
    const double bogie = 14.0 / (kmh / 3.6);
    for (double t = 0.1; t < seconds; t += period) {
      add(s, click, t, 0.35);
      if (t + bogie < seconds) add(s, click, t + bogie, 0.3);
    }
  }
  loopable(s, 0.2);
  double sum = 0;
  for (double v : s) sum += v * v;
  const double level = std::sqrt(sum / static_cast<double>(std::max<std::size_t>(s.size(), 1)));
  const double target = std::pow(10.0, (-32.0 + 1.8 * band) / 20.0);
  for (double& v : s) v *= target / std::max(level, 1e-9);
  return s;
}

// A motor's tone: integer cycles per loop keep the loop seamless.
Samples motorTone(double freq, std::initializer_list<double> harmonics, double seconds,
                  double buzz) {
  const double f = std::round(freq * seconds) / seconds;
  Samples s = tone(seconds, f, 0, harmonics);
  const Samples n = noise(seconds, 3000, 11);
  for (std::size_t i = 0; i < s.size(); ++i) s[i] = s[i] * 0.5 + n[i] * buzz;
  return s;
}

Samples departureMelody() {
  // A short bright tune in C major, bells over a soft chord.
  const double notes[][2] = {{0, 659},    {0.25, 784}, {0.5, 1047}, {0.75, 988}, {1.0, 784},
                             {1.5, 880},  {1.75, 988}, {2.0, 1047}, {2.5, 784},  {3.0, 659},
                             {3.25, 698}, {3.5, 784},  {4.0, 880},  {4.25, 784}, {4.5, 698},
                             {4.75, 659}, {5.0, 587},  {5.5, 659},  {6.0, 523}};
  Samples s = silence(7.5);
  for (const auto& n : notes)
    add(s, tone(1.2, n[1], 0.35, {1, 0.25, 0.12}, 1.01), n[0] + 0.2, 0.28);
  for (double root : {262.0, 330.0, 392.0}) add(s, tone(7.0, root, 3.0, {1, 0.2}), 0.2, 0.07);
  envelope(s, 0.01, 0.6);
  return s;
}

void put(const Output& out, const std::string& name, const Samples& s, double gain = 0.8) {
  if (out.wants(name)) out.writeBytes(name, wavBytes(s, gain));
}

void putSpoken(const Output& out, const std::string& name, const std::string& kana,
               bool withChime) {
  if (out.fast() || !out.wants(name)) return;
  Samples s = withChime ? chime() : Samples{};
  Samples voice = speak(kana, withChime ? 150 : 175);
  // espeak-ng speaks softly: bring the voice to the chime's level, then the whole to a peak of
  // 0.4, which is heard over the running noise and leaves the mix at speed below full scale.
  double peak = 1e-6;
  for (double v : voice) peak = std::max(peak, std::abs(v));
  add(s, voice, withChime ? at(s.size()) : 0.0, 0.9 / peak);
  peak = 1e-6;
  for (double v : s) peak = std::max(peak, std::abs(v));
  for (double& v : s) v *= 0.4 / peak;
  put(out, name, s, 1.0);
}

}  // namespace

std::vector<short> openingTune() {
  Samples s = departureMelody();
  s.resize(8 * kRate, 0.0);
  std::vector<short> pcm;
  for (double v : s)
    pcm.push_back(static_cast<short>(std::lround(std::clamp(v * 0.8, -1.0, 1.0) * 32767)));
  return pcm;
}

void writeSounds(const Plan& plan, const Output& out) {
  for (bool e231 : {true, false}) {
    const std::vector<std::string> names = driveSounds(e231);
    for (int b = 0; b <= 12; ++b) put(out, names[b], runningNoise(b), 0.9);
    Samples release = hiss(1.3, e231 ? 21 : 22);
    envelope(release, 0.02, 1.0);
    put(out, names[kBrakeRelease], release, 0.5);
    Samples apply = hiss(0.5, 23);
    envelope(apply, 0.01, 0.4);
    put(out, names[kBrakeApply], apply, 0.35);
    Samples eb = hiss(2.4, 24);
    envelope(eb, 0.01, 1.6);
    put(out, names[kEmergency], eb, 0.9);
    Samples squeal = tone(1.0, 2800, 0, {1, 0.3});
    for (std::size_t i = 0; i < squeal.size(); ++i)
      squeal[i] *= 0.6 + 0.4 * std::sin(2 * M_PI * 5 * at(i));
    put(out, names[kSqueal], squeal, 0.25);
    Samples cpStart = motorTone(70, {1, 0.6, 0.3}, 0.8, 0.2);
    envelope(cpStart, 0.6, 0.01);
    put(out, names[kCpStart], cpStart, 0.5);
    Samples cpLoop = motorTone(70, {1, 0.6, 0.3}, 1.0, 0.2);
    for (std::size_t i = 0; i < cpLoop.size(); ++i)
      cpLoop[i] *= 0.7 + 0.3 * std::sin(2 * M_PI * 12 * at(i));
    put(out, names[kCpLoop], cpLoop, 0.5);
    Samples cpEnd = motorTone(70, {1, 0.6, 0.3}, 1.0, 0.2);
    envelope(cpEnd, 0.01, 0.9);
    add(cpEnd, hiss(0.6, 25), 0.3, 0.2);
    put(out, names[kCpEnd], cpEnd, 0.5);
    Samples open = hiss(0.7, 26);
    envelope(open, 0.02, 0.5);
    add(open, tone(0.3, 70, 0.08, {1, 0.5}), 0.6, 0.8);
    put(out, names[kDoorOpen], open, 0.6);
    Samples close = e231 ? chime() : Samples{};
    add(close, hiss(0.6, 27), at(close.size()), 0.4);
    add(close, tone(0.3, 65, 0.08, {1, 0.5}), at(close.size()) - 0.1, 0.9);
    put(out, names[kDoorClose], close, 0.6);
    Samples horn1 = tone(1.2, e231 ? 660 : 587, 0, {1, 0.5, 0.35, 0.2});
    add(horn1, tone(1.2, e231 ? 830 : 740, 0, {1, 0.5, 0.35, 0.2}), 0, 0.8);
    envelope(horn1, 0.05, 0.15);
    put(out, names[kHorn1], horn1, 0.35);
    Samples horn2 = silence(0);
    for (int i = 0; i < 4; ++i)
      add(horn2, tone(0.2, i % 2 ? 880 : 1100, 0, {1, 0.3}), i * 0.2, 1.0);
    envelope(horn2, 0.02, 0.05);
    put(out, names[kHorn2], horn2, 0.45);
    Samples stop = noise(1.6, 400, 28);
    add(stop, tone(1.6, 1900, 0, {1, 0.2}), 0, 0.25);
    loopable(stop, 0.2);
    put(out, names[kStopSound], stop, 0.35);
    const std::string dir = e231 ? "sound\\e231\\" : "sound\\205\\";
    if (e231) {
      put(out, dir + "motor_low.wav", motorTone(420, {1, 0.4, 0.2, 0.1}, 1.0, 0.15), 0.45);
      put(out, dir + "motor_high.wav", motorTone(650, {1, 0.3, 0.15}, 1.0, 0.2), 0.4);
    } else {
      put(out, dir + "motor.wav", motorTone(150, {1, 0.7, 0.5, 0.35, 0.2, 0.1}, 1.0, 0.25), 0.38);
      Samples fan = noise(1.2, 1800, 29);
      loopable(fan, 0.2);
      put(out, dir + "fan.wav", fan, 0.3);
    }
  }
  Samples bell = silence(0);
  for (int i = 0; i < 16; ++i) add(bell, tone(0.08, 2100, 0.02, {1, 0.5}, 1.37), i / 16.0, 1.0);
  bell.resize(kRate);
  put(out, "sound\\common\\ats_bell.wav", bell, 0.5);
  Samples atsChime = tone(0.6, 988, 0.25, {1, 0.2});
  add(atsChime, tone(0.6, 784, 0.25, {1, 0.2}), 0.6, 1.0);
  put(out, "sound\\common\\ats_chime.wav", atsChime, 0.5);
  put(out, "sound\\common\\atc_chime.wav", tone(0.5, 1568, 0.15, {1, 0.2}), 0.5);
  Samples buzzer = tone(1.0, 400, 0, {1, 0, 0.33, 0, 0.2});
  put(out, "sound\\common\\eb_buzzer.wav", buzzer, 0.3);

  put(out, "sound\\line\\melody.wav", departureMelody(), 0.8);
  Samples crossing = silence(0);
  for (int i = 0; i < 2; ++i)
    add(crossing, tone(0.5, 760, 0.12, {1, 0.6, 0.3}, 1.19), i * 0.5, 1.0);
  crossing.resize(kRate);
  put(out, "sound\\line\\crossing.wav", crossing, 0.5);
  Samples passing = runningNoise(9);
  for (double& v : passing) v *= 1.2;
  put(out, "sound\\line\\passing.wav", passing, 0.8);

  for (const LineSound& c : callOuts()) putSpoken(out, c.file, c.kana, false);
  for (const LineSound& c : otherIndications()) putSpoken(out, c.file, c.kana, false);
  for (bool rapid : {true, false}) {
    const auto sounds = lineSounds(plan, rapid);
    for (std::size_t i = 3; i < sounds.size(); ++i)
      putSpoken(out, sounds[i].file, sounds[i].kana, true);
  }
}

}  // namespace dravolin::demo
