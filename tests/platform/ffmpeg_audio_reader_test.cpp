// The sound track of a movie: every sample format the decoders give becomes 16-bit samples at
// the stream's rate, with the sine's level and length kept.
#include "platform/ffmpeg_audio_reader.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include "fixtures/numbered_video.h"

namespace dravolin::testing {
namespace {

// Peak of the first channel's samples, 0 .. 1.
double peak(const platform::Wave& w) {
  double p = 0;
  for (std::size_t i = 0; i + 1 < w.samples.size(); i += 2 * static_cast<std::size_t>(w.channels)) {
    const auto v = static_cast<std::int16_t>(std::to_integer<int>(w.samples[i]) |
                                             (std::to_integer<int>(w.samples[i + 1]) << 8));
    p = std::max(p, std::abs(v / 32768.0));
  }
  return p;
}

TEST(FfmpegAudioReader, DecodesEverySampleFormatTo16Bits) {
  struct Case {
    const char* file;
    const char* audio;  // ffmpeg output options of the sound
    int channels;
    int rate;
    double level;  // peak: ffmpeg's sine is at 1/8, spread to two channels at -3 dB each
  };
  const Case cases[] = {
      {"u8.avi", "-c:a pcm_u8 -ac 2 -ar 22050", 2, 22050, 0.0884},
      {"s16.avi", "-c:a pcm_s16le -ac 1 -ar 11025", 1, 11025, 0.125},
      {"mp2.avi", "-c:a mp2 -ac 2 -ar 44100", 2, 44100, 0.0884},  // decoded as planar samples
      {"f32.mkv", "-c:a pcm_f32le -ac 1 -ar 8000", 1, 8000, 0.125},
  };
  TemporaryFolder dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    const std::string path = dir.file(c.file);
    const std::string command =
        std::string(
            "ffmpeg -nostdin -loglevel error -y -f lavfi -i testsrc=size=64x32:rate=15:"
            "duration=1 -f lavfi -i sine=frequency=440:sample_rate=") +
        std::to_string(c.rate) + ":duration=1 -c:v mjpeg " + c.audio + " '" + path + "'";
    ASSERT_EQ(std::system(command.c_str()), 0);
    const auto wave = platform::readAudioTrack(path);
    ASSERT_TRUE(wave.has_value());
    EXPECT_EQ(wave->channels, c.channels);
    EXPECT_EQ(wave->rateHz, c.rate);
    EXPECT_EQ(wave->type, platform::SampleType::Signed16);
    // One second of sound (an encoder may pad a frame) at the sine's level.
    EXPECT_NEAR(static_cast<double>(wave->frames()), c.rate, c.rate * 0.06);
    EXPECT_NEAR(peak(*wave), c.level, 0.01);
  }
}

TEST(FfmpegAudioReader, NoSoundNoFileNoWave) {
  TemporaryFolder dir;
  ASSERT_TRUE(writeNumberedVideo(dir.file("silent.avi"), 32, 32, 3, "-c:v mjpeg"));
  EXPECT_FALSE(platform::readAudioTrack(dir.file("silent.avi")).has_value());
  EXPECT_FALSE(platform::readAudioTrack(dir.file("missing.avi")).has_value());
}

}  // namespace
}  // namespace dravolin::testing
