#include "author/track_material.h"

#include <GeographicLib/LocalCartesian.hpp>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <numbers>
#include <random>

#include "author/nmea_reader.h"

namespace dravolin::author::testing {

namespace {

constexpr double kPi = std::numbers::pi;

std::tm utcOf(double t) {
  const auto s = static_cast<std::time_t>(std::floor(t));
  std::tm tm{};
  gmtime_r(&s, &tm);
  return tm;
}

std::string nmeaAngle(double deg, bool latitude) {
  const double a = std::abs(deg);
  const int whole = static_cast<int>(a);
  char text[32];
  std::snprintf(text, sizeof text, latitude ? "%02d%08.5f,%c" : "%03d%08.5f,%c", whole,
                (a - whole) * 60, latitude ? (deg < 0 ? 'S' : 'N') : (deg < 0 ? 'W' : 'E'));
  return text;
}

}  // namespace

Route::Route(double lengthM, std::function<double(double)> curvature,
             std::function<double(double)> gradientPermil) {
  const auto n = static_cast<std::size_t>(std::ceil(lengthM)) + 2;
  east_.assign(n, 0);
  north_.assign(n, 0);
  height_.assign(n, kBaseHeightM);
  double heading = kHeadingDeg * kPi / 180;
  for (std::size_t i = 1; i < n; ++i) {
    const double mid = static_cast<double>(i) - 0.5;
    heading += curvature(mid);
    east_[i] = east_[i - 1] + std::sin(heading);
    north_[i] = north_[i - 1] + std::cos(heading);
    height_[i] = height_[i - 1] + gradientPermil(mid) / 1000;
  }
}

void Route::at(double m, double& lat, double& lon, double& height) const {
  const double c = std::clamp(m, 0.0, static_cast<double>(east_.size() - 2));
  const auto i = static_cast<std::size_t>(c);
  const double f = c - static_cast<double>(i);
  const double e = east_[i] + (east_[i + 1] - east_[i]) * f;
  const double n = north_[i] + (north_[i + 1] - north_[i]) * f;
  height = height_[i] + (height_[i + 1] - height_[i]) * f;
  static const GeographicLib::LocalCartesian plane(kOriginLat, kOriginLon, 0);
  double h = 0;
  plane.Reverse(e, n, 0, lat, lon, h);
}

std::vector<Fix> recordRun(const Route& route, double videoStartUtc, double fromUtc, double toUtc,
                           const std::function<double(double)>& distanceAt,
                           const std::function<double(double)>& speedAt,
                           const std::function<bool(double)>& lost, const ReceiverNoise& noise) {
  std::mt19937 random(noise.seed);
  std::uniform_real_distribution<double> unit(-1.0, 1.0);
  std::uniform_real_distribution<double> phase(0, 2 * kPi);
  const double periods[3] = {300, 170, 95};
  const double shares[3] = {0.48, 0.32, 0.20};
  double phases[2][3];
  for (auto& axis : phases) {
    for (double& p : axis) p = phase(random);
  }
  std::vector<Fix> fixes;
  for (double utc = std::ceil(fromUtc); utc <= toUtc; utc += 1) {
    Fix f;
    f.utc = utc;
    f.videoTimeS = utc - videoStartUtc;
    const double m = distanceAt(f.videoTimeS);
    if (lost(m)) {
      f.valid = false;
      fixes.push_back(f);
      continue;
    }
    route.at(m, f.lat, f.lon, f.height);
    double wander[2] = {0, 0};
    for (int axis = 0; axis < 2; ++axis) {
      for (int k = 0; k < 3; ++k) {
        wander[axis] +=
            noise.wanderM * shares[k] * std::sin(2 * kPi * utc / periods[k] + phases[axis][k]);
      }
    }
    const double east = wander[0] + noise.jitterM * unit(random);
    const double north = wander[1] + noise.jitterM * unit(random);
    f.lat += north / 111132.0;
    f.lon += east / (111320.0 * std::cos(f.lat * kPi / 180));
    f.height += noise.heightJitterM * unit(random);
    f.speedMps = std::max(0.0, speedAt(f.videoTimeS) + noise.speedJitterMps * unit(random));
    fixes.push_back(f);
  }
  return fixes;
}

std::string gpxText(const std::vector<Fix>& fixes, const std::vector<Waypoint>& waypoints,
                    bool version10) {
  std::string s = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  s +=
      version10
          ? "<gpx version=\"1.0\" creator=\"tests\" xmlns=\"http://www.topografix.com/GPX/1/0\">\n"
          : "<gpx version=\"1.1\" creator=\"tests\" xmlns=\"http://www.topografix.com/GPX/1/1\">\n";
  char line[256];
  for (const Waypoint& w : waypoints) {
    std::snprintf(line, sizeof line, "  <wpt lat=\"%.7f\" lon=\"%.7f\"><name>%s</name></wpt>\n",
                  w.latitudeDeg, w.longitudeDeg, w.name.c_str());
    s += line;
  }
  s += "  <trk><name>ride</name><trkseg>\n";
  for (const Fix& f : fixes) {
    if (!f.valid) continue;
    const std::tm tm = utcOf(f.utc);
    char speed[48] = "";
    if (version10) std::snprintf(speed, sizeof speed, "<speed>%.3f</speed>", f.speedMps);
    std::snprintf(line, sizeof line,
                  "    <trkpt lat=\"%.7f\" lon=\"%.7f\"><ele>%.2f</ele>"
                  "<time>%04d-%02d-%02dT%02d:%02d:%02dZ</time>%s</trkpt>\n",
                  f.lat, f.lon, f.height, tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour,
                  tm.tm_min, tm.tm_sec, speed);
    s += line;
  }
  s += "  </trkseg></trk>\n</gpx>\n";
  return s;
}

std::string sentence(const std::string& body) {
  char sum[8];
  std::snprintf(sum, sizeof sum, "*%02X", nmeaChecksum(body));
  return "$" + body + sum;
}

std::string nmeaText(const std::vector<Fix>& fixes, int damagedEvery) {
  std::string s;
  int count = 0;
  const auto add = [&](const std::string& body) {
    std::string line = sentence(body);
    if (damagedEvery > 0 && ++count % damagedEvery == 0) line[7] = line[7] == '1' ? '2' : '1';
    s += line + "\r\n";
  };
  char body[256];
  for (const Fix& f : fixes) {
    const std::tm tm = utcOf(f.utc);
    char hms[64], date[48];
    std::snprintf(hms, sizeof hms, "%02d%02d%05.2f", tm.tm_hour, tm.tm_min,
                  tm.tm_sec + (f.utc - std::floor(f.utc)));
    std::snprintf(date, sizeof date, "%02d%02d%02d", tm.tm_mday, tm.tm_mon + 1, tm.tm_year % 100);
    if (!f.valid) {
      std::snprintf(body, sizeof body, "GPRMC,%s,V,,,,,,,%s,,,N", hms, date);
      add(body);
      std::snprintf(body, sizeof body, "GPGGA,%s,,,,,0,00,,,M,,M,,", hms);
      add(body);
      continue;
    }
    const std::string lat = nmeaAngle(f.lat, true), lon = nmeaAngle(f.lon, false);
    std::snprintf(body, sizeof body, "GNRMC,%s,A,%s,%s,%.3f,30.0,%s,,,A", hms, lat.c_str(),
                  lon.c_str(), f.speedMps * 3600 / 1852, date);
    add(body);
    std::snprintf(body, sizeof body, "GNGGA,%s,%s,%s,1,09,0.9,%.2f,M,39.4,M,,", hms, lat.c_str(),
                  lon.c_str(), f.height);
    add(body);
    std::snprintf(body, sizeof body, "GNVTG,30.0,T,,M,%.3f,N,%.3f,K,A", f.speedMps * 3600 / 1852,
                  f.speedMps * 3.6);
    add(body);
  }
  return s;
}

void bigEndian32(std::vector<std::uint8_t>& out, std::int64_t v) {
  for (int i = 3; i >= 0; --i) out.push_back(static_cast<std::uint8_t>((v >> (8 * i)) & 0xFF));
}

void bigEndian16(std::vector<std::uint8_t>& out, int v) {
  out.push_back(static_cast<std::uint8_t>((v >> 8) & 0xFF));
  out.push_back(static_cast<std::uint8_t>(v & 0xFF));
}

std::vector<std::uint8_t> klv(const char key[5], char type, int size, int repeat,
                              const std::vector<std::uint8_t>& data) {
  std::vector<std::uint8_t> out(key, key + 4);
  out.push_back(static_cast<std::uint8_t>(type));
  out.push_back(static_cast<std::uint8_t>(size));
  bigEndian16(out, repeat);
  out.insert(out.end(), data.begin(), data.end());
  while (out.size() % 4 != 0) out.push_back(0);
  return out;
}

std::vector<std::uint8_t> nest(const char key[5], const std::vector<std::uint8_t>& inside) {
  return klv(key, 0, 4, static_cast<int>(inside.size() / 4), inside);
}

std::vector<GpmfPayload> gpmfPayloads(const std::vector<Fix>& fixes, bool gps9) {
  std::vector<GpmfPayload> out;
  Fix last;
  for (const Fix& f : fixes) {
    const Fix& shown = f.valid ? f : last;
    if (f.valid) last = f;
    std::vector<std::uint8_t> s;
    const auto append = [&s](const std::vector<std::uint8_t>& v) {
      s.insert(s.end(), v.begin(), v.end());
    };
    append(klv("STNM", 'c', 3, 1, {'G', 'P', 'S'}));
    const std::vector<std::int64_t> scale =
        gps9 ? std::vector<std::int64_t>{10000000, 10000000, 1000, 1000, 100, 1, 1000, 100, 1}
             : std::vector<std::int64_t>{10000000, 10000000, 1000, 1000, 100};
    std::vector<std::uint8_t> scal;
    for (const std::int64_t v : scale) bigEndian32(scal, v);
    std::vector<std::uint8_t> sample;
    bigEndian32(sample, std::llround(shown.lat * 1e7));
    bigEndian32(sample, std::llround(shown.lon * 1e7));
    bigEndian32(sample, std::llround(shown.height * 1000));
    bigEndian32(sample, std::llround(shown.speedMps * 1000));
    bigEndian32(sample, std::llround(shown.speedMps * 100));
    if (gps9) {
      const double sinceEpoch2000 = f.utc - 946684800.0;
      const double days = std::floor(sinceEpoch2000 / 86400);
      bigEndian32(sample, static_cast<std::int64_t>(days));
      bigEndian32(sample, std::llround((sinceEpoch2000 - days * 86400) * 1000));
      bigEndian16(sample, 90);
      bigEndian16(sample, f.valid ? 3 : 0);
      append(klv("TYPE", 'c', 9, 1, {'l', 'l', 'l', 'l', 'l', 'l', 'l', 'S', 'S'}));
      append(klv("SCAL", 'l', 4, static_cast<int>(scale.size()), scal));
      append(klv("GPS9", '?', 32, 1, sample));
    } else {
      const std::tm tm = utcOf(f.utc);
      char u[352];
      std::snprintf(u, sizeof u, "%02d%02d%02d%02d%02d%06.3f", tm.tm_year % 100, tm.tm_mon + 1,
                    tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec + (f.utc - std::floor(f.utc)));
      std::vector<std::uint8_t> fix;
      bigEndian32(fix, f.valid ? 3 : 0);
      append(klv("GPSF", 'L', 4, 1, fix));
      append(klv("GPSU", 'U', 16, 1, std::vector<std::uint8_t>(u, u + 16)));
      append(klv("SCAL", 'l', 4, static_cast<int>(scale.size()), scal));
      append(klv("GPS5", 'l', 20, 1, sample));
    }
    std::vector<std::uint8_t> device = klv("DVNM", 'c', 6, 1, {'C', 'a', 'm', 'e', 'r', 'a'});
    const std::vector<std::uint8_t> stream = nest("STRM", s);
    device.insert(device.end(), stream.begin(), stream.end());
    GpmfPayload p;
    p.bytes = nest("DEVC", device);
    p.timeS = f.videoTimeS;
    p.durationS = 1.0;
    out.push_back(std::move(p));
  }
  return out;
}

}  // namespace dravolin::author::testing
