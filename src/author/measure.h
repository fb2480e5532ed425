// Measuring a ride: the footage probed and every frame's motion measured, the track read in
// whichever format it is (GPX, NMEA, or the GPMF stream of an MP4 or MOV file), checked and
// profiled.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "author/line_draft.h"
#include "platform/footage.h"

namespace dravolin::author {

// Called with the share done (0 to 1) and what is being done; returns false to stop.
using MeasureProgress = std::function<bool(double share, const std::string& step)>;

// The track formats told apart by their first bytes.
enum class TrackFormat { Gpx, Nmea, Mp4, Unknown };
TrackFormat detectTrackFormat(std::string_view head);

// Reads the track file (not an MP4) from its bytes. Throws AuthorError.
Track readTrackBytes(std::string_view bytes, const std::string& fileName);

// Throws AuthorError for faults of the files, platform::FootageCancelled when stopped.
RideMeasurements measureRide(const std::string& videoFile, const std::string& trackFile,
                             platform::FootageService& footage, const MeasureProgress& progress);

// The offset of a track read from a video's telemetry (the median of its fixes' UTC time less
// their time on the video's timeline).
std::optional<double> telemetryOffset(const Track& track);

}  // namespace dravolin::author
