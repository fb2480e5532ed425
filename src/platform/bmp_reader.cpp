// Windows BMP decoding.
//
// Sections:
//   1. Bounded little-endian reads
//   2. Header: file header, the three kinds of info header, bit masks, palette, pixel offset
//   3. Uncompressed rows (1, 4, 8, 16, 24, 32 bits)
//   4. RLE8 and RLE4
//   5. decodeBmp
#include "platform/bmp_reader.h"

#include <array>
#include <bit>
#include <cstddef>
#include <cstring>
#include <limits>
#include <vector>

namespace dravolin::platform {
namespace {

constexpr std::uint32_t kOpaque = 0xFF000000u;
constexpr std::uint32_t kBlack = kOpaque;

// Compression codes of the info header.
constexpr std::uint32_t kBiRgb = 0;
constexpr std::uint32_t kBiRle8 = 1;
constexpr std::uint32_t kBiRle4 = 2;
constexpr std::uint32_t kBiBitfields = 3;
constexpr std::uint32_t kBiAlphaBitfields = 6;

constexpr std::size_t kFileHeaderSize = 14;
constexpr std::uint32_t kCoreHeaderSize = 12;
constexpr std::uint32_t kInfoHeaderSize = 40;

// ---------------------------------------------------------------------------------------------
// 1. Bounded little-endian reads
// ---------------------------------------------------------------------------------------------

class Bytes {
 public:
  explicit Bytes(std::span<const std::uint8_t> data) : data_(data) {}
  std::size_t size() const { return data_.size(); }
  // True when [offset, offset + length) lies inside the data.
  bool has(std::size_t offset, std::size_t length) const {
    return offset <= data_.size() && length <= data_.size() - offset;
  }
  std::uint8_t u8(std::size_t offset) const { return data_[offset]; }
  std::uint16_t u16(std::size_t offset) const {
    return static_cast<std::uint16_t>(data_[offset] | (data_[offset + 1] << 8));
  }
  std::uint32_t u32(std::size_t offset) const {
    return static_cast<std::uint32_t>(data_[offset]) |
           (static_cast<std::uint32_t>(data_[offset + 1]) << 8) |
           (static_cast<std::uint32_t>(data_[offset + 2]) << 16) |
           (static_cast<std::uint32_t>(data_[offset + 3]) << 24);
  }
  std::int32_t i32(std::size_t offset) const { return static_cast<std::int32_t>(u32(offset)); }
  const std::uint8_t* at(std::size_t offset) const { return data_.data() + offset; }

 private:
  std::span<const std::uint8_t> data_;
};

// ---------------------------------------------------------------------------------------------
// 2. Header
// ---------------------------------------------------------------------------------------------

// One colour channel given by a bit mask: the bits are shifted down and scaled to 0..255.
struct Channel {
  std::uint32_t mask = 0;
  int shift = 0;
  std::uint64_t max = 0;

  static Channel of(std::uint32_t mask) {
    Channel c;
    c.mask = mask;
    if (mask != 0) {
      c.shift = std::countr_zero(mask);
      c.max = mask >> c.shift;
    }
    return c;
  }
  std::uint32_t value(std::uint32_t pixel) const {
    if (max == 0) {
      return 0;
    }
    const std::uint64_t v = (pixel & mask) >> shift;
    return static_cast<std::uint32_t>((v * 255 + max / 2) / max);
  }
};

struct Header {
  int width = 0;
  int height = 0;  // always positive; topDown tells the row order
  bool topDown = false;
  int bitsPerPixel = 0;
  std::uint32_t compression = kBiRgb;
  std::array<Channel, 3> channels;  // red, green, blue (16 and 32 bits)
  std::vector<std::uint32_t> palette;
  std::size_t pixelOffset = 0;
};

bool validDepth(std::uint32_t compression, int bits, bool core) {
  switch (compression) {
    case kBiRgb:
      return bits == 1 || bits == 4 || bits == 8 || bits == 24 ||
             (!core && (bits == 16 || bits == 32));
    case kBiRle8:
      return bits == 8;
    case kBiRle4:
      return bits == 4;
    case kBiBitfields:
    case kBiAlphaBitfields:
      return bits == 16 || bits == 32;
    default:
      return false;
  }
}

std::optional<Header> readHeader(const Bytes& in) {
  if (!in.has(0, kFileHeaderSize + 4) || in.u8(0) != 'B' || in.u8(1) != 'M') {
    return std::nullopt;
  }
  const std::uint32_t dataOffset = in.u32(10);
  const std::uint32_t headerSize = in.u32(kFileHeaderSize);
  const bool core = headerSize == kCoreHeaderSize;
  const bool windows = headerSize == kInfoHeaderSize || headerSize == 52 || headerSize == 56 ||
                       headerSize == 108 || headerSize == 124;
  const bool os2v2 = !windows && headerSize >= 16 && headerSize <= 64;
  if ((!core && !windows && !os2v2) || !in.has(kFileHeaderSize, headerSize)) {
    return std::nullopt;
  }

  Header h;
  std::int64_t height = 0;
  std::uint32_t colorsUsed = 0;
  const std::size_t base = kFileHeaderSize;
  if (core) {
    h.width = in.u16(base + 4);
    height = in.u16(base + 6);
    h.bitsPerPixel = in.u16(base + 10);
  } else {
    h.width = in.i32(base + 4);
    height = in.i32(base + 8);
    h.bitsPerPixel = in.u16(base + 14);
    h.compression = headerSize >= 20 ? in.u32(base + 16) : kBiRgb;
    colorsUsed = headerSize >= 36 ? in.u32(base + 32) : 0;
    // OS/2 2.x uses 3 and 4 for its Huffman and RLE24 codings, which are not bit fields.
    if (os2v2 && h.compression > kBiRle4) {
      return std::nullopt;
    }
  }
  if (!validDepth(h.compression, h.bitsPerPixel, core)) {
    return std::nullopt;
  }
  if (height < 0) {
    h.topDown = true;
    height = -height;
  }
  if (h.width <= 0 || height <= 0 || h.width > kMaxPictureSide || height > kMaxPictureSide ||
      static_cast<std::int64_t>(h.width) * height > kMaxPicturePixels) {
    return std::nullopt;
  }
  h.height = static_cast<int>(height);

  // Bit masks: inside the header from the 52-byte header on, after the 40-byte header otherwise.
  std::size_t paletteOffset = base + headerSize;
  if (h.compression == kBiBitfields || h.compression == kBiAlphaBitfields) {
    std::size_t maskOffset = base + kInfoHeaderSize;
    if (headerSize == kInfoHeaderSize) {
      const std::size_t maskBytes = h.compression == kBiAlphaBitfields ? 16 : 12;
      if (!in.has(maskOffset, maskBytes)) {
        return std::nullopt;
      }
      paletteOffset += maskBytes;
    }
    for (std::size_t i = 0; i < 3; ++i) {
      h.channels[i] = Channel::of(in.u32(maskOffset + 4 * i));
    }
  } else if (h.bitsPerPixel == 16) {
    h.channels = {Channel::of(0x7C00), Channel::of(0x03E0), Channel::of(0x001F)};
  } else if (h.bitsPerPixel == 32) {
    h.channels = {Channel::of(0xFF0000), Channel::of(0xFF00), Channel::of(0xFF)};
  }

  // Palette: the number of colours used (all 2^bits when 0), never more than the pixel offset
  // leaves room for. Entries are blue, green, red (and a reserved byte except in the core header).
  std::size_t paletteEnd = paletteOffset;
  if (h.bitsPerPixel <= 8) {
    const std::size_t entrySize = core ? 3 : 4;
    std::size_t count = std::size_t{1} << h.bitsPerPixel;
    if (colorsUsed != 0 && colorsUsed < count) {
      count = colorsUsed;
    }
    if (dataOffset > paletteOffset) {
      count = std::min<std::size_t>(count, (dataOffset - paletteOffset) / entrySize);
    }
    if (!in.has(paletteOffset, count * entrySize)) {
      return std::nullopt;
    }
    h.palette.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
      const std::size_t e = paletteOffset + i * entrySize;
      h.palette.push_back(kOpaque | (std::uint32_t{in.u8(e + 2)} << 16) |
                          (std::uint32_t{in.u8(e + 1)} << 8) | in.u8(e));
    }
    paletteEnd = paletteOffset + count * entrySize;
  }
  // A pixel offset that points into the headers is broken; the pixels then follow the palette.
  h.pixelOffset = dataOffset >= base + headerSize ? dataOffset : paletteEnd;
  if (h.pixelOffset > in.size()) {
    return std::nullopt;
  }
  return h;
}

std::uint32_t paletteColor(const Header& h, unsigned index) {
  // An index past the palette shows black, as Windows draws it.
  return index < h.palette.size() ? h.palette[index] : kBlack;
}

// Pixel row `row` counted in file order, as an index into the top-down picture.
std::size_t rowStart(const Header& h, std::int64_t row) {
  const std::int64_t y = h.topDown ? row : h.height - 1 - row;
  return static_cast<std::size_t>(y) * static_cast<std::size_t>(h.width);
}

// ---------------------------------------------------------------------------------------------
// 3. Uncompressed rows
// ---------------------------------------------------------------------------------------------

std::uint64_t rowStride(const Header& h) {
  return (static_cast<std::uint64_t>(h.width) * h.bitsPerPixel + 31) / 32 * 4;
}

// Whether the data holds every row. The last row needs its pixels only, not the padding that
// some writers leave off.
bool rowsPresent(const Bytes& in, const Header& h) {
  const std::uint64_t rowBytes = (static_cast<std::uint64_t>(h.width) * h.bitsPerPixel + 7) / 8;
  return in.has(h.pixelOffset, rowStride(h) * static_cast<std::uint64_t>(h.height - 1) + rowBytes);
}

// Each depth has its own row loop, so the per-pixel work is only the conversion itself; indexed
// rows look their colours up in a full table of 2^depth entries (black past the palette).
bool decodeRows(const Bytes& in, const Header& h, std::vector<std::uint32_t>& out) {
  const std::uint64_t stride = rowStride(h);
  const int bits = h.bitsPerPixel;
  if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) return false;
  std::array<std::uint32_t, 256> table{};
  if (bits <= 8) {
    for (unsigned i = 0; i < (1u << bits); ++i) table[i] = paletteColor(h, i);
  }
  const std::size_t width = static_cast<std::size_t>(h.width);
  for (int row = 0; row < h.height; ++row) {
    const std::uint8_t* src = in.at(h.pixelOffset + stride * static_cast<std::uint64_t>(row));
    std::uint32_t* dst = out.data() + rowStart(h, row);
    switch (bits) {
      case 1:
        for (std::size_t x = 0; x < width; ++x) dst[x] = table[(src[x >> 3] >> (7 - (x & 7))) & 1u];
        break;
      case 4:
        for (std::size_t x = 0; x < width; ++x) {
          dst[x] = table[(x & 1) ? (src[x >> 1] & 0x0Fu) : (src[x >> 1] >> 4)];
        }
        break;
      case 8:
        for (std::size_t x = 0; x < width; ++x) dst[x] = table[src[x]];
        break;
      case 24: {
        // Blue, green, red: on a little-endian machine, four bytes read at a pixel are that
        // pixel with the next one's first byte on top, which the opaque alpha replaces. The
        // last pixel of a row has no next byte to read and is put together byte by byte.
        std::size_t x = 0;
        if constexpr (std::endian::native == std::endian::little) {
          for (; x + 1 < width; ++x) {
            std::uint32_t v;
            std::memcpy(&v, src + 3 * x, sizeof v);
            dst[x] = kOpaque | (v & 0x00FFFFFFu);
          }
        }
        for (; x < width; ++x) {
          const std::uint8_t* p = src + 3 * x;
          dst[x] = kOpaque | (std::uint32_t{p[2]} << 16) | (std::uint32_t{p[1]} << 8) | p[0];
        }
        break;
      }
      default:  // 16 and 32 bits, through the channel masks
        for (std::size_t x = 0; x < width; ++x) {
          std::uint32_t v = 0;
          if (bits == 16) {
            v = static_cast<std::uint32_t>(src[2 * x] | (src[2 * x + 1] << 8));
          } else {
            const std::uint8_t* p = src + 4 * x;
            v = static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
                (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
          }
          dst[x] = kOpaque | (h.channels[0].value(v) << 16) | (h.channels[1].value(v) << 8) |
                   h.channels[2].value(v);
        }
        break;
    }
  }
  return true;
}

// ---------------------------------------------------------------------------------------------
// 4. RLE8 and RLE4
// ---------------------------------------------------------------------------------------------

// Runs of one index (RLE8) or of two alternating indices (RLE4), and the escapes 0-0 (end of
// line), 0-1 (end of picture), 0-2-dx-dy (move) and 0-n (n literal indices, padded to a word).
// Pixels past the right edge are dropped. The stream must reach its end marker or fill the last
// row; data that stops earlier is a truncated file.
bool decodeRle(const Bytes& in, const Header& h, std::vector<std::uint32_t>& out) {
  const bool four = h.compression == kBiRle4;
  std::size_t pos = h.pixelOffset;
  std::int64_t x = 0;
  std::int64_t row = 0;
  auto put = [&](unsigned index) {
    if (x < h.width && row < h.height) {
      out[rowStart(h, row) + static_cast<std::size_t>(x)] = paletteColor(h, index);
    }
    ++x;
  };
  while (row < h.height) {
    if (!in.has(pos, 2)) {
      return false;
    }
    const unsigned count = in.u8(pos);
    const unsigned value = in.u8(pos + 1);
    pos += 2;
    if (count > 0) {
      const std::int64_t visible =
          std::min<std::int64_t>(count, std::max<std::int64_t>(0, h.width - x));
      for (std::int64_t i = 0; i < visible; ++i) {
        put(four ? ((i & 1) ? (value & 0x0Fu) : (value >> 4)) : value);
      }
      x += count - visible;
      continue;
    }
    switch (value) {
      case 0:  // end of line
        x = 0;
        ++row;
        break;
      case 1:  // end of picture
        return true;
      case 2:  // move right and up
        if (!in.has(pos, 2)) {
          return false;
        }
        x += in.u8(pos);
        row += in.u8(pos + 1);
        pos += 2;
        break;
      default: {  // literal indices
        const std::size_t bytes = four ? (value + 1) / 2 : value;
        if (!in.has(pos, bytes)) {
          return false;
        }
        for (unsigned i = 0; i < value; ++i) {
          const std::uint8_t b = in.u8(pos + (four ? i / 2 : i));
          put(four ? ((i & 1) ? (b & 0x0Fu) : (b >> 4)) : b);
        }
        pos += bytes + (bytes & 1);
        break;
      }
    }
  }
  return true;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// 5. decodeBmp
// ---------------------------------------------------------------------------------------------

bool looksLikeBmp(std::span<const std::uint8_t> data) {
  return data.size() >= 2 && data[0] == 'B' && data[1] == 'M';
}

std::optional<Bitmap> decodeBmp(std::span<const std::uint8_t> data) {
  const Bytes in(data);
  const std::optional<Header> h = readHeader(in);
  const bool rle = h && (h->compression == kBiRle8 || h->compression == kBiRle4);
  // Uncompressed rows are checked against the data before anything is allocated.
  if (!h || (!rle && !rowsPresent(in, *h))) {
    return std::nullopt;
  }
  Bitmap bitmap;
  bitmap.width = h->width;
  bitmap.height = h->height;
  // Uncompressed rows write every pixel; what an RLE stream leaves out is black.
  const std::size_t count =
      static_cast<std::size_t>(h->width) * static_cast<std::size_t>(h->height);
  if (rle) {
    bitmap.pixels.assign(count, kBlack);
  } else {
    bitmap.pixels.resize(count);
  }
  const bool ok = rle ? decodeRle(in, *h, bitmap.pixels) : decodeRows(in, *h, bitmap.pixels);
  if (!ok) {
    return std::nullopt;
  }
  return bitmap;
}

}  // namespace dravolin::platform
