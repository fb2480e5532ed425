// Feeds arbitrary bytes to the GPMF reader as the payloads of a telemetry stream: the input is
// cut into payloads at every "GPMF" mark (one payload without any), each a second long. Every
// outcome must be a track or an AuthorError, never a crash, a hang or another exception.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "author/gpmf_reader.h"
#include "author/track_profile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<dravolin::author::GpmfPayload> payloads;
  std::size_t start = 0;
  for (std::size_t i = 0; i + 4 <= size; ++i) {
    if (std::memcmp(data + i, "GPMF", 4) != 0) continue;
    payloads.push_back({std::vector<std::uint8_t>(data + start, data + i),
                        static_cast<double>(payloads.size()), 1.0,
                        static_cast<std::int64_t>(start)});
    start = i + 4;
  }
  payloads.push_back({std::vector<std::uint8_t>(data + start, data + size),
                      static_cast<double>(payloads.size()), 1.0, static_cast<std::int64_t>(start)});
  try {
    const dravolin::author::Track track = dravolin::author::readGpmf(payloads, "fuzz.mp4");
    dravolin::author::checkTrack(track);
    dravolin::author::buildProfile(track);
  } catch (const dravolin::author::AuthorError&) {
  }
  return 0;
}
