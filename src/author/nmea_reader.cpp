#include "author/nmea_reader.h"

#include <charconv>
#include <cmath>
#include <optional>
#include <vector>

namespace dravolin::author {

namespace {

constexpr double kKnotMps = 1852.0 / 3600.0;

std::vector<std::string_view> splitFields(std::string_view body) {
  std::vector<std::string_view> fields;
  std::size_t start = 0;
  for (;;) {
    const std::size_t comma = body.find(',', start);
    fields.push_back(
        body.substr(start, comma == std::string_view::npos ? body.npos : comma - start));
    if (comma == std::string_view::npos) break;
    start = comma + 1;
  }
  return fields;
}

bool number(std::string_view text, double& value) {
  if (text.empty()) return false;
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, value, std::chars_format::fixed);
  return ec == std::errc() && ptr == end && std::isfinite(value);
}

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// "hhmmss.ss" as seconds of the day.
bool timeOfDay(std::string_view t, double& seconds) {
  if (t.size() < 6) return false;
  double hms = 0;
  // Checked before the conversion: a long run of digits is no time and no int either.
  if (!number(t, hms) || hms < 0 || hms >= 240000) return false;
  const int h = static_cast<int>(hms / 10000);
  const int m = static_cast<int>(hms / 100) % 100;
  const double s = hms - h * 10000.0 - m * 100.0;
  if (h > 23 || m > 59 || s >= 61) return false;
  seconds = h * 3600.0 + m * 60.0 + s;
  return true;
}

// "ddmm.mmmm" with its hemisphere letter as degrees.
bool angle(std::string_view value, std::string_view hemisphere, bool latitude, double& degrees) {
  double v = 0;
  if (!number(value, v) || v < 0) return false;
  const double whole = std::floor(v / 100);
  const double minutes = v - whole * 100;
  if (minutes >= 60) return false;
  degrees = whole + minutes / 60;
  if (degrees > (latitude ? 90 : 180)) return false;
  if (hemisphere == (latitude ? "S" : "W")) {
    degrees = -degrees;
  } else if (hemisphere != (latitude ? "N" : "E")) {
    return false;
  }
  return true;
}

// The sentences of one instant.
struct Epoch {
  double secondOfDay = -1;
  std::optional<double> dayStart;  // the RMC's date, s since 1970 of its midnight
  bool valid = false;
  bool invalidSeen = false;
  bool positionFromGga = false;
  double lat = 0, lon = 0;
  std::optional<double> height;
  double speedMps = -1;
  std::int64_t line = 0;
};

class Reader {
 public:
  explicit Reader(const std::string& fileName) { track_.fileName = fileName; }

  void line(std::string_view text, std::int64_t number) {
    while (!text.empty() && (text.back() == '\r' || text.back() == ' ')) text.remove_suffix(1);
    if (text.empty() || text.front() != '$') return;
    const std::size_t star = text.rfind('*');
    if (star == std::string_view::npos || star + 3 != text.size() || hexDigit(text[star + 1]) < 0 ||
        hexDigit(text[star + 2]) < 0) {
      ++track_.checksumFailures;
      return;
    }
    const std::string_view body = text.substr(1, star - 1);
    const unsigned given =
        static_cast<unsigned>(hexDigit(text[star + 1]) * 16 + hexDigit(text[star + 2]));
    if (nmeaChecksum(body) != given) {
      ++track_.checksumFailures;
      return;
    }
    if (body.size() < 5) return;
    const std::string_view talker = body.substr(0, 2);
    if (talker != "GP" && talker != "GN" && talker != "GL" && talker != "GA") return;
    const std::string_view kind = body.substr(2, 3);
    const std::vector<std::string_view> f = splitFields(body);
    if (f[0].size() != 5) return;
    number_ = number;
    if (kind == "RMC") {
      rmc(f);
    } else if (kind == "GGA") {
      gga(f);
    } else if (kind == "VTG") {
      vtg(f);
    }
  }

  Track finish() {
    flush();
    if (!track_.points.empty() && !anyDate_) {
      throw AuthorError(track_.fileName +
                        ": 日付がわかりません（日付を含む RMC 文が一つもありません）");
    }
    // Fixes before the first date take it, stepping back a day where their time of day lies
    // more than twelve hours after the next one's.
    double dayStart = firstDayStart_;
    double next = firstDatedSecond_;
    for (std::size_t i = undated_; i-- > 0;) {
      TrackPoint& p = track_.points[i];
      if (next >= 0 && p.timeS > next + 43200) dayStart -= 86400;
      next = p.timeS;
      p.timeS += dayStart;
    }
    track_.format = "NMEA 0183";
    return std::move(track_);
  }

 private:
  [[noreturn]] void fail(const std::string& why) const {
    throw AuthorError(placeOf(track_, number_) + why);
  }

  // Starts a new epoch unless the sentence belongs to the pending one.
  void at(std::string_view timeField) {
    double second = 0;
    if (!timeOfDay(timeField, second)) fail("時刻 \"" + std::string(timeField) + "\" が読めません");
    if (pending_ && pending_->secondOfDay != second) flush();
    if (!pending_) {
      pending_ = Epoch{};
      pending_->secondOfDay = second;
      pending_->line = number_;
    }
  }

  void rmc(const std::vector<std::string_view>& f) {
    if (f.size() < 10) fail("RMC 文の項目が足りません");
    at(f[1]);
    Epoch& e = *pending_;
    if (!f[9].empty()) {
      double ddmmyy = 0;
      if (!number(f[9], ddmmyy) || f[9].size() != 6) fail("RMC の日付が読めません");
      const int d = static_cast<int>(ddmmyy / 10000);
      const int m = static_cast<int>(ddmmyy / 100) % 100;
      const int y = static_cast<int>(ddmmyy) % 100;
      if (d < 1 || d > 31 || m < 1 || m > 12) fail("RMC の日付が読めません");
      e.dayStart = utcSeconds(y < 80 ? 2000 + y : 1900 + y, m, d, 0, 0, 0);
    }
    const bool modeVoid = f.size() > 12 && f[12] == "N";
    if (f[2] != "A" || modeVoid) {
      e.invalidSeen = true;
      return;
    }
    double lat = 0, lon = 0;
    if (!angle(f[3], f[4], true, lat)) fail("RMC の緯度が読めません");
    if (!angle(f[5], f[6], false, lon)) fail("RMC の経度が読めません");
    if (!e.positionFromGga) {
      e.lat = lat;
      e.lon = lon;
    }
    e.valid = true;
    double knots = 0;
    if (!f[7].empty()) {
      if (!number(f[7], knots) || knots < 0) fail("RMC の速度が読めません");
      e.speedMps = knots * kKnotMps;
    }
  }

  void gga(const std::vector<std::string_view>& f) {
    if (f.size() < 10) fail("GGA 文の項目が足りません");
    at(f[1]);
    Epoch& e = *pending_;
    double quality = 0;
    if (!number(f[6], quality)) fail("GGA の測位品質が読めません");
    if (quality == 0) {
      e.invalidSeen = true;
      return;
    }
    if (!angle(f[2], f[3], true, e.lat)) fail("GGA の緯度が読めません");
    if (!angle(f[4], f[5], false, e.lon)) fail("GGA の経度が読めません");
    e.positionFromGga = true;
    e.valid = true;
    if (!f[9].empty()) {
      double h = 0;
      if (!number(f[9].front() == '-' ? f[9].substr(1) : f[9], h)) fail("GGA の高度が読めません");
      e.height = f[9].front() == '-' ? -h : h;
    }
  }

  void vtg(const std::vector<std::string_view>& f) {
    if (!pending_ || f.size() < 8) return;
    double kmh = 0;
    if (f[7].empty()) return;
    if (!number(f[7], kmh) || kmh < 0) fail("VTG の速度が読めません");
    if (pending_->speedMps < 0) pending_->speedMps = kmh / 3.6;
  }

  void flush() {
    if (!pending_) return;
    Epoch e = *pending_;
    pending_.reset();
    if (e.dayStart) {
      // The first dated epoch also dates those before it (finish()).
      if (!anyDate_) {
        anyDate_ = true;
        firstDayStart_ = *e.dayStart;
        firstDatedSecond_ = e.secondOfDay;
        undated_ = track_.points.size();
      }
      dayStart_ = *e.dayStart;
    } else if (anyDate_ && lastSecond_ >= 0 && e.secondOfDay + 43200 < lastSecond_) {
      dayStart_ += 86400;  // past midnight without an RMC
    }
    lastSecond_ = e.secondOfDay;
    if (!e.valid) {
      if (e.invalidSeen) ++track_.withoutFix;
      return;
    }
    TrackPoint p;
    p.timeS = e.secondOfDay + (anyDate_ ? dayStart_ : 0);
    p.latitudeDeg = e.lat;
    p.longitudeDeg = e.lon;
    p.hasElevation = e.height.has_value();
    p.elevationM = e.height.value_or(0);
    p.speedMps = e.speedMps;
    p.at = e.line;
    track_.points.push_back(p);
  }

  Track track_;
  std::optional<Epoch> pending_;
  std::int64_t number_ = 0;
  bool anyDate_ = false;
  double firstDayStart_ = 0;
  double firstDatedSecond_ = -1;
  double dayStart_ = 0;
  double lastSecond_ = -1;
  std::size_t undated_ = 0;  // fixes before the first date
};

}  // namespace

unsigned nmeaChecksum(std::string_view body) {
  unsigned sum = 0;
  for (const char c : body) sum ^= static_cast<unsigned char>(c);
  return sum;
}

Track readNmea(std::string_view bytes, const std::string& fileName) {
  Reader reader(fileName);
  std::int64_t number = 0;
  std::size_t start = 0;
  while (start < bytes.size()) {
    std::size_t end = bytes.find('\n', start);
    if (end == std::string_view::npos) end = bytes.size();
    reader.line(bytes.substr(start, end - start), ++number);
    start = end + 1;
  }
  return reader.finish();
}

}  // namespace dravolin::author
