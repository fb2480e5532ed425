// The GPS stream that action cameras write into their MP4 (GPMF, a key-length-value format: a
// four-character key, a type character, a structure size, a 16-bit repeat count, the big-endian
// values padded to four bytes; type 0 nests more of the same). The container's data stream
// ("gpmd") delivers one payload per sample, each with its place on the video's timeline; this
// reader takes those payloads apart:
//
// - GPS5: repeated (latitude, longitude, altitude, 2D speed, 3D speed), scaled by the stream's
//   SCAL divisors; GPSU (UTC "yymmddhhmmss.sss") is the time of the payload's first sample, the
//   samples spread evenly over the payload's duration; a payload whose GPSF (fix) is 0 has no
//   fix.
// - GPS9: repeated (latitude, longitude, altitude, 2D speed, 3D speed, days since 2000, seconds
//   since midnight, DOP, fix) as the stream's TYPE describes them, each sample with its own time
//   and fix.
//
// When a stream has both, GPS9 is used. Every fix keeps its time on the video's timeline
// (TrackPoint::videoTimeS): a track from the video's own stream needs no synchronising. Samples
// without a fix, and samples whose time does not come after the fix before them, are skipped and
// counted (Track::skipped).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "author/track.h"

namespace dravolin::author {

struct GpmfPayload {
  std::vector<std::uint8_t> bytes;
  double timeS = 0;             // start on the video's timeline, s
  double durationS = 0;         // s
  std::int64_t fileOffset = 0;  // of the payload's first byte in its file, for messages
};

// Throws AuthorError naming the file and the byte offset: a key whose length runs past its
// payload, nesting deeper than 16 levels, a GPS record of the wrong size or type, GPS5 without
// a GPSU time, a SCAL of the wrong count; and naming the file, when there is neither GPS5 nor
// GPS9 (the message names the streams there are, "GPRI, ACCL, GYRO").
Track readGpmf(const std::vector<GpmfPayload>& payloads, const std::string& fileName);

}  // namespace dravolin::author
