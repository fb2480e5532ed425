#include "author/track.h"

#include <GeographicLib/Geodesic.hpp>
#include <cmath>
#include <cstdio>

namespace dravolin::author {

namespace {

// Consecutive fixes this far apart are a fault of the receiver or of the file, not a train.
constexpr double kJumpM = 5000;

}  // namespace

std::string formatTime(double t) {
  if (!(std::abs(t) < 1e13)) return "?";
  const auto whole = static_cast<long long>(std::floor(t));
  long long days = whole / 86400;
  long long rest = whole % 86400;
  if (rest < 0) {
    rest += 86400;
    --days;
  }
  // Civil date from days since 1970-01-01 (H. Hinnant's algorithm).
  const long long z = days + 719468;
  const long long era = (z >= 0 ? z : z - 146096) / 146097;
  const long long doe = z - era * 146097;
  const long long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const long long mp = (5 * doy + 2) / 153;
  const long long d = doy - (153 * mp + 2) / 5 + 1;
  const long long m = mp + (mp < 10 ? 3 : -9);
  const long long y = yoe + era * 400 + (m <= 2 ? 1 : 0);
  char text[64];
  std::snprintf(text, sizeof text, "%04lld-%02lld-%02lld %02lld:%02lld:%06.3f", y, m, d,
                rest / 3600, rest / 60 % 60, static_cast<double>(rest % 60) + (t - std::floor(t)));
  return text;
}

std::string placeOf(const Track& track, std::int64_t at) {
  return track.fileName + ": " + std::to_string(at) + (track.byteOffsets ? "バイト目: " : "行目: ");
}

double geodesicDistanceM(double lat1, double lon1, double lat2, double lon2) {
  double s12 = 0;
  GeographicLib::Geodesic::WGS84().Inverse(lat1, lon1, lat2, lon2, s12);
  return s12;
}

double utcSeconds(int year, int month, int day, int hour, int minute, double second) {
  // Days since 1970-01-01 of a civil date (H. Hinnant's algorithm).
  const long long y = year - (month <= 2 ? 1 : 0);
  const long long era = (y >= 0 ? y : y - 399) / 400;
  const long long yoe = y - era * 400;
  const long long mp = (month + 9) % 12;
  const long long doy = (153 * mp + 2) / 5 + day - 1;
  const long long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  const long long days = era * 146097 + doe - 719468;
  return static_cast<double>(days) * 86400.0 + hour * 3600.0 + minute * 60.0 + second;
}

void checkTrack(const Track& track) {
  if (track.points.empty()) {
    std::string why = track.fileName + ": 位置の記録（測位できた点）がありません";
    if (track.withoutFix > 0) {
      why += "（測位できていない記録が" + std::to_string(track.withoutFix) + "件）";
    }
    throw AuthorError(why);
  }
  const TrackPoint* previous = nullptr;
  for (const TrackPoint& p : track.points) {
    if (!(std::abs(p.latitudeDeg) <= 90) || !(std::abs(p.longitudeDeg) <= 180) ||
        !std::isfinite(p.timeS) || (p.hasElevation && !std::isfinite(p.elevationM))) {
      throw AuthorError(placeOf(track, p.at) + "位置または時刻が範囲を外れています");
    }
    if (previous != nullptr) {
      if (p.timeS < previous->timeS) {
        throw AuthorError(placeOf(track, p.at) + "時刻 " + formatTime(p.timeS) + " が前の点 (" +
                          formatTime(previous->timeS) + ") より前に戻っています");
      }
      const double d = geodesicDistanceM(previous->latitudeDeg, previous->longitudeDeg,
                                         p.latitudeDeg, p.longitudeDeg);
      if (d >= kJumpM) {
        char km[32];
        std::snprintf(km, sizeof km, "%.1f", d / 1000);
        throw AuthorError(placeOf(track, p.at) + "前の点から " + km +
                          " km 離れています（5 km 以上の飛びは受信機の誤りとみなします）");
      }
    }
    previous = &p;
  }
}

}  // namespace dravolin::author
