// Feeds arbitrary bytes to the BMP decoder: it must return a picture or nothing, never crash,
// hang or read outside the bytes.
#include <cstddef>
#include <cstdint>
#include <span>

#include "platform/bmp_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto bitmap = dravolin::platform::decodeBmp(std::span<const std::uint8_t>(data, size));
  if (bitmap && bitmap->pixels.size() != static_cast<std::size_t>(bitmap->width) *
                                             static_cast<std::size_t>(bitmap->height)) {
    __builtin_trap();
  }
  return 0;
}
