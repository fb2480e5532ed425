// Feeds arbitrary bytes to the controller mapping reader: at most 26 codes or its message.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "data/controller_map.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  try {
    const dravolin::data::ControllerMap map = dravolin::data::parseControllerMap(
        std::string_view(reinterpret_cast<const char*>(data), size));
    if (map.codes.size() > dravolin::data::ControllerMap::kMaxCodes) std::abort();
  } catch (const dravolin::data::LoadError&) {
  }
  return 0;
}
