#include "author/nmea_reader.h"

#include <charconv>
#include <cmath>
#include <optional>
#include <vector>

namespace dravolin::author {

namespace {

constexpr double kKnotMps = 1852.0 / 3600.0;
constexpr double kDayS = 86400;
constexpr double kHalfDayS = 43200;

bool isUpperOrDigit(char c) { return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'); }

// "$", an address of four to six capital letters or digits, and a comma at `at`.
bool sentenceAt(std::string_view bytes, std::size_t at) {
  if (bytes[at] != '$') return false;
  std::size_t n = 0;
  while (at + 1 + n < bytes.size() && n <= 6 && isUpperOrDigit(bytes[at + 1 + n])) ++n;
  return n >= 4 && n <= 6 && at + 1 + n < bytes.size() && bytes[at + 1 + n] == ',';
}

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

int digitsValue(std::string_view t, std::size_t from, std::size_t n) {
  int v = 0;
  for (std::size_t i = from; i < from + n; ++i) {
    if (t[i] < '0' || t[i] > '9') return -1;
    v = v * 10 + (t[i] - '0');
  }
  return v;
}

// "hhmmss" with an optional fraction ("hhmmss.sss") as seconds of the day, exactly as written:
// the fixes of a 10 Hz receiver stay a tenth of a second apart.
bool timeOfDay(std::string_view t, double& seconds) {
  if (t.size() < 6 || t.size() > 16) return false;
  const int h = digitsValue(t, 0, 2), m = digitsValue(t, 2, 2), s = digitsValue(t, 4, 2);
  if (h < 0 || m < 0 || s < 0 || h > 23 || m > 59 || s > 60) return false;
  double fraction = 0;
  if (t.size() > 6) {
    if (t[6] != '.' || t.size() == 7) return false;
    double scale = 1;
    long long units = 0;
    for (std::size_t i = 7; i < t.size(); ++i) {
      if (t[i] < '0' || t[i] > '9') return false;
      units = units * 10 + (t[i] - '0');
      scale *= 10;
    }
    fraction = static_cast<double>(units) / scale;
  }
  seconds = h * 3600.0 + m * 60.0 + s + fraction;
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

bool knownTalker(std::string_view t) {
  return t == "GP" || t == "GN" || t == "GL" || t == "GA" || t == "BD" || t == "GB" || t == "QZ";
}

// The sentences of one instant that said the receiver had a fix.
struct Epoch {
  double secondOfDay = 0;
  std::optional<double> dayStart;  // the RMC's date, s since 1970 of its midnight
  bool positionFromGga = false;
  double lat = 0, lon = 0;
  std::optional<double> height;
  double speedMps = -1;
  std::int64_t line = 0;
};

class Reader {
 public:
  Reader(const std::string& fileName, const TrackDating& dating) : dating_(dating) {
    track_.fileName = fileName;
    track_.format = "NMEA 0183";
  }

  // One sentence, from its "$" to the end of its line or the next sentence.
  void sentence(std::string_view text, std::int64_t line) {
    line_ = line;
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    const std::size_t star = text.find('*');
    if (star == std::string_view::npos || star + 3 > text.size() || hexDigit(text[star + 1]) < 0 ||
        hexDigit(text[star + 2]) < 0) {
      track_.skip(SkipCause::Checksum, line);
      return;
    }
    if (star + 3 < text.size()) {
      track_.skip(SkipCause::AfterChecksum, line);
      return;
    }
    const std::string_view body = text.substr(1, star - 1);
    const auto given =
        static_cast<unsigned>(hexDigit(text[star + 1]) * 16 + hexDigit(text[star + 2]));
    if (nmeaChecksum(body) != given) {
      track_.skip(SkipCause::Checksum, line);
      return;
    }
    const std::vector<std::string_view> f = splitFields(body);
    if (f[0].size() != 5 || !knownTalker(f[0].substr(0, 2))) return;
    const std::string_view kind = f[0].substr(2);
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
    if (epochs_.empty()) return std::move(track_);
    std::vector<double> day(epochs_.size());
    std::size_t first = 0;
    while (first < epochs_.size() && !epochs_[first].dayStart) ++first;
    if (first < epochs_.size()) {
      day[first] = *epochs_[first].dayStart;
      // Fixes before the first date take it, a day earlier where their time of day lies more
      // than twelve hours after the next one's.
      for (std::size_t i = first; i-- > 0;) {
        day[i] = day[i + 1] -
                 (epochs_[i].secondOfDay > epochs_[i + 1].secondOfDay + kHalfDayS ? kDayS : 0);
      }
    } else if (dating_.dayS) {
      first = 0;
      day[0] = *dating_.dayS;
    } else if (dating_.aroundS) {
      first = 0;
      day[0] = std::floor((*dating_.aroundS - epochs_[0].secondOfDay + kHalfDayS) / kDayS) * kDayS;
    } else {
      throw AuthorError(track_.fileName +
                        ": 日付がわかりません（日付を含む RMC 文がなく、動画の撮影日時もありませ"
                        "ん）。--date で最初の点の日付 (UTC) を指定してください");
    }
    for (std::size_t i = first + 1; i < epochs_.size(); ++i) {
      if (epochs_[i].dayStart) {
        day[i] = *epochs_[i].dayStart;
      } else {
        // Past midnight without an RMC.
        day[i] = day[i - 1] +
                 (epochs_[i].secondOfDay + kHalfDayS < epochs_[i - 1].secondOfDay ? kDayS : 0);
      }
    }
    for (std::size_t i = 0; i < epochs_.size(); ++i) {
      const Epoch& e = epochs_[i];
      TrackPoint p;
      p.timeS = day[i] + e.secondOfDay;
      if (!track_.points.empty() && p.timeS <= track_.points.back().timeS) {
        track_.skip(
            p.timeS < track_.points.back().timeS ? SkipCause::TimeBack : SkipCause::SameTime,
            e.line);
        continue;
      }
      p.latitudeDeg = e.lat;
      p.longitudeDeg = e.lon;
      p.hasElevation = e.height.has_value();
      p.elevationM = e.height.value_or(0);
      p.speedMps = e.speedMps;
      p.at = e.line;
      track_.points.push_back(p);
    }
    return std::move(track_);
  }

 private:
  [[noreturn]] void fail(const std::string& why) const {
    throw AuthorError(placeOf(track_, line_) + why);
  }

  // A sentence that gives no fix: counted, and the instant before it is over (a VTG after it
  // belongs to it, not to that instant).
  void skip(SkipCause cause) {
    flush();
    track_.skip(cause, line_);
  }

  // The instant of a sentence with a fix: the pending one when it has the same time, else a new
  // one. False after counting an empty time.
  bool at(std::string_view timeField) {
    if (timeField.empty()) {
      skip(SkipCause::EmptyField);
      return false;
    }
    double second = 0;
    if (!timeOfDay(timeField, second)) {
      fail("時刻 \"" + std::string(timeField.substr(0, 20)) + "\" が読めません");
    }
    if (pending_ && pending_->secondOfDay != second) flush();
    if (!pending_) {
      pending_ = Epoch{};
      pending_->secondOfDay = second;
      pending_->line = line_;
    }
    return true;
  }

  // A position's four fields; false after counting an empty one.
  bool position(std::string_view lat, std::string_view ns, std::string_view lon,
                std::string_view ew, const char* kind, double& latDeg, double& lonDeg) {
    if (lat.empty() || ns.empty() || lon.empty() || ew.empty()) {
      skip(SkipCause::EmptyField);
      return false;
    }
    if (!angle(lat, ns, true, latDeg)) fail(std::string(kind) + " の緯度が読めません");
    if (!angle(lon, ew, false, lonDeg)) fail(std::string(kind) + " の経度が読めません");
    return true;
  }

  void rmc(const std::vector<std::string_view>& f) {
    if (f.size() < 3 || f[2].empty()) return skip(SkipCause::EmptyField);
    const bool modeVoid = f.size() > 12 && f[12] == "N";
    if (f[2] != "A" || modeVoid) return skip(SkipCause::WithoutFix);
    if (f.size() < 10) return skip(SkipCause::EmptyField);
    double lat = 0, lon = 0;
    // Read before the instant is joined: a sentence without a position leaves it as it was.
    if (f[1].empty()) return skip(SkipCause::EmptyField);
    if (!position(f[3], f[4], f[5], f[6], "RMC", lat, lon)) return;
    std::optional<double> dayStart;
    if (!f[9].empty()) {
      const int d = f[9].size() == 6 ? digitsValue(f[9], 0, 2) : -1;
      const int m = f[9].size() == 6 ? digitsValue(f[9], 2, 2) : -1;
      const int y = f[9].size() == 6 ? digitsValue(f[9], 4, 2) : -1;
      if (d < 1 || d > 31 || m < 1 || m > 12 || y < 0) fail("RMC の日付が読めません");
      dayStart = utcSeconds(y < 80 ? 2000 + y : 1900 + y, m, d, 0, 0, 0);
    }
    double knots = -1;
    if (!f[7].empty() && (!number(f[7], knots) || knots < 0)) fail("RMC の速度が読めません");
    if (!at(f[1])) return;
    Epoch& e = *pending_;
    if (!e.positionFromGga) {
      e.lat = lat;
      e.lon = lon;
    }
    if (dayStart) e.dayStart = dayStart;
    if (knots >= 0) e.speedMps = knots * kKnotMps;
  }

  void gga(const std::vector<std::string_view>& f) {
    if (f.size() < 7 || f[6].empty()) return skip(SkipCause::EmptyField);
    double quality = 0;
    if (!number(f[6], quality)) fail("GGA の測位品質が読めません");
    if (quality == 0) return skip(SkipCause::WithoutFix);
    if (f.size() < 10 || f[1].empty()) return skip(SkipCause::EmptyField);
    double lat = 0, lon = 0;
    if (!position(f[2], f[3], f[4], f[5], "GGA", lat, lon)) return;
    std::optional<double> height;
    if (!f[9].empty()) {
      double h = 0;
      const bool negative = f[9].front() == '-';
      if (!number(negative ? f[9].substr(1) : f[9], h)) fail("GGA の高度が読めません");
      height = negative ? -h : h;
    }
    if (!at(f[1])) return;
    Epoch& e = *pending_;
    e.lat = lat;
    e.lon = lon;
    e.positionFromGga = true;
    if (height) e.height = height;
  }

  void vtg(const std::vector<std::string_view>& f) {
    if (!pending_ || f.size() < 8 || f[7].empty()) return;
    if (f.size() > 9 && f[9] == "N") return;  // no fix: no speed
    double kmh = 0;
    if (!number(f[7], kmh) || kmh < 0) fail("VTG の速度が読めません");
    if (pending_->speedMps < 0) pending_->speedMps = kmh / 3.6;
  }

  void flush() {
    if (!pending_) return;
    epochs_.push_back(*pending_);
    pending_.reset();
  }

  TrackDating dating_;
  Track track_;
  std::vector<Epoch> epochs_;
  std::optional<Epoch> pending_;
  std::int64_t line_ = 0;
};

}  // namespace

unsigned nmeaChecksum(std::string_view body) {
  unsigned sum = 0;
  for (const char c : body) sum ^= static_cast<unsigned char>(c);
  return sum;
}

bool containsNmeaSentence(std::string_view bytes) {
  for (std::size_t at = bytes.find('$'); at != std::string_view::npos;
       at = bytes.find('$', at + 1)) {
    if (sentenceAt(bytes, at)) return true;
  }
  return false;
}

Track readNmea(std::string_view bytes, const std::string& fileName, const TrackDating& dating) {
  Reader reader(fileName, dating);
  std::int64_t line = 1;
  std::size_t i = 0;
  while (i < bytes.size()) {
    i = bytes.find_first_of("$\n", i);
    if (i == std::string_view::npos) break;
    if (bytes[i] == '\n') {
      ++line;
      ++i;
      continue;
    }
    if (!sentenceAt(bytes, i)) {
      ++i;
      continue;
    }
    std::size_t end = bytes.find_first_of("\r\n$", i + 1);
    if (end == std::string_view::npos) end = bytes.size();
    reader.sentence(bytes.substr(i, end - i), line);
    i = end;
  }
  return reader.finish();
}

}  // namespace dravolin::author
