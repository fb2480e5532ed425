// GPX 1.0 and 1.1, in their namespaces or without one (then the version attribute tells): the
// track points (latitude, longitude, time, elevation where present, the receiver's speed where
// GPX 1.0's "speed" or a "speed" in the point's extensions gives it) of every track and segment
// in file order, and the named waypoints. The first fix of every track or segment after the
// first is a TrackPoint::segmentStart.
//
// Skipped and counted (Track::skipped), never the end of the file: a point without a time in a
// file whose other points have one, a point whose time comes before the fix before it. Points
// of the same time are merged into one fix (their mean), as loggers that write a point twice or
// several fixes within one whole second leave them.
//
// The XML is parsed by expat, the parser Debian itself builds on (libexpat1): well-formedness,
// encodings and character references are its job, and it is small, maintained and fuzzed. A
// document type with entity declarations is refused (GPX never needs one, and entities are how
// an XML file is made to expand without bound). Elements of other namespaces (extensions) are
// skipped with everything inside them.
#pragma once

#include <string>
#include <string_view>

#include "author/track.h"

namespace dravolin::author {

// Throws AuthorError naming the file and the line: XML that is not well-formed, a root that is
// not a GPX 1.0/1.1 "gpx" element, a point without "lat"/"lon", a number or time that cannot be
// read, no track point at all (a file of waypoints or routes is named as such), no track point
// with a time.
Track readGpx(std::string_view bytes, const std::string& fileName);

// Seconds since 1970-01-01 UTC of an XML Schema dateTime ("2024-05-01T10:00:00Z",
// "2024-05-01T19:00:00.250+09:00"); a time without a zone is taken as UTC. False when `text` is
// not one.
bool parseIsoTime(std::string_view text, double& seconds);

}  // namespace dravolin::author
