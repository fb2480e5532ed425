#include "author/gpx_reader.h"

#include <expat.h>

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

namespace dravolin::author {

namespace {

constexpr std::string_view kGpx10 = "http://www.topografix.com/GPX/1/0";
constexpr std::string_view kGpx11 = "http://www.topografix.com/GPX/1/1";
constexpr char kSeparator = '\x01';  // between a name's namespace and its local part
// Longest text kept of an element we read (a name, a number, a time); longer text is cut.
constexpr std::size_t kTextRoom = 1024;

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string_view trimmed(std::string_view s) {
  while (!s.empty() && isSpace(s.front())) s.remove_prefix(1);
  while (!s.empty() && isSpace(s.back())) s.remove_suffix(1);
  return s;
}

bool parseNumber(std::string_view text, double& value) {
  text = trimmed(text);
  if (text.empty()) return false;
  if (text.front() == '+') text.remove_prefix(1);
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, value, std::chars_format::fixed);
  return ec == std::errc() && ptr == end && std::isfinite(value);
}

bool digits(std::string_view s, std::size_t pos, std::size_t n, int& value) {
  if (pos + n > s.size()) return false;
  value = 0;
  for (std::size_t i = pos; i < pos + n; ++i) {
    if (s[i] < '0' || s[i] > '9') return false;
    value = value * 10 + (s[i] - '0');
  }
  return true;
}

// The element a handler is in, as far as the reader cares.
enum class Element {
  Other,
  Gpx,
  Trk,
  Trkseg,
  Trkpt,
  Wpt,
  Rte,
  Rtept,
  Ele,
  Time,
  Speed,
  Name,
  Foreign,
  Extensions,
  Extension
};

struct Parse {
  explicit Parse(const std::string& name) : fileName(name) {}
  XML_Parser parser = nullptr;
  const std::string& fileName;
  Track track;
  std::string ns;  // the namespace of the root and of every element read (empty: none)
  std::vector<Element> stack;
  std::string text;
  TrackPoint point;
  bool pointHasTime = false;
  Waypoint waypoint;
  std::string error;  // set when a handler stopped the parser
  // The track points: how many, how many of them without a time (and the first one's line),
  // the points merged into the last fix (its own included), and whether the next fix starts a
  // track or segment after the first.
  int trackPoints = 0;
  int untimed = 0;
  std::int64_t firstUntimedLine = 0;
  int merged = 1;
  bool segmentPending = false;
  int waypoints = 0;
  int routePoints = 0;

  std::int64_t line() const { return static_cast<std::int64_t>(XML_GetCurrentLineNumber(parser)); }
  void fail(const std::string& why) {
    if (error.empty()) error = placeOf(track, line()) + why;
    XML_StopParser(parser, XML_FALSE);
  }
};

// Splits "namespace<sep>local" into its parts (no namespace: empty).
void splitName(const XML_Char* name, std::string_view& ns, std::string_view& local) {
  const std::string_view full(name);
  const std::size_t sep = full.find(kSeparator);
  if (sep == std::string_view::npos) {
    ns = {};
    local = full;
  } else {
    ns = full.substr(0, sep);
    local = full.substr(sep + 1);
  }
}

// The lat and lon attributes of a trkpt or wpt; false after reporting the fault.
bool readPosition(Parse& p, const XML_Char** attributes, double& lat, double& lon) {
  bool haveLat = false, haveLon = false;
  for (int i = 0; attributes[i] != nullptr; i += 2) {
    std::string_view ns, local;
    splitName(attributes[i], ns, local);
    if (!ns.empty()) continue;
    if (local == "lat") {
      if (!parseNumber(attributes[i + 1], lat) || std::abs(lat) > 90) {
        p.fail("緯度 lat=\"" + std::string(attributes[i + 1]).substr(0, 40) + "\" が読めません");
        return false;
      }
      haveLat = true;
    } else if (local == "lon") {
      if (!parseNumber(attributes[i + 1], lon) || std::abs(lon) > 180) {
        p.fail("経度 lon=\"" + std::string(attributes[i + 1]).substr(0, 40) + "\" が読めません");
        return false;
      }
      haveLon = true;
    }
  }
  if (!haveLat || !haveLon) {
    p.fail("点に lat または lon がありません");
    return false;
  }
  return true;
}

Element classify(const Parse& p, std::string_view local) {
  const Element parent = p.stack.empty() ? Element::Other : p.stack.back();
  switch (parent) {
    case Element::Gpx:
      if (local == "trk") return Element::Trk;
      if (local == "wpt") return Element::Wpt;
      if (local == "rte") return Element::Rte;
      return Element::Other;
    case Element::Rte:
      return local == "rtept" ? Element::Rtept : Element::Other;
    case Element::Trk:
      return local == "trkseg" ? Element::Trkseg : Element::Other;
    case Element::Trkseg:
      return local == "trkpt" ? Element::Trkpt : Element::Other;
    case Element::Trkpt:
      if (local == "ele") return Element::Ele;
      if (local == "time") return Element::Time;
      if (local == "speed") return Element::Speed;
      if (local == "extensions") return Element::Extensions;
      return Element::Other;
    case Element::Wpt:
      return local == "name" ? Element::Name : Element::Other;
    default:
      return Element::Other;
  }
}

// A track point read: kept, merged into the fix of the same time, or skipped and counted.
void addPoint(Parse& p) {
  ++p.trackPoints;
  Track& t = p.track;
  if (!p.pointHasTime) {
    if (p.untimed++ == 0) p.firstUntimedLine = p.point.at;
    t.skip(SkipCause::WithoutTime, p.point.at);
    return;
  }
  if (!t.points.empty() && p.point.timeS < t.points.back().timeS) {
    t.skip(SkipCause::TimeBack, p.point.at);
    return;
  }
  if (!t.points.empty() && p.point.timeS == t.points.back().timeS) {
    // A point written twice, or a logger's fixes of one second: their mean.
    TrackPoint& last = t.points.back();
    const double n = p.merged++;
    const auto mean = [n](double a, double b) { return (a * n + b) / (n + 1); };
    last.latitudeDeg = mean(last.latitudeDeg, p.point.latitudeDeg);
    last.longitudeDeg = mean(last.longitudeDeg, p.point.longitudeDeg);
    if (p.point.hasElevation) {
      last.elevationM =
          last.hasElevation ? mean(last.elevationM, p.point.elevationM) : p.point.elevationM;
      last.hasElevation = true;
    }
    if (p.point.speedMps >= 0) {
      last.speedMps = last.speedMps >= 0 ? mean(last.speedMps, p.point.speedMps) : p.point.speedMps;
    }
    t.skip(SkipCause::SameTime, p.point.at);
    return;
  }
  p.merged = 1;
  p.point.segmentStart = p.segmentPending;
  p.segmentPending = false;
  t.points.push_back(p.point);
}

void XMLCALL onStart(void* data, const XML_Char* name, const XML_Char** attributes) {
  auto& p = *static_cast<Parse*>(data);
  std::string_view ns, local;
  splitName(name, ns, local);
  if (p.stack.empty()) {
    if (local != "gpx" || (!ns.empty() && ns != kGpx10 && ns != kGpx11)) {
      p.fail("GPX 1.0 または 1.1 のファイルではありません（最初の要素が " +
             std::string(local).substr(0, 40) + "）");
      return;
    }
    // Without its namespace (as some loggers write it) the version attribute tells.
    bool version10 = ns == kGpx10;
    if (ns.empty()) {
      for (int i = 0; attributes[i] != nullptr; i += 2) {
        if (std::string_view(attributes[i]) == "version") {
          version10 = trimmed(attributes[i + 1]) == "1.0";
        }
      }
    }
    p.ns = std::string(ns);
    p.track.format = version10 ? "GPX 1.0" : "GPX 1.1";
    p.stack.push_back(Element::Gpx);
    return;
  }
  const Element parent = p.stack.back();
  // Inside a point's extensions, of any namespace: a "speed" (Garmin's TrackPointExtension,
  // OsmAnd's and others give the receiver's speed so, in m/s) is read, the rest skipped.
  if (parent == Element::Extensions || parent == Element::Extension) {
    p.stack.push_back(local == "speed" ? Element::Speed : Element::Extension);
    p.text.clear();
    return;
  }
  if (parent == Element::Foreign || parent == Element::Other || ns != p.ns) {
    p.stack.push_back(Element::Foreign);
    return;
  }
  const Element e = classify(p, local);
  p.stack.push_back(e);
  p.text.clear();
  if (e == Element::Trk || e == Element::Trkseg) {
    // The time before the first fix of a later track or segment is a dropout.
    p.segmentPending = !p.track.points.empty();
  } else if (e == Element::Rtept) {
    ++p.routePoints;
  } else if (e == Element::Trkpt) {
    p.point = TrackPoint{};
    p.point.at = p.line();
    p.pointHasTime = false;
    readPosition(p, attributes, p.point.latitudeDeg, p.point.longitudeDeg);
  } else if (e == Element::Wpt) {
    ++p.waypoints;
    p.waypoint = Waypoint{};
    readPosition(p, attributes, p.waypoint.latitudeDeg, p.waypoint.longitudeDeg);
  }
}

void XMLCALL onEnd(void* data, const XML_Char*) {
  auto& p = *static_cast<Parse*>(data);
  if (p.stack.empty()) return;
  const Element e = p.stack.back();
  p.stack.pop_back();
  switch (e) {
    case Element::Ele:
      if (!parseNumber(p.text, p.point.elevationM)) {
        p.fail("標高 ele \"" + std::string(trimmed(p.text)).substr(0, 40) + "\" が読めません");
      }
      p.point.hasElevation = true;
      break;
    case Element::Time:
      if (!parseIsoTime(trimmed(p.text), p.point.timeS)) {
        p.fail("時刻 time \"" + std::string(trimmed(p.text)).substr(0, 40) + "\" が読めません");
      }
      p.pointHasTime = true;
      break;
    case Element::Speed:
      if (!parseNumber(p.text, p.point.speedMps) || p.point.speedMps < 0) {
        p.fail("速度 speed \"" + std::string(trimmed(p.text)).substr(0, 40) + "\" が読めません");
      }
      break;
    case Element::Name:
      p.waypoint.name = std::string(trimmed(p.text));
      break;
    case Element::Trkpt:
      addPoint(p);
      break;
    case Element::Wpt:
      if (!p.waypoint.name.empty()) p.track.waypoints.push_back(p.waypoint);
      break;
    default:
      break;
  }
  p.text.clear();
}

void XMLCALL onText(void* data, const XML_Char* s, int len) {
  auto& p = *static_cast<Parse*>(data);
  if (p.stack.empty()) return;
  const Element e = p.stack.back();
  if (e != Element::Ele && e != Element::Time && e != Element::Speed && e != Element::Name) return;
  const std::size_t room = kTextRoom - std::min(kTextRoom, p.text.size());
  p.text.append(s, std::min<std::size_t>(room, static_cast<std::size_t>(len)));
}

void XMLCALL onEntityDeclaration(void* data, const XML_Char*, int, const XML_Char*, int,
                                 const XML_Char*, const XML_Char*, const XML_Char*,
                                 const XML_Char*) {
  static_cast<Parse*>(data)->fail("実体宣言 (ENTITY) は受け付けません");
}

}  // namespace

bool parseIsoTime(std::string_view s, double& seconds) {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  if (!digits(s, 0, 4, year) || s.size() < 19 || s[4] != '-' || !digits(s, 5, 2, month) ||
      s[7] != '-' || !digits(s, 8, 2, day) || (s[10] != 'T' && s[10] != 't') ||
      !digits(s, 11, 2, hour) || s[13] != ':' || !digits(s, 14, 2, minute) || s[16] != ':' ||
      !digits(s, 17, 2, second)) {
    return false;
  }
  if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 60) {
    return false;
  }
  std::size_t pos = 19;
  double fraction = 0;
  if (pos < s.size() && s[pos] == '.') {
    ++pos;
    double scale = 0.1;
    const std::size_t first = pos;
    while (pos < s.size() && s[pos] >= '0' && s[pos] <= '9') {
      fraction += (s[pos] - '0') * scale;
      scale /= 10;
      ++pos;
    }
    if (pos == first) return false;
  }
  double zone = 0;
  if (pos < s.size()) {
    if (s[pos] == 'Z' || s[pos] == 'z') {
      ++pos;
    } else if (s[pos] == '+' || s[pos] == '-') {
      int zh = 0, zm = 0;
      if (!digits(s, pos + 1, 2, zh) || pos + 3 >= s.size() || s[pos + 3] != ':' ||
          !digits(s, pos + 4, 2, zm) || zh > 14 || zm > 59) {
        return false;
      }
      zone = (s[pos] == '+' ? 1 : -1) * (zh * 3600.0 + zm * 60.0);
      pos += 6;
    }
  }
  if (pos != s.size()) return false;
  seconds = utcSeconds(year, month, day, hour, minute, second + fraction) - zone;
  return true;
}

Track readGpx(std::string_view bytes, const std::string& fileName) {
  Parse p(fileName);
  p.track.fileName = fileName;
  std::unique_ptr<std::remove_pointer_t<XML_Parser>, decltype(&XML_ParserFree)> parser(
      XML_ParserCreateNS(nullptr, kSeparator), &XML_ParserFree);
  if (!parser) throw AuthorError(fileName + ": XML の読み取りを始められません");
  p.parser = parser.get();
  XML_SetUserData(p.parser, &p);
  XML_SetElementHandler(p.parser, onStart, onEnd);
  XML_SetCharacterDataHandler(p.parser, onText);
  XML_SetEntityDeclHandler(p.parser, onEntityDeclaration);
  // Fed in pieces, as the length argument is an int.
  constexpr std::size_t kPiece = 1 << 20;
  std::size_t offset = 0;
  do {
    const std::size_t n = std::min(kPiece, bytes.size() - offset);
    const bool last = offset + n == bytes.size();
    if (XML_Parse(p.parser, bytes.data() + offset, static_cast<int>(n), last ? 1 : 0) !=
        XML_STATUS_OK) {
      if (!p.error.empty()) throw AuthorError(p.error);
      throw AuthorError(placeOf(p.track, p.line()) + "XML として読めません（" +
                        XML_ErrorString(XML_GetErrorCode(p.parser)) + "）");
    }
    offset += n;
  } while (offset < bytes.size());
  if (!p.error.empty()) throw AuthorError(p.error);
  if (p.track.format.empty()) throw AuthorError(fileName + ": GPX の要素 gpx がありません");
  if (p.trackPoints == 0) {
    std::string what;
    if (p.waypoints > 0) what += "経由点 (wpt) " + std::to_string(p.waypoints) + " 点";
    if (p.routePoints > 0) {
      what += (what.empty() ? "" : "と") + std::string("ルートの点 (rtept) ") +
              std::to_string(p.routePoints) + " 点";
    }
    throw AuthorError(fileName + ": 走行の軌跡 (trk の点 trkpt) がありません" +
                      (what.empty() ? std::string()
                                    : "（" + what +
                                          "だけのファイルです。記録した軌跡を書き出した "
                                          "GPX を指定してください）"));
  }
  if (p.track.points.empty() && p.untimed == p.trackPoints) {
    throw AuthorError(placeOf(p.track, p.firstUntimedLine) + "点に時刻 time がありません（" +
                      std::to_string(p.untimed) + " 点すべてに時刻がありません）");
  }
  return std::move(p.track);
}

}  // namespace dravolin::author
