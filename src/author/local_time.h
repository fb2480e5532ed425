// The local clock of a ride: the line file's times are times of day, and a receiver's clock is
// UTC. The time zone is one of the system's zone database by name ("Asia/Tokyo") or, when none
// is named, the system's own (the TZ variable's zone when it names one, else /etc/localtime).
// The database is read through Howard Hinnant's date/tz library, without touching the process's
// environment: the window computes on several threads.
#pragma once

#include <string>

namespace dravolin::author {

struct LocalClock {
  std::string zone;  // as named, or empty for the system's
};

// Seconds since 1970 on the local wall clock (UTC plus the zone's offset at that instant).
// Throws AuthorError for a zone name the system does not know.
double localSeconds(double utcS, const LocalClock& clock);

// The zone's abbreviation and offset at `utcS` ("JST +09:00").
std::string zoneLabel(double utcS, const LocalClock& clock);

}  // namespace dravolin::author
