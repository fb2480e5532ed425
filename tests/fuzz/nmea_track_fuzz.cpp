// Feeds arbitrary bytes to the NMEA reader (without anything to date a log of GGA alone, then
// with the video's creation time) and, when they read, to the track's checks and its profile:
// every outcome must be a track or an AuthorError, never a crash, a hang or another exception.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "author/nmea_reader.h"
#include "author/track_profile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const dravolin::author::TrackDating datings[] = {
      {}, {std::nullopt, dravolin::author::utcSeconds(2024, 5, 1, 8, 59, 0)}};
  for (const dravolin::author::TrackDating& dating : datings) {
    try {
      const dravolin::author::Track track = dravolin::author::readNmea(bytes, "fuzz.nmea", dating);
      dravolin::author::checkTrack(track);
      dravolin::author::buildProfile(track);
    } catch (const dravolin::author::AuthorError&) {
    }
  }
  return 0;
}
