#include "author/local_time.h"

#include <date/tz.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "author/track.h"

namespace dravolin::author {

namespace {

struct Zone {
  long offsetS = 0;
  std::string abbreviation;
};

// The system's zone: TZ when it names one of the database (":Asia/Tokyo" too), else the one
// /etc/localtime links to, else UTC.
const date::time_zone* systemZone() {
  if (const char* tz = std::getenv("TZ"); tz != nullptr && *tz != '\0') {
    try {
      return date::locate_zone(tz[0] == ':' ? tz + 1 : tz);
    } catch (const std::exception&) {
    }
  }
  try {
    return date::current_zone();
  } catch (const std::exception&) {
    return date::locate_zone("UTC");
  }
}

Zone convert(double utcS, const LocalClock& clock) {
  const date::time_zone* zone = nullptr;
  try {
    zone = clock.zone.empty() ? systemZone() : date::locate_zone(clock.zone);
  } catch (const std::exception&) {
    throw AuthorError("タイムゾーン \"" + clock.zone + "\" がわかりません（例: Asia/Tokyo）");
  }
  if (!(std::abs(utcS) < 1e12)) return {};
  const date::sys_seconds t{std::chrono::seconds{static_cast<long long>(std::floor(utcS))}};
  const date::sys_info info = zone->get_info(t);
  return {static_cast<long>(info.offset.count()), info.abbrev};
}

}  // namespace

double localSeconds(double utcS, const LocalClock& clock) {
  return utcS + static_cast<double>(convert(utcS, clock).offsetS);
}

std::string zoneLabel(double utcS, const LocalClock& clock) {
  const Zone zone = convert(utcS, clock);
  const long off = zone.offsetS;
  char text[32];
  std::snprintf(text, sizeof text, " %c%02ld:%02ld", off < 0 ? '-' : '+', std::labs(off) / 3600,
                std::labs(off) / 60 % 60);
  return zone.abbreviation + text;
}

}  // namespace dravolin::author
