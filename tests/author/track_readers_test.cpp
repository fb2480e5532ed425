#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <string>
#include <vector>

#include "author/gpmf_reader.h"
#include "author/gpx_reader.h"
#include "author/measure.h"
#include "author/nmea_reader.h"
#include "author/track_material.h"

namespace dravolin::author {
namespace {

using testing::bigEndian16;
using testing::bigEndian32;
using testing::klv;
using testing::nest;
using testing::sentence;

const double k2024 = utcSeconds(2024, 5, 1, 0, 0, 0);

// A reader's result for a table row: the fixes, or the message it refused the file with.
struct Read {
  Track track;
  std::string error;
};

template <class F>
Read attempt(F&& read) {
  Read r;
  try {
    r.track = read();
    checkTrack(r.track);
  } catch (const AuthorError& e) {
    r.error = e.what();
  }
  return r;
}

std::string gpx11(const std::string& body) {
  return "<?xml version=\"1.0\"?>\n<gpx version=\"1.1\" "
         "xmlns=\"http://www.topografix.com/GPX/1/1\">\n" +
         body + "\n</gpx>\n";
}

std::string point(const std::string& inside, const char* lat = "35.5", const char* lon = "139.5") {
  return std::string("<trk><trkseg><trkpt lat=\"") + lat + "\" lon=\"" + lon + "\">" + inside +
         "</trkpt></trkseg></trk>";
}

struct GpxCase {
  const char* name;
  std::string text;
  std::size_t points;      // when it reads
  std::string error;       // a part of the message when it does not
  double timeS = 0;        // of the first point, from 2024-05-01 00:00 UTC
  double elevation = NAN;  // NaN: none
  double speed = -1;
};

TEST(GpxReader, ReadsPointsAndRefusesWhatIsNotGpx) {
  const std::vector<GpxCase> cases = {
      {"1.1 with height", gpx11(point("<ele>12.5</ele><time>2024-05-01T00:00:10Z</time>")), 1, "",
       10, 12.5},
      {"a zone and fractions", gpx11(point("<time>2024-05-01T09:00:10.25+09:00</time>")), 1, "",
       10.25},
      {"1.0 with speed",
       "<gpx version=\"1.0\" xmlns=\"http://www.topografix.com/GPX/1/0\">" +
           point("<time>2024-05-01T00:00:00Z</time><speed>16.5</speed>") + "</gpx>",
       1, "", 0, NAN, 16.5},
      {"speed in a point's extensions",
       gpx11(point("<time>2024-05-01T00:00:00Z</time><extensions><x:TrackPointExtension "
                   "xmlns:x=\"urn:garmin\"><x:speed>3.5</x:speed></x:TrackPointExtension>"
                   "</extensions>")),
       1, "", 0, NAN, 3.5},
      {"foreign elements skipped",
       gpx11("<metadata><name>x</name></metadata><o:thing xmlns:o=\"urn:o\"><trkpt/></o:thing>" +
             point("<time>2024-05-01T00:00:00Z</time>")),
       1, ""},
      {"segments one after another",
       gpx11("<trk><trkseg><trkpt lat=\"1\" lon=\"2\"><time>2024-05-01T00:00:00Z</time></trkpt>"
             "</trkseg><trkseg><trkpt lat=\"1\" lon=\"2.001\"><time>2024-05-01T00:00:01Z</time>"
             "</trkpt></trkseg></trk>"),
       2, ""},
      {"a point without time", gpx11("\n" + point("<ele>1</ele>")), 0, "4行目: 点に時刻 time"},
      {"latitude beyond 90", gpx11(point("<time>2024-05-01T00:00:00Z</time>", "90.001")), 0,
       "緯度"},
      {"latitude not a number", gpx11(point("<time>2024-05-01T00:00:00Z</time>", "1e5")), 0,
       "緯度"},
      {"a time that is no time", gpx11(point("<time>2024-13-01T00:00:00Z</time>")), 0, "時刻"},
      {"height not a number", gpx11(point("<ele>high</ele><time>2024-05-01T00:00:00Z</time>")), 0,
       "標高"},
      {"not GPX", "<kml xmlns=\"http://www.opengis.net/kml/2.2\"/>", 0, "GPX 1.0 または 1.1"},
      {"GPX without its namespace", "<gpx version=\"1.1\"></gpx>", 0, "GPX 1.0 または 1.1"},
      {"broken XML", gpx11("<trk>\n<trkseg></trk>"), 0, "XML として読めません"},
      {"entities", "<!DOCTYPE gpx [<!ENTITY a \"aaaa\">]>\n<gpx/>", 0, "実体宣言"},
      {"no fix at all", gpx11(""), 0, "位置の記録"},
  };
  for (const GpxCase& c : cases) {
    SCOPED_TRACE(c.name);
    const Read r = attempt([&] { return readGpx(c.text, "ride.gpx"); });
    if (!c.error.empty()) {
      EXPECT_NE(r.error.find(c.error), std::string::npos) << r.error;
      EXPECT_EQ(r.error.rfind("ride.gpx: ", 0), 0u) << r.error;
      continue;
    }
    ASSERT_EQ(r.error, "");
    ASSERT_EQ(r.track.points.size(), c.points);
    const TrackPoint& p = r.track.points[0];
    if (c.timeS != 0) {
      EXPECT_DOUBLE_EQ(p.timeS - k2024, c.timeS);
    }
    EXPECT_EQ(p.hasElevation, !std::isnan(c.elevation));
    if (p.hasElevation) {
      EXPECT_DOUBLE_EQ(p.elevationM, c.elevation);
    }
    EXPECT_DOUBLE_EQ(p.speedMps, c.speed);
  }
}

TEST(GpxReader, NamedWaypointsAreKept) {
  const Track t =
      readGpx(gpx11("<wpt lat=\"35.1\" lon=\"139.2\"><name> 若葉台 </name></wpt><wpt lat=\"1\" "
                    "lon=\"2\"/>" +
                    point("<time>2024-05-01T00:00:00Z</time>")),
              "w.gpx");
  ASSERT_EQ(t.waypoints.size(), 1u);
  EXPECT_EQ(t.waypoints[0].name, "若葉台");
  EXPECT_DOUBLE_EQ(t.waypoints[0].latitudeDeg, 35.1);
}

struct NmeaCase {
  const char* name;
  std::vector<std::string> lines;
  std::size_t fixes;
  int checksumFailures;
  int withoutFix;
  std::string error;
};

TEST(NmeaReader, JoinsTheSentencesOfAnInstantAndSkipsDamagedOnes) {
  const std::string rmc = sentence("GPRMC,000010.00,A,3530.000,N,13930.000,E,10.0,0,010524,,,A");
  const std::string gga = sentence("GPGGA,000010.00,3530.000,N,13930.000,E,1,08,0.9,-12.5,M,,M,,");
  const std::string vtg = sentence("GPVTG,0,T,,M,10.0,N,18.52,K,A");
  std::string damaged = gga;
  damaged[10] = '9';
  std::string lowercase = sentence("GNRMC,000011.00,A,3530.000,N,13930.001,E,0,0,010524,,,A");
  for (std::size_t i = lowercase.size() - 2; i < lowercase.size(); ++i) {
    lowercase[i] = static_cast<char>(std::tolower(static_cast<unsigned char>(lowercase[i])));
  }
  const std::vector<NmeaCase> cases = {
      {"RMC, GGA and VTG", {rmc, gga, vtg}, 1, 0, 0, ""},
      {"a wrong checksum", {rmc, damaged}, 1, 1, 0, ""},
      {"no checksum", {rmc, gga.substr(0, gga.size() - 3)}, 1, 1, 0, ""},
      {"a cut-off line", {rmc.substr(0, 20), rmc}, 1, 1, 0, ""},
      {"receiver without fix",
       {sentence("GPRMC,000010.00,V,,,,,,,010524,,,N"),
        sentence("GPGGA,000010.00,,,,,0,00,,,M,,M,,")},
       0,
       0,
       1,
       "位置の記録"},
      {"other talkers and kinds",
       {rmc, sentence("GLGSV,1,1,00"), sentence("GAVTG,0,T,,M,1,N,1.85,K,A"),
        sentence("GBRMC,000012.00,A,3530.000,N,13930.000,E,0,0,010524,,,A")},
       1,
       0,
       0,
       ""},
      {"lower case checksum", {rmc, lowercase}, 2, 0, 0, ""},
      {"GGA without any RMC", {gga}, 0, 0, 0, "日付がわかりません"},
      {"a latitude that is no latitude",
       {rmc, sentence("GPGGA,000011.00,35x0.000,N,13930.000,E,1,08,0.9,1,M,,M,,")},
       0,
       0,
       0,
       "2行目: GGA の緯度"},
      {"a time of day of 25 digits",
       {rmc,
        sentence("GPGGA,1234567890123456789012345.00,3530.000,N,13930.000,E,1,08,0.9,1,M,,M,,")},
       0,
       0,
       0,
       "2行目: 時刻"},
      {"minutes of 60",
       {sentence("GPRMC,000010.00,A,3560.000,N,13930.000,E,0,0,010524,,,A")},
       0,
       0,
       0,
       "1行目: RMC の緯度"},
  };
  for (const NmeaCase& c : cases) {
    SCOPED_TRACE(c.name);
    std::string text;
    for (const std::string& l : c.lines) text += l + "\r\n";
    Read r = attempt([&] { return readNmea(text, "ride.nmea"); });
    if (!c.error.empty()) {
      EXPECT_NE(r.error.find(c.error), std::string::npos) << r.error;
      continue;
    }
    ASSERT_EQ(r.error, "");
    EXPECT_EQ(r.track.points.size(), c.fixes);
    EXPECT_EQ(r.track.checksumFailures, c.checksumFailures);
    EXPECT_EQ(r.track.withoutFix, c.withoutFix);
  }
}

TEST(NmeaReader, FixValuesAndDates) {
  const std::string text =
      sentence("GPGGA,235959.50,3530.000,N,13930.000,W,1,08,0.9,-12.5,M,,M,,") + "\n" +
      sentence("GPRMC,235959.50,A,3530.000,S,13930.000,W,10.0,0,300424,,,A") + "\n" +
      sentence("GPVTG,0,T,,M,10.0,N,18.52,K,A") + "\n" +
      sentence("GPGGA,000000.50,3530.000,S,13930.000,W,1,08,0.9,3,M,,M,,") + "\n";
  const Track t = readNmea(text, "n.nmea");
  ASSERT_EQ(t.points.size(), 2u);
  const TrackPoint& a = t.points[0];
  EXPECT_DOUBLE_EQ(a.timeS, utcSeconds(2024, 4, 30, 23, 59, 59.5));
  // The GGA came first: its position, the RMC's date and speed.
  EXPECT_DOUBLE_EQ(a.latitudeDeg, 35.5);
  EXPECT_DOUBLE_EQ(a.longitudeDeg, -139.5);
  EXPECT_DOUBLE_EQ(a.elevationM, -12.5);
  EXPECT_NEAR(a.speedMps, 10 * 1852.0 / 3600, 1e-12);
  EXPECT_EQ(a.at, 1);
  // Past midnight without an RMC: the next day.
  EXPECT_DOUBLE_EQ(t.points[1].timeS, utcSeconds(2024, 5, 1, 0, 0, 0.5));
  EXPECT_DOUBLE_EQ(t.points[1].latitudeDeg, -35.5);
}

// One GPMF payload: a device with a stream of `inside`.
GpmfPayload payload(const std::vector<std::uint8_t>& inside, double t, double dur,
                    std::int64_t offset = 1000) {
  std::vector<std::uint8_t> device = klv("DVNM", 'c', 6, 1, {'C', 'a', 'm', 'e', 'r', 'a'});
  const std::vector<std::uint8_t> stream = nest("STRM", inside);
  device.insert(device.end(), stream.begin(), stream.end());
  return {nest("DEVC", device), t, dur, offset};
}

std::vector<std::uint8_t> join(std::initializer_list<std::vector<std::uint8_t>> parts) {
  std::vector<std::uint8_t> out;
  for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

std::vector<std::uint8_t> longs(std::initializer_list<std::int64_t> values) {
  std::vector<std::uint8_t> out;
  for (const std::int64_t v : values) bigEndian32(out, v);
  return out;
}

std::vector<std::uint8_t> gpsu(const char* text) {
  return klv("GPSU", 'U', 16, 1, std::vector<std::uint8_t>(text, text + 16));
}

const std::vector<std::uint8_t> kScal5 =
    klv("SCAL", 'l', 4, 5, longs({10000000, 10000000, 1000, 1000, 100}));

std::vector<std::uint8_t> gps5(int samples) {
  std::vector<std::uint8_t> data;
  for (int i = 0; i < samples; ++i) {
    const auto s = longs({355000000 + i, 1395000000, 12500, 16000, 1600});
    data.insert(data.end(), s.begin(), s.end());
  }
  return klv("GPS5", 'l', 20, samples, data);
}

struct GpmfCase {
  const char* name;
  std::vector<GpmfPayload> payloads;
  std::size_t fixes;
  int withoutFix;
  std::string error;
};

TEST(GpmfReader, ReadsGps5AndGps9AndNamesTheOffsetOfDamage) {
  std::vector<std::uint8_t> gps9Sample =
      longs({355000000, 1395000000, 12500, 16000, 1600, 8886, 3600500});
  bigEndian16(gps9Sample, 150);
  bigEndian16(gps9Sample, 3);
  std::vector<std::uint8_t> gps9NoFix = gps9Sample;
  gps9NoFix.back() = 0;
  const auto scal9 =
      klv("SCAL", 'l', 4, 9, longs({10000000, 10000000, 1000, 1000, 100, 1, 1000, 100, 1}));
  const auto type9 = klv("TYPE", 'c', 6, 1, {'l', '[', '7', ']', 'S', 'S'});
  std::vector<std::uint8_t> runsPast = gps5(2);
  runsPast[7] = 40;  // 40 samples of 20 bytes in a payload of two
  std::vector<std::uint8_t> deep = gps5(1);
  for (int i = 0; i < 18; ++i) deep = nest("DEEP", deep);
  const std::vector<GpmfCase> cases = {
      {"GPS5", {payload(join({gpsu("240501000010.000"), kScal5, gps5(18)}), 5.0, 1.0)}, 18, 0, ""},
      {"GPS5 without a fix",
       {payload(
           join({klv("GPSF", 'L', 4, 1, longs({0})), gpsu("240501000010.000"), kScal5, gps5(3)}),
           5.0, 1.0)},
       0,
       3,
       "位置の記録"},
      {"GPS9 with an array in TYPE",
       {payload(join({type9, scal9, klv("GPS9", '?', 32, 2, join({gps9Sample, gps9NoFix}))}), 5.0,
                1.0)},
       1,
       1,
       ""},
      {"GPS9 preferred over GPS5",
       {payload(join({gpsu("240501000010.000"), kScal5, gps5(5), type9, scal9,
                      klv("GPS9", '?', 32, 1, gps9Sample)}),
                5.0, 1.0)},
       1,
       0,
       ""},
      {"a length past the payload",
       {payload(join({gpsu("240501000010.000"), kScal5, runsPast}), 0, 1)},
       0,
       0,
       "バイト目: GPMF の値が記録の終わりを越えています"},
      {"too deep", {payload(deep, 0, 1)}, 0, 0, "入れ子が深すぎます"},
      {"GPS5 before its time", {payload(join({kScal5, gps5(1)}), 0, 1)}, 0, 0, "GPSU"},
      {"SCAL of the wrong count",
       {payload(join({gpsu("240501000010.000"), klv("SCAL", 'l', 4, 3, longs({1, 1, 1})), gps5(1)}),
                0, 1)},
       0,
       0,
       "SCAL の数"},
      {"a time that is no time",
       {payload(join({gpsu("24050100001x.000"), kScal5, gps5(1)}), 0, 1)},
       0,
       0,
       "GPSU の時刻"},
  };
  for (const GpmfCase& c : cases) {
    SCOPED_TRACE(c.name);
    const Read r = attempt([&] { return readGpmf(c.payloads, "ride.mp4"); });
    if (!c.error.empty()) {
      EXPECT_NE(r.error.find(c.error), std::string::npos) << r.error;
      continue;
    }
    ASSERT_EQ(r.error, "");
    EXPECT_EQ(r.track.points.size(), c.fixes);
    EXPECT_EQ(r.track.withoutFix, c.withoutFix);
  }
}

TEST(GpmfReader, TimesSamplesOnTheVideosTimeline) {
  const Track t =
      readGpmf({payload(join({gpsu("240501000010.000"), kScal5, gps5(4)}), 5.0, 1.0)}, "v.mp4");
  ASSERT_EQ(t.points.size(), 4u);
  EXPECT_EQ(t.format, "GPMF (GPS5)");
  EXPECT_NEAR(t.points[1].latitudeDeg, 35.5000001, 1e-9);
  EXPECT_DOUBLE_EQ(t.points[0].longitudeDeg, 139.5);
  EXPECT_DOUBLE_EQ(t.points[0].elevationM, 12.5);
  EXPECT_DOUBLE_EQ(t.points[0].speedMps, 16.0);
  // The samples spread over the payload's second, from GPSU on.
  EXPECT_DOUBLE_EQ(t.points[2].timeS, utcSeconds(2024, 5, 1, 0, 0, 10.5));
  EXPECT_DOUBLE_EQ(*t.points[2].videoTimeS, 5.5);
  EXPECT_DOUBLE_EQ(*telemetryOffset(t), utcSeconds(2024, 5, 1, 0, 0, 5));
}

struct CheckCase {
  const char* name;
  double secondLat;   // of the second fix; the first is at 35.0
  double secondTime;  // s after the first
  std::string error;
};

TEST(TrackCheck, RefusesTimesGoingBackAndJumps) {
  // 0.0449 degrees of latitude is 4.98 km, 0.04505 is 4.998 km, 0.0451 is 5.004 km.
  const std::vector<CheckCase> cases = {
      {"the same second", 35.0001, 0, ""},
      {"a second back", 35.0001, -1, "時刻"},
      {"just under 5 km", 35.04505, 60, ""},
      {"just over 5 km", 35.0451, 60, "5 km"},
  };
  for (const CheckCase& c : cases) {
    SCOPED_TRACE(c.name);
    Track t;
    t.fileName = "t.gpx";
    t.points.resize(2);
    t.points[0].latitudeDeg = 35;
    t.points[1].latitudeDeg = c.secondLat;
    t.points[0].timeS = k2024;
    t.points[1].timeS = k2024 + c.secondTime;
    t.points[1].at = 7;
    const Read r = attempt([&] { return t; });
    if (c.error.empty()) {
      EXPECT_EQ(r.error, "");
    } else {
      EXPECT_NE(r.error.find("t.gpx: 7行目: "), std::string::npos) << r.error;
      EXPECT_NE(r.error.find(c.error), std::string::npos) << r.error;
    }
  }
}

TEST(TrackFormat, IsToldByItsFirstBytes) {
  EXPECT_EQ(detectTrackFormat("\xEF\xBB\xBF  <?xml"), TrackFormat::Gpx);
  EXPECT_EQ(detectTrackFormat("$GPRMC,"), TrackFormat::Nmea);
  EXPECT_EQ(detectTrackFormat("# log\n$GPRMC,"), TrackFormat::Nmea);
  EXPECT_EQ(detectTrackFormat(std::string("\0\0\0\x18"
                                          "ftypmp41",
                                          12)),
            TrackFormat::Mp4);
  EXPECT_EQ(detectTrackFormat("lat,lon,time"), TrackFormat::Unknown);
}

}  // namespace
}  // namespace dravolin::author
