// Feeds arbitrary bytes to the controller profile and calibration readers: each gives its value
// or a ProfileError naming the file and line. What they accept works: a profile formats back to
// an equal profile, takes the calibration or refuses it, and its mapper gives only command lines
// 1 to 22 for any device state.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "input/controller_calibration.h"
#include "input/device_mapper.h"

namespace {

using namespace dravolin::input;

void checkLines(const std::vector<int>& lines) {
  for (int l : lines) {
    if (l < 1 || l > 22) std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  std::optional<ControllerProfile> profile;
  try {
    profile = parseControllerProfile(text, "fuzz.profile", "fuzz");
    if (parseControllerProfile(formatControllerProfile(*profile), "again", "fuzz") != *profile) {
      std::abort();
    }
  } catch (const ProfileError& e) {
    if (std::string_view(e.what()).substr(0, 13) != "fuzz.profile:") std::abort();
  }
  try {
    const Calibration c = parseCalibration(text, "fuzz.calibration");
    if (parseCalibration(formatCalibration(c), "again") != c) std::abort();
    ControllerProfile p = profile ? *profile : ControllerProfile{};
    try {
      applyCalibration(p, c, "fuzz.calibration");
      profile = p;
    } catch (const ProfileError&) {
    }
  } catch (const ProfileError& e) {
    if (std::string_view(e.what()).substr(0, 17) != "fuzz.calibration:") std::abort();
  }
  if (profile) {
    DeviceMapper m(*profile);
    m.settle({}, {});
    // The input's bytes as device events.
    for (std::size_t i = 0; i + 2 < size && i < 3000; i += 3) {
      const int index = data[i];
      const int value = static_cast<std::int16_t>(data[i + 1] << 8 | data[i + 2]);
      if (index & 1) {
        checkLines(m.axis(index >> 2, value));
      } else {
        checkLines(m.button(index * 5, value > 0));
      }
      if (index % 7 == 0) checkLines(m.flush());
    }
  }
  return 0;
}
