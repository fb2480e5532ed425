// Feeds arbitrary bytes to the settings file reader: it must never crash, hang or read out of
// bounds (every value is a text, so it never fails either).
#include <cstddef>
#include <cstdint>
#include <string>

#include "data/settings_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const dravolin::data::Settings s =
      dravolin::data::parseSettingsFile(std::string(reinterpret_cast<const char*>(data), size));
  // Touch the converted texts so the conversion runs to its end.
  volatile std::size_t total =
      s.Path.size() + s.Forward.size() + s.EB.size() + (s.Display ? (*s.Display)[2].size() : 0);
  (void)total;
  return 0;
}
