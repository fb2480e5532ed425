// Measuring a ride: the footage probed and every frame's motion measured, the track read in
// whichever format it is (GPX, NMEA, or the GPMF stream of an MP4 or MOV file), checked and
// profiled.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "author/line_draft.h"
#include "author/track_file.h"
#include "platform/footage.h"

namespace dravolin::author {

// Called with the share done (0 to 1) and what is being done; returns false to stop.
using MeasureProgress = std::function<bool(double share, const std::string& step)>;

// Throws AuthorError for faults of the files, platform::FootageCancelled when stopped. A track
// whose records carry no date takes `dayS` (the UTC date of its first fix) when given, else the
// day nearest the video's creation time.
RideMeasurements measureRide(const std::string& videoFile, const std::string& trackFile,
                             platform::FootageService& footage, const MeasureProgress& progress,
                             std::optional<double> dayS = std::nullopt);

// The offset of a track read from a video's telemetry (the median of its fixes' UTC time less
// their time on the video's timeline).
std::optional<double> telemetryOffset(const Track& track);

}  // namespace dravolin::author
