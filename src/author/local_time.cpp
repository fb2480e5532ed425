#include "author/local_time.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <mutex>
#include <optional>

#include "author/track.h"

namespace dravolin::author {

namespace {

// The C library reads the zone from the TZ variable: it is set for the conversion and put back,
// under a lock, as it belongs to the whole process.
std::mutex& zoneLock() {
  static std::mutex m;
  return m;
}

bool knownZone(const std::string& name) {
  if (name == "UTC" || name == "GMT") return true;
  if (name.empty() || name.find("..") != std::string::npos || name.front() == '/') return false;
  std::error_code ec;
  return std::filesystem::is_regular_file(std::filesystem::path("/usr/share/zoneinfo") / name, ec);
}

struct Zone {
  long offsetS = 0;
  std::string abbreviation;
};

Zone convert(double utcS, const LocalClock& clock) {
  if (!clock.zone.empty() && !knownZone(clock.zone)) {
    throw AuthorError("タイムゾーン \"" + clock.zone + "\" がわかりません（例: Asia/Tokyo）");
  }
  const std::lock_guard<std::mutex> lock(zoneLock());
  std::optional<std::string> saved;
  if (!clock.zone.empty()) {
    if (const char* tz = std::getenv("TZ")) saved = tz;
    setenv("TZ", clock.zone.c_str(), 1);
    tzset();
  }
  const auto t = static_cast<std::time_t>(std::floor(utcS));
  std::tm tm{};
  localtime_r(&t, &tm);
  // Copied before the zone changes back: the name lives in the C library's zone tables.
  Zone zone{tm.tm_gmtoff, tm.tm_zone != nullptr ? tm.tm_zone : ""};
  if (!clock.zone.empty()) {
    if (saved) {
      setenv("TZ", saved->c_str(), 1);
    } else {
      unsetenv("TZ");
    }
    tzset();
  }
  return zone;
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
