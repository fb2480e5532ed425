#include "author/track.h"

#include <GeographicLib/Geodesic.hpp>
#include <algorithm>
#include <cmath>
#include <cstdio>

namespace dravolin::author {

namespace {

constexpr const char* kSkipNames[kSkipCauses] = {"checksum",    "after_checksum", "without_fix",
                                                 "empty_field", "without_time",   "time_back",
                                                 "same_time"};
constexpr const char* kSkipTexts[kSkipCauses] = {
    "チェックサムの誤り", "チェックサムの後ろに余計な文字", "測位できていない記録", "空の項目",
    "時刻のない点",       "前の点より前に戻った時刻",       "前の点と同じ時刻"};

}  // namespace

void Track::skip(SkipCause cause, std::int64_t at) {
  SkipTally& t = skipped[static_cast<std::size_t>(cause)];
  if (t.count == 0) t.firstAt = at;
  ++t.count;
}

int Track::skippedTotal() const {
  int n = 0;
  for (const SkipTally& t : skipped) n += t.count;
  return n;
}

const char* skipCauseName(SkipCause cause) { return kSkipNames[static_cast<std::size_t>(cause)]; }
const char* skipCauseText(SkipCause cause) { return kSkipTexts[static_cast<std::size_t>(cause)]; }

std::string skippedText(const Track& track) {
  std::string s;
  for (std::size_t i = 0; i < kSkipCauses; ++i) {
    if (track.skipped[i].count == 0) continue;
    if (!s.empty()) s += "、";
    s += std::string(kSkipTexts[i]) + "が" + std::to_string(track.skipped[i].count) + "件";
  }
  return s;
}

std::string formatTime(double t, int decimals) {
  if (!(std::abs(t) < 1e13)) return "?";
  decimals = std::clamp(decimals, 0, 9);
  long long scale = 1;
  for (int i = 0; i < decimals; ++i) scale *= 10;
  // Rounded once, on the fraction, carrying into the second: 03.9996 is 04.000, never 03.1000.
  auto whole = static_cast<long long>(std::floor(t));
  auto fraction = static_cast<long long>(
      std::nearbyint((static_cast<long double>(t) - static_cast<long double>(whole)) * scale));
  if (fraction >= scale) {
    fraction -= scale;
    ++whole;
  }
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
  char text[80];
  std::snprintf(text, sizeof text, "%04lld-%02lld-%02lld %02lld:%02lld:%02lld", y, m, d,
                rest / 3600, rest / 60 % 60, rest % 60);
  std::string out = text;
  if (decimals > 0) {
    std::snprintf(text, sizeof text, ".%0*lld", decimals, fraction);
    out += text;
  }
  return out;
}

std::string isoTime(double utcS) {
  std::string s = formatTime(utcS);
  if (s.size() > 10 && s[10] == ' ') s[10] = 'T';
  return s + "Z";
}

std::pair<std::string, std::string> formatTimesApart(double a, double b) {
  for (int decimals = 3;; ++decimals) {
    std::string x = formatTime(a, decimals), y = formatTime(b, decimals);
    if (x != y || decimals == 9) return {std::move(x), std::move(y)};
  }
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
    if (const std::string skipped = skippedText(track); !skipped.empty()) {
      why += "（" + skipped + "）";
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
        const auto [now, before] = formatTimesApart(p.timeS, previous->timeS);
        throw AuthorError(placeOf(track, p.at) + "時刻 " + now + " が前の点 (" + before +
                          ") より前に戻っています");
      }
      const double d = geodesicDistanceM(previous->latitudeDeg, previous->longitudeDeg,
                                         p.latitudeDeg, p.longitudeDeg);
      const double dt = p.timeS - previous->timeS;
      // A gap between tracks or segments is a dropout whatever its length: the receiver was
      // off, not wrong.
      if (!p.segmentStart && d >= kJumpM && d > kJumpMps * dt) {
        char text[160];
        std::snprintf(text, sizeof text,
                      "前の点から %.1f 秒で %.1f km 離れています（5 km 以上を時速 360 km より速く"
                      "動く飛びは受信機の誤りとみなします）",
                      dt, d / 1000);
        throw AuthorError(placeOf(track, p.at) + text);
      }
    }
    previous = &p;
  }
}

double trackLengthM(const Track& track) {
  double m = 0;
  for (std::size_t i = 1; i < track.points.size(); ++i) {
    const TrackPoint &a = track.points[i - 1], &b = track.points[i];
    m += geodesicDistanceM(a.latitudeDeg, a.longitudeDeg, b.latitudeDeg, b.longitudeDeg);
  }
  return m;
}

}  // namespace dravolin::author
