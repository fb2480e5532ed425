// Feeds arbitrary bytes to the GPX reader and, when they read, to the track's checks, its
// profile and the gradient fit: every outcome must be a track or an AuthorError, never a crash,
// a hang or another exception.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "author/gpx_reader.h"
#include "author/gradient.h"
#include "author/track_profile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  try {
    const dravolin::author::Track track = dravolin::author::readGpx(
        std::string_view(reinterpret_cast<const char*>(data), size), "fuzz.gpx");
    dravolin::author::checkTrack(track);
    const dravolin::author::TrackProfile profile = dravolin::author::buildProfile(track);
    dravolin::author::fitGradients(profile.distanceM, profile.elevationM);
  } catch (const dravolin::author::AuthorError&) {
  }
  return 0;
}
