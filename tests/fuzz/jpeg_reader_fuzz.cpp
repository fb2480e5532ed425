// Feeds arbitrary bytes to the JPEG decoder: a broken file must come back as no picture, never
// end the program, crash or read outside the bytes.
#include <cstddef>
#include <cstdint>
#include <span>

#include "platform/jpeg_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto bitmap = dravolin::platform::decodeJpeg(std::span<const std::uint8_t>(data, size));
  if (bitmap && (bitmap->pixels.size() != static_cast<std::size_t>(bitmap->width) *
                                              static_cast<std::size_t>(bitmap->height) ||
                 (bitmap->pixels[0] >> 24) != 0xFF)) {
    __builtin_trap();
  }
  return 0;
}
