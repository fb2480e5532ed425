// Feeds arbitrary bytes to the NMEA reader and, when they read, to the track's checks and its
// profile: every outcome must be a track or an AuthorError, never a crash, a hang or another
// exception.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "author/nmea_reader.h"
#include "author/track_profile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  try {
    const dravolin::author::Track track = dravolin::author::readNmea(
        std::string_view(reinterpret_cast<const char*>(data), size), "fuzz.nmea");
    dravolin::author::checkTrack(track);
    dravolin::author::buildProfile(track);
  } catch (const dravolin::author::AuthorError&) {
  }
  return 0;
}
