// A GPS track file of any format the line maker reads: GPX, an NMEA log, or the GPMF stream of
// an MP4 or MOV file (the camera's own), told apart by their bytes, not their names.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "author/nmea_reader.h"
#include "author/track.h"
#include "platform/footage.h"

namespace dravolin::author {

// The track formats told apart by their bytes: an MP4's "ftyp" box; XML (after a byte-order
// mark and blanks); an NMEA sentence anywhere (a log may start with a comment or a receiver's
// binary output).
enum class TrackFormat { Gpx, Nmea, Mp4, Unknown };
TrackFormat detectTrackFormat(std::string_view bytes);

// Reads the track (not an MP4) from its bytes. Throws AuthorError.
Track readTrackBytes(std::string_view bytes, const std::string& fileName,
                     const TrackDating& dating = {});

// Reads the track file `path`, an MP4's through `footage` (its telemetry stream). Throws
// AuthorError for a file that cannot be read or is no track, platform::FootageError from the
// video.
Track readTrackFile(const std::string& path, platform::FootageService& footage,
                    const TrackDating& dating = {});

}  // namespace dravolin::author
