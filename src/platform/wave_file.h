// RIFF "WAVE" reading for the sound service: turns the bytes of a WAV file into the sample data
// of one wave. Pure C++ with no audio library, so any byte string can be fed to it.
//
// What is accepted:
// - a "RIFF" header with the form type "WAVE", then chunks (four-character id, 32-bit
//   little-endian size, data padded to an even length), in any order; the first "fmt " and the
//   first "data" chunk count, every other chunk is skipped;
// - a "fmt " chunk of at least 16 bytes, read whole: integer PCM of 8 bits (unsigned) or 16 bits
//   (signed), kept as they are; integer PCM of 24 or 32 bits and IEEE float of 32 or 64 bits,
//   converted to 32-bit float; also in the extensible layout (tag 0xFFFE) with a PCM or float
//   sub-format; one or two channels;
// - a "data" chunk whose bytes become the samples (a trailing partial frame is dropped).
// Anything else gives an empty wave: no "RIFF"/"WAVE", a missing chunk, a short format chunk, a
// chunk running past the end of the bytes, a compressed or unknown format, more than two
// channels, a sample rate outside 1..768000 Hz, or no whole frame of samples.
// The reader never reads past the bytes it is given and allocates nothing that the file merely
// claims: every size is checked against the bytes actually present first.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace dravolin::platform {

// How the samples of a wave are stored, interleaved frame by frame.
enum class SampleType {
  Unsigned8,  // 0..255, silence at 128
  Signed16,   // little-endian, silence at 0
  Float32,    // native float, -1.0..1.0, silence at 0
};

struct Wave {
  SampleType type = SampleType::Signed16;
  int channels = 0;                // 1 (mono) or 2 (stereo, left first); 0 for an empty wave
  int rateHz = 0;                  // the base rate: frames per second as recorded in the file
  std::vector<std::byte> samples;  // whole frames only; empty for an empty wave

  bool empty() const { return samples.empty(); }
  int bytesPerSample() const;
  int frameBytes() const { return bytesPerSample() * channels; }
  // Number of frames (samples per channel).
  std::int64_t frames() const;
};

// The largest WAV file the sound service reads from disk, in bytes (larger files give an empty
// wave). A sound of the cab is seconds long; this is about 25 minutes of CD-quality stereo.
inline constexpr std::int64_t kMaxWaveFileBytes = 256LL * 1024 * 1024;

// Parses the bytes of a WAV file. Returns an empty wave when they do not hold a usable one.
Wave parseWave(std::span<const std::byte> bytes);

// Reads and parses a WAV file. A missing or unreadable file, or one larger than
// kMaxWaveFileBytes, gives an empty wave.
Wave readWaveFile(const std::string& path);

}  // namespace dravolin::platform
