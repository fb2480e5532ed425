// JPEG decoding through libjpeg-turbo (libjpeg 6.2 interface).
//
// Libjpeg reports a fatal error by calling the error manager's error_exit, which must not
// return. Ours jumps back with longjmp to the setjmp of the step that called into libjpeg. Those
// steps (startDecoder, decodeInto) and the callbacks hold only trivially destructible locals, so
// the jump never skips a C++ destructor; the Bitmap that owns the pixels lives in decodeJpeg, the
// caller of those steps, which the jump never crosses.
#include "platform/jpeg_reader.h"

#include <bit>
#include <csetjmp>
#include <cstdio>  // jpeglib.h needs FILE and size_t declared first

#include <jerror.h>
#include <jpeglib.h>

#include "platform/bmp_reader.h"

namespace dravolin::platform {
namespace {

constexpr int kMaxScans = 1000;
constexpr long kMaxDecoderMemory = 1024L * 1024L * 1024L;

// Everything libjpeg needs, plain C structures only.
struct Decoder {
  jpeg_decompress_struct cinfo;
  jpeg_error_mgr err;
  jpeg_progress_mgr progress;
  std::jmp_buf jump;
};

Decoder& decoderOf(j_common_ptr cinfo) { return *static_cast<Decoder*>(cinfo->client_data); }

void errorExit(j_common_ptr cinfo) { std::longjmp(decoderOf(cinfo).jump, 1); }

// Warnings (level -1) go on decoding, except the one that says the data ended before the
// picture did: a truncated file is a picture that cannot be loaded.
void emitMessage(j_common_ptr cinfo, int level) {
  if (level < 0 && cinfo->err->msg_code == JWRN_JPEG_EOF) {
    std::longjmp(decoderOf(cinfo).jump, 1);
  }
}

void outputMessage(j_common_ptr) {}

// A file of thousands of tiny scans would make a progressive picture take minutes to decode.
void progressMonitor(j_common_ptr cinfo) {
  if (cinfo->is_decompressor &&
      reinterpret_cast<j_decompress_ptr>(cinfo)->input_scan_number > kMaxScans) {
    std::longjmp(decoderOf(cinfo).jump, 1);
  }
}

// Creates the decompressor and reads the header up to the first scan.
bool startDecoder(Decoder& d, const std::uint8_t* data, std::size_t size) {
  d.cinfo.err = jpeg_std_error(&d.err);
  d.err.error_exit = errorExit;
  d.err.emit_message = emitMessage;
  d.err.output_message = outputMessage;
  d.cinfo.client_data = &d;
  if (setjmp(d.jump) != 0) {
    return false;
  }
  jpeg_create_decompress(&d.cinfo);
  d.cinfo.mem->max_memory_to_use = kMaxDecoderMemory;
  d.progress.progress_monitor = progressMonitor;
  d.cinfo.progress = &d.progress;
  jpeg_mem_src(&d.cinfo, data, static_cast<unsigned long>(size));
  return jpeg_read_header(&d.cinfo, TRUE) == JPEG_HEADER_OK;
}

std::uint32_t fromCmyk(const JSAMPLE* p, bool inverted) {
  unsigned c = p[0], m = p[1], y = p[2], k = p[3];
  if (!inverted) {
    c = 255 - c;
    m = 255 - m;
    y = 255 - y;
    k = 255 - k;
  }
  // Stored inverted (as Adobe writes CMYK): each value is 255 minus the ink.
  const unsigned r = (c * k + 127) / 255, g = (m * k + 127) / 255, b = (y * k + 127) / 255;
  return 0xFF000000u | (r << 16) | (g << 8) | b;
}

// Decodes every row into `out`, `width` x `height` pixels of 0xFFRRGGBB.
bool decodeInto(Decoder& d, std::uint32_t* out, JDIMENSION width, JDIMENSION height) {
  if (setjmp(d.jump) != 0) {
    return false;
  }
  const bool cmyk = d.cinfo.jpeg_color_space == JCS_CMYK || d.cinfo.jpeg_color_space == JCS_YCCK;
  if (cmyk) {
    d.cinfo.out_color_space = JCS_CMYK;
  } else {
    // Four bytes a pixel whose native 32-bit value is 0xAARRGGBB, alpha filled with 0xFF.
    d.cinfo.out_color_space =
        std::endian::native == std::endian::little ? JCS_EXT_BGRA : JCS_EXT_ARGB;
  }
  d.cinfo.scale_num = 1;
  d.cinfo.scale_denom = 1;
  jpeg_start_decompress(&d.cinfo);
  if (d.cinfo.output_width != width || d.cinfo.output_height != height) {
    return false;
  }
  JSAMPARRAY cmykRow = cmyk ? (*d.cinfo.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&d.cinfo),
                                                           JPOOL_IMAGE, width * 4, 1)
                            : nullptr;
  while (d.cinfo.output_scanline < height) {
    std::uint32_t* row = out + static_cast<std::size_t>(d.cinfo.output_scanline) * width;
    if (cmyk) {
      if (jpeg_read_scanlines(&d.cinfo, cmykRow, 1) != 1) {
        return false;
      }
      for (JDIMENSION x = 0; x < width; ++x) {
        row[x] = fromCmyk(cmykRow[0] + 4 * x, d.cinfo.saw_Adobe_marker);
      }
    } else {
      JSAMPROW target = reinterpret_cast<JSAMPROW>(row);
      if (jpeg_read_scanlines(&d.cinfo, &target, 1) != 1) {
        return false;
      }
    }
  }
  jpeg_finish_decompress(&d.cinfo);
  return true;
}

}  // namespace

bool looksLikeJpeg(std::span<const std::uint8_t> data) {
  return data.size() >= 3 && data[0] == 0xFF && data[1] == 0xD8 && data[2] == 0xFF;
}

std::optional<Bitmap> decodeJpeg(std::span<const std::uint8_t> data) {
  if (data.empty()) {
    return std::nullopt;
  }
  Decoder d{};
  std::optional<Bitmap> result;
  if (startDecoder(d, data.data(), data.size())) {
    const JDIMENSION width = d.cinfo.image_width;
    const JDIMENSION height = d.cinfo.image_height;
    if (width > 0 && height > 0 && width <= kMaxPictureSide && height <= kMaxPictureSide &&
        static_cast<std::int64_t>(width) * height <= kMaxPicturePixels) {
      Bitmap bitmap;
      bitmap.width = static_cast<int>(width);
      bitmap.height = static_cast<int>(height);
      bitmap.pixels.resize(static_cast<std::size_t>(width) * height);
      if (decodeInto(d, bitmap.pixels.data(), width, height)) {
        result = std::move(bitmap);
      }
    }
  }
  jpeg_destroy_decompress(&d.cinfo);
  return result;
}

}  // namespace dravolin::platform
