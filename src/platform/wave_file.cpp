#include "platform/wave_file.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <optional>
#include <vector>

#include "platform/whole_file.h"

namespace dravolin::platform {
namespace {

using Bytes = std::span<const std::byte>;

constexpr std::uint16_t kTagPcm = 0x0001;
constexpr std::uint16_t kTagFloat = 0x0003;
constexpr std::uint16_t kTagExtensible = 0xFFFE;
constexpr std::uint32_t kMaxRateHz = 768000;

// The fixed tail of the sub-format identifier of the extensible layout (everything after the
// 16-bit format tag that leads it).
constexpr unsigned char kSubFormatTail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                              0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

// Little-endian reads; the caller has checked that the bytes are there.
std::uint16_t u16(Bytes b, std::size_t at) {
  return static_cast<std::uint16_t>(std::to_integer<unsigned>(b[at]) |
                                    std::to_integer<unsigned>(b[at + 1]) << 8);
}
std::uint32_t u32(Bytes b, std::size_t at) {
  return static_cast<std::uint32_t>(u16(b, at)) | static_cast<std::uint32_t>(u16(b, at + 2)) << 16;
}
std::uint64_t u64(Bytes b, std::size_t at) {
  return static_cast<std::uint64_t>(u32(b, at)) | static_cast<std::uint64_t>(u32(b, at + 4)) << 32;
}
bool idIs(Bytes b, std::size_t at, const char (&id)[5]) {
  return std::memcmp(b.data() + at, id, 4) == 0;
}

// What the format chunk says, reduced to what the samples need.
struct SourceFormat {
  enum class Encoding { Pcm, Float } encoding = Encoding::Pcm;
  int channels = 0;
  int rateHz = 0;
  int bits = 0;  // container bits per sample
};

std::optional<SourceFormat> readFormat(Bytes fmt) {
  if (fmt.size() < 16) {
    return std::nullopt;
  }
  std::uint16_t tag = u16(fmt, 0);
  const std::uint16_t channels = u16(fmt, 2);
  const std::uint32_t rate = u32(fmt, 4);
  const std::uint16_t bits = u16(fmt, 14);
  if (tag == kTagExtensible) {
    // cbSize(16) validBits(18) channelMask(20) subFormat(24..39)
    if (fmt.size() < 40 || std::memcmp(fmt.data() + 26, kSubFormatTail, 14) != 0) {
      return std::nullopt;
    }
    tag = u16(fmt, 24);
  }
  if (channels < 1 || channels > 2 || rate < 1 || rate > kMaxRateHz) {
    return std::nullopt;
  }
  SourceFormat f;
  f.channels = channels;
  f.rateHz = static_cast<int>(rate);
  f.bits = bits;
  if (tag == kTagPcm && (bits == 8 || bits == 16 || bits == 24 || bits == 32)) {
    f.encoding = SourceFormat::Encoding::Pcm;
  } else if (tag == kTagFloat && (bits == 32 || bits == 64)) {
    f.encoding = SourceFormat::Encoding::Float;
  } else {
    return std::nullopt;
  }
  return f;
}

// One sample of a format that is converted to float, as a float in -1..1. Samples that are not
// finite become silence, so one broken sample cannot spoil the whole mix.
float convertedSample(const SourceFormat& f, Bytes b, std::size_t at) {
  double v = 0.0;
  if (f.encoding == SourceFormat::Encoding::Pcm && f.bits == 24) {
    std::uint32_t raw =
        static_cast<std::uint32_t>(u16(b, at)) | std::to_integer<std::uint32_t>(b[at + 2]) << 16;
    v = static_cast<double>(static_cast<std::int32_t>(raw << 8) >> 8) / 8388608.0;
  } else if (f.encoding == SourceFormat::Encoding::Pcm) {
    v = static_cast<double>(static_cast<std::int32_t>(u32(b, at))) / 2147483648.0;
  } else if (f.bits == 32) {
    v = std::bit_cast<float>(u32(b, at));
  } else {
    v = std::bit_cast<double>(u64(b, at));
  }
  if (!std::isfinite(v)) {
    return 0.0f;
  }
  return static_cast<float>(std::clamp(v, -1.0, 1.0));
}

Wave makeWave(const SourceFormat& f, Bytes data) {
  const std::size_t inSampleBytes = static_cast<std::size_t>(f.bits / 8);
  const std::size_t inFrameBytes = inSampleBytes * static_cast<std::size_t>(f.channels);
  const std::size_t frames = data.size() / inFrameBytes;
  if (frames == 0) {
    return {};
  }
  Wave w;
  w.channels = f.channels;
  w.rateHz = f.rateHz;
  if (f.encoding == SourceFormat::Encoding::Pcm && f.bits <= 16) {
    w.type = f.bits == 8 ? SampleType::Unsigned8 : SampleType::Signed16;
    w.samples.assign(data.begin(),
                     data.begin() + static_cast<std::ptrdiff_t>(frames * inFrameBytes));
    return w;
  }
  w.type = SampleType::Float32;
  const std::size_t count = frames * static_cast<std::size_t>(f.channels);
  w.samples.resize(count * sizeof(float));
  for (std::size_t i = 0; i < count; ++i) {
    const float s = convertedSample(f, data, i * inSampleBytes);
    std::memcpy(w.samples.data() + i * sizeof(float), &s, sizeof(float));
  }
  return w;
}

}  // namespace

int Wave::bytesPerSample() const {
  switch (type) {
    case SampleType::Unsigned8:
      return 1;
    case SampleType::Signed16:
      return 2;
    case SampleType::Float32:
      return 4;
  }
  return 1;
}

std::int64_t Wave::frames() const {
  const int frameSize = frameBytes();
  return frameSize > 0 ? static_cast<std::int64_t>(samples.size()) / frameSize : 0;
}

Wave parseWave(Bytes bytes) {
  if (bytes.size() < 12 || !idIs(bytes, 0, "RIFF") || !idIs(bytes, 8, "WAVE")) {
    return {};
  }
  // The size in the RIFF header is often wrong in files written by streaming tools, so the
  // chunks are walked up to the end of the bytes instead.
  std::optional<Bytes> fmt;
  std::optional<Bytes> data;
  std::size_t pos = 12;
  while (pos <= bytes.size() && bytes.size() - pos >= 8 && !(fmt && data)) {
    const std::size_t size = u32(bytes, pos + 4);
    const std::size_t body = pos + 8;
    const bool fits = size <= bytes.size() - body;
    const bool isFmt = !fmt && idIs(bytes, pos, "fmt ");
    const bool isData = !data && idIs(bytes, pos, "data");
    if (!fits) {
      // A chunk that runs past the end: short if it is one we need, and nothing after it can be
      // found either way.
      break;
    }
    if (isFmt) {
      fmt = bytes.subspan(body, size);
    } else if (isData) {
      data = bytes.subspan(body, size);
    }
    pos = body + size + (size & 1);
  }
  if (!fmt || !data) {
    return {};
  }
  const std::optional<SourceFormat> format = readFormat(*fmt);
  if (!format) {
    return {};
  }
  return makeWave(*format, *data);
}

Wave readWaveFile(const std::string& path) {
  std::vector<std::byte> bytes;
  if (readWholeFile(path.c_str(), static_cast<std::uintmax_t>(kMaxWaveFileBytes), bytes) !=
      WholeFileRead::Ok) {
    return {};
  }
  return parseWave(bytes);
}

}  // namespace dravolin::platform
