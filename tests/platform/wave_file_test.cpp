#include "platform/wave_file.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <limits>

#include <unistd.h>

#include "fixtures/wave_bytes.h"

namespace dravolin::testing {
namespace {

using platform::parseWave;
using platform::SampleType;
using platform::Wave;

Wave parse(const std::vector<std::uint8_t>& bytes) {
  return parseWave(std::as_bytes(std::span(bytes)));
}

std::vector<std::uint8_t> raw(std::initializer_list<unsigned> values) {
  std::vector<std::uint8_t> out;
  for (unsigned v : values) out.push_back(static_cast<std::uint8_t>(v));
  return out;
}

float floatAt(const Wave& w, std::size_t i) {
  float f = 0;
  std::memcpy(&f, w.samples.data() + i * sizeof(float), sizeof(float));
  return f;
}

RiffChunk fmt(unsigned tag, unsigned channels, std::uint32_t rate, unsigned bits) {
  return {"fmt ", formatBody(tag, channels, rate, bits)};
}

struct Accepted {
  const char* name;
  std::vector<std::uint8_t> bytes;
  SampleType type;
  int channels;
  int rateHz;
  std::int64_t frames;
  std::vector<std::uint8_t> samples;  // expected sample bytes (8/16-bit kept as they are)
};

TEST(WaveFile, KeepsEightAndSixteenBitSamplesAsTheyAreAndFindsChunksAnywhere) {
  const std::vector<std::uint8_t> mono8 = raw({0x80, 0xFF, 0x00});
  const std::vector<std::uint8_t> stereo16 = pcm16({1000, -1000, 32767, -32768});
  const std::vector<Accepted> cases = {
      {"8-bit mono", riffBytes({fmt(1, 1, 11025, 8), {"data", mono8}}), SampleType::Unsigned8, 1,
       11025, 3, mono8},
      {"16-bit stereo", riffBytes({fmt(1, 2, 44100, 16), {"data", stereo16}}), SampleType::Signed16,
       2, 44100, 2, stereo16},
      {"data before fmt", riffBytes({{"data", mono8}, fmt(1, 1, 8000, 8)}), SampleType::Unsigned8,
       1, 8000, 3, mono8},
      {"odd LIST chunk with pad byte before fmt",
       riffBytes({{"LIST", raw({1, 2, 3})}, fmt(1, 1, 22050, 8), {"data", mono8}}),
       SampleType::Unsigned8, 1, 22050, 3, mono8},
      {"18-byte fmt with extra size field",
       riffBytes({{"fmt ",
                   [] {
                     auto b = formatBody(1, 1, 22050, 16);
                     putU16(b, 0);
                     return b;
                   }()},
                  {"data", pcm16({5, 6})}}),
       SampleType::Signed16, 1, 22050, 2, pcm16({5, 6})},
      {"extensible 16-bit PCM",
       riffBytes({{"fmt ", extensibleFormatBody(1, 2, 48000, 16)}, {"data", stereo16}}),
       SampleType::Signed16, 2, 48000, 2, stereo16},
      {"trailing partial frame dropped",
       riffBytes({fmt(1, 2, 22050, 16), {"data", raw({1, 0, 2, 0, 3, 0, 4})}}),
       SampleType::Signed16, 2, 22050, 1, raw({1, 0, 2, 0})},
      {"only the first data chunk counts",
       riffBytes({fmt(1, 1, 22050, 8), {"data", raw({7})}, {"data", raw({8, 9})}}),
       SampleType::Unsigned8, 1, 22050, 1, raw({7})},
      {"RIFF size of zero",
       [&] {
         auto b = riffBytes({fmt(1, 1, 22050, 8), {"data", mono8}});
         b[4] = b[5] = b[6] = b[7] = 0;
         return b;
       }(),
       SampleType::Unsigned8, 1, 22050, 3, mono8},
      {"junk after the RIFF chunk",
       [&] {
         auto b = riffBytes({fmt(1, 1, 22050, 8), {"data", mono8}});
         b.insert(b.end(), {'T', 'A', 'G', 1, 2});
         return b;
       }(),
       SampleType::Unsigned8, 1, 22050, 3, mono8},
  };
  for (const Accepted& c : cases) {
    SCOPED_TRACE(c.name);
    const Wave w = parse(c.bytes);
    ASSERT_FALSE(w.empty());
    EXPECT_EQ(w.type, c.type);
    EXPECT_EQ(w.channels, c.channels);
    EXPECT_EQ(w.rateHz, c.rateHz);
    EXPECT_EQ(w.frames(), c.frames);
    const auto* p = reinterpret_cast<const std::uint8_t*>(w.samples.data());
    EXPECT_EQ(std::vector<std::uint8_t>(p, p + w.samples.size()), c.samples);
  }
}

TEST(WaveFile, ConvertsWiderAndFloatSamplesToFloat) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  std::vector<std::uint8_t> f32;
  for (float v : {0.25f, -0.5f, 2.0f, nan}) {
    std::uint32_t u = 0;
    std::memcpy(&u, &v, 4);
    putU32(f32, u);
  }
  std::vector<std::uint8_t> f64;
  for (double v : {0.125, -1.5}) {
    std::uint64_t u = 0;
    std::memcpy(&u, &v, 8);
    putU32(f64, static_cast<std::uint32_t>(u));
    putU32(f64, static_cast<std::uint32_t>(u >> 32));
  }
  struct Case {
    const char* name;
    std::vector<std::uint8_t> bytes;
    std::vector<float> expected;
  };
  const std::vector<Case> cases = {
      {"24-bit",
       riffBytes({fmt(1, 1, 22050, 24),
                  {"data", raw({0xFF, 0xFF, 0x7F, 0x00, 0x00, 0x80, 0x00, 0x00, 0xC0})}}),
       {8388607.0f / 8388608.0f, -1.0f, -0.5f}},
      {"32-bit",
       riffBytes({fmt(1, 1, 22050, 32), {"data", raw({0, 0, 0, 0x40, 0, 0, 0, 0x80})}}),
       {0.5f, -1.0f}},
      {"float 32, clamped, not-a-number silenced",
       riffBytes({fmt(3, 2, 22050, 32), {"data", f32}}),
       {0.25f, -0.5f, 1.0f, 0.0f}},
      {"float 64", riffBytes({fmt(3, 1, 22050, 64), {"data", f64}}), {0.125f, -1.0f}},
      {"extensible float 32",
       riffBytes({{"fmt ", extensibleFormatBody(3, 2, 22050, 32)}, {"data", f32}}),
       {0.25f, -0.5f, 1.0f, 0.0f}},
      {"extensible 24-bit",
       riffBytes(
           {{"fmt ", extensibleFormatBody(1, 1, 22050, 24)}, {"data", raw({0x00, 0x00, 0x40})}}),
       {0.5f}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Wave w = parse(c.bytes);
    ASSERT_EQ(w.type, SampleType::Float32);
    ASSERT_EQ(w.samples.size(), c.expected.size() * sizeof(float));
    for (std::size_t i = 0; i < c.expected.size(); ++i) {
      EXPECT_EQ(floatAt(w, i), c.expected[i]) << "sample " << i;
    }
  }
}

TEST(WaveFile, AnythingMissingShortOrUnplayableGivesAnEmptyWave) {
  const std::vector<std::uint8_t> data = pcm16({1, 2, 3, 4});
  const RiffChunk good = fmt(1, 1, 22050, 16);
  auto fmtWith = [](auto edit) {
    RiffChunk c = fmt(1, 1, 22050, 16);
    edit(c.body);
    return c;
  };
  struct Case {
    const char* name;
    std::vector<std::uint8_t> bytes;
  };
  const std::vector<Case> cases = {
      {"no bytes", {}},
      {"header only", raw({'R', 'I', 'F', 'F', 4, 0, 0, 0, 'W', 'A', 'V'})},
      {"not RIFF", [&] {
         auto b = riffBytes({good, {"data", data}});
         b[0] = 'X';
         return b;
       }()},
      {"not WAVE", riffBytes({good, {"data", data}}, "AVI ")},
      {"no fmt", riffBytes({{"data", data}})},
      {"no data", riffBytes({good})},
      {"fmt of 14 bytes", riffBytes({{"fmt ", raw({1, 0, 1, 0, 0x22, 0x56, 0, 0, 0, 0, 0, 0, 2, 0})},
                                     {"data", data}})},
      {"data longer than the file", riffBytes({good, {"data", data, 1000}})},
      {"data size of 0xFFFFFFFF", riffBytes({good, {"data", data, 0xFFFFFFFF}})},
      {"chunk before fmt running past the end",
       riffBytes({{"LIST", raw({1, 2}), 0x7FFFFFF0}, good, {"data", data}})},
      {"empty data", riffBytes({good, {"data", {}}})},
      {"data smaller than one frame", riffBytes({fmt(1, 2, 22050, 16), {"data", raw({1, 2, 3})}})},
      {"no channels", riffBytes({fmt(1, 0, 22050, 16), {"data", data}})},
      {"three channels", riffBytes({fmt(1, 3, 22050, 16), {"data", data}})},
      {"rate 0", riffBytes({fmt(1, 1, 0, 16), {"data", data}})},
      {"rate above 768 kHz", riffBytes({fmt(1, 1, 768001, 16), {"data", data}})},
      {"12-bit PCM", riffBytes({fmt(1, 1, 22050, 12), {"data", data}})},
      {"16-bit float", riffBytes({fmt(3, 1, 22050, 16), {"data", data}})},
      {"ADPCM", riffBytes({fmt(2, 1, 22050, 4), {"data", data}})},
      {"mu-law", riffBytes({fmt(7, 1, 8000, 8), {"data", data}})},
      {"extensible fmt cut at 18 bytes",
       riffBytes({fmtWith([](auto& b) { b[0] = 0xFE, b[1] = 0xFF, putU16(b, 22); }),
                  {"data", data}})},
      {"extensible with a foreign sub-format", [&] {
         auto body = extensibleFormatBody(1, 1, 22050, 16);
         body.back() = 0x72;
         return riffBytes({{"fmt ", body}, {"data", data}});
       }()},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Wave w = parse(c.bytes);
    EXPECT_TRUE(w.empty());
    EXPECT_EQ(w.frames(), 0);
  }
}

TEST(WaveFile, ReadsFilesAndGivesAnEmptyWaveForMissingOnes) {
  const auto dir = std::filesystem::temp_directory_path() /
                   ("dravolin_wave_file_test_" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const std::string good = (dir / "tone.wav").string();
  writeFile(good, wav16({100, -100, 200}, 22050));

  const Wave w = platform::readWaveFile(good);
  EXPECT_EQ(w.frames(), 3);
  EXPECT_EQ(w.rateHz, 22050);
  EXPECT_TRUE(platform::readWaveFile((dir / "missing.wav").string()).empty());
  EXPECT_TRUE(platform::readWaveFile(dir.string()).empty());  // a folder, not a file
  EXPECT_TRUE(platform::readWaveFile("").empty());
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace dravolin::testing
