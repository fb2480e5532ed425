// Feeds arbitrary bytes to the WAV reader of the sound service. Whatever it returns must be
// consistent: an empty wave, or whole frames of one or two channels at a sane rate.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "platform/wave_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace dravolin::platform;
  const Wave w = parseWave(std::as_bytes(std::span(data, size)));
  if (w.empty()) {
    return 0;
  }
  const bool sane = (w.channels == 1 || w.channels == 2) && w.rateHz >= 1 && w.rateHz <= 768000 &&
                    w.frames() > 0 &&
                    w.samples.size() % static_cast<std::size_t>(w.frameBytes()) == 0 &&
                    w.samples.size() <= size * 2;  // conversion at most doubles 24-bit data
  if (!sane) {
    std::abort();
  }
  return 0;
}
