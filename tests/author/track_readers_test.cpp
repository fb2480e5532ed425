#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <map>
#include <random>
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

// Skipped records by cause name, for the tables.
using Skips = std::map<std::string, int>;

Skips skipsOf(const Track& t) {
  Skips s;
  for (std::size_t i = 0; i < kSkipCauses; ++i) {
    if (t.skipped[i].count > 0) s[skipCauseName(static_cast<SkipCause>(i))] = t.skipped[i].count;
  }
  return s;
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

// A track point at `second` after 2024-05-01 00:00 UTC, `north` metres north of 35.5 N.
std::string pt(int second, double north = 0, const std::string& more = "") {
  char text[160];
  std::snprintf(text, sizeof text,
                "<trkpt lat=\"%.7f\" lon=\"139.5\"><time>2024-05-01T00:%02d:%02dZ</time>%s"
                "</trkpt>\n",
                35.5 + north / 111132.0, second / 60, second % 60, more.c_str());
  return text;
}

struct GpxCase {
  const char* name;
  std::string text;
  std::size_t points;      // when it reads
  std::string error;       // a part of the message when it does not
  double timeS = 0;        // of the first point, from 2024-05-01 00:00 UTC
  double elevation = NAN;  // NaN: none
  double speed = -1;
  Skips skipped = {};
  std::string format = "";
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
       1,
       "",
       0,
       NAN,
       16.5,
       {},
       "GPX 1.0"},
      {"1.1 without its namespace",
       "<gpx version=\"1.1\" creator=\"phone\">" + point("<time>2024-05-01T00:00:03Z</time>") +
           "</gpx>",
       1,
       "",
       3,
       NAN,
       -1,
       {},
       "GPX 1.1"},
      {"1.0 without its namespace, with speed",
       "<?xml version=\"1.0\"?>\n<gpx version=\"1.0\">\n" +
           point("<time>2024-05-01T00:00:00Z</time><speed>2.5</speed>") + "</gpx>",
       1,
       "",
       0,
       NAN,
       2.5,
       {},
       "GPX 1.0"},
      {"speed in a point's extensions",
       gpx11(point("<time>2024-05-01T00:00:00Z</time><extensions><x:TrackPointExtension "
                   "xmlns:x=\"urn:garmin\"><x:speed>3.5</x:speed></x:TrackPointExtension>"
                   "</extensions>")),
       1, "", 0, NAN, 3.5},
      {"foreign elements skipped",
       gpx11("<metadata><name>x</name></metadata><o:thing xmlns:o=\"urn:o\"><trkpt/></o:thing>" +
             point("<time>2024-05-01T00:00:00Z</time>")),
       1, ""},
      {"a point without time among timed ones",
       gpx11("<trk><trkseg>" + pt(0) + "<trkpt lat=\"35.5\" lon=\"139.5\"><ele>3</ele></trkpt>" +
             pt(1, 5) + "</trkseg></trk>"),
       2,
       "",
       0,
       NAN,
       -1,
       {{"without_time", 1}}},
      {"a time one second back, then on",
       gpx11("<trk><trkseg>" + pt(10) + pt(11, 5) + pt(10, 10) + pt(12, 15) + pt(13, 20) +
             "</trkseg></trk>"),
       4,
       "",
       10,
       NAN,
       -1,
       {{"time_back", 1}}},
      {"a point written twice",
       gpx11("<trk><trkseg>" + pt(0) + pt(1, 8) + pt(1, 8) + pt(2, 16) + "</trkseg></trk>"),
       3,
       "",
       0,
       NAN,
       -1,
       {{"same_time", 1}}},
      {"no point has a time", gpx11("\n" + point("<ele>1</ele>")), 0,
       "4行目: 点に時刻 time がありません"},
      {"waypoints only",
       gpx11("<wpt lat=\"35.1\" lon=\"139.2\"><name>駅</name></wpt><wpt lat=\"35.2\" "
             "lon=\"139.2\"/>"),
       0, "走行の軌跡 (trk の点 trkpt) がありません（経由点 (wpt) 2 点だけ"},
      {"a route only",
       gpx11("<rte><rtept lat=\"35.1\" lon=\"139.2\"/><rtept lat=\"35.2\" lon=\"139.2\"/>"
             "<rtept lat=\"35.3\" lon=\"139.2\"/></rte>"),
       0, "ルートの点 (rtept) 3 点だけ"},
      {"nothing at all", gpx11(""), 0, "走行の軌跡 (trk の点 trkpt) がありません"},
      {"latitude beyond 90", gpx11(point("<time>2024-05-01T00:00:00Z</time>", "90.001")), 0,
       "緯度"},
      {"latitude not a number", gpx11(point("<time>2024-05-01T00:00:00Z</time>", "1e5")), 0,
       "緯度"},
      {"a time that is no time", gpx11(point("<time>2024-13-01T00:00:00Z</time>")), 0, "時刻"},
      {"height not a number", gpx11(point("<ele>high</ele><time>2024-05-01T00:00:00Z</time>")), 0,
       "標高"},
      {"not GPX", "<kml xmlns=\"http://www.opengis.net/kml/2.2\"/>", 0, "GPX 1.0 または 1.1"},
      {"GPX of another namespace", "<gpx xmlns=\"http://www.topografix.com/GPX/2/0\"></gpx>", 0,
       "GPX 1.0 または 1.1"},
      {"broken XML", gpx11("<trk>\n<trkseg></trk>"), 0, "XML として読めません"},
      {"entities", "<!DOCTYPE gpx [<!ENTITY a \"aaaa\">]>\n<gpx/>", 0, "実体宣言"},
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
    EXPECT_EQ(skipsOf(r.track), c.skipped);
    if (!c.format.empty()) {
      EXPECT_EQ(r.track.format, c.format);
    }
    const TrackPoint& p = r.track.points[0];
    EXPECT_DOUBLE_EQ(p.timeS - k2024, c.timeS);
    EXPECT_EQ(p.hasElevation, !std::isnan(c.elevation));
    if (p.hasElevation) {
      EXPECT_DOUBLE_EQ(p.elevationM, c.elevation);
    }
    EXPECT_DOUBLE_EQ(p.speedMps, c.speed);
  }
}

// Two tracks with the receiver off between them (5.4 km in ten minutes), the second of two
// segments, a point written twice: the gap is a dropout, never a refusal; the merged point is
// the mean of the two.
TEST(GpxReader, TracksAndSegmentsStartDropoutsAndEqualTimesMerge) {
  const std::string text =
      gpx11("<trk><name>往路</name><trkseg>" + pt(0) + pt(1, 10) + pt(2, 20) + "</trkseg><trkseg>" +
            pt(30, 300) + pt(31, 310, "<ele>40</ele>") + pt(31, 314, "<ele>42</ele>") +
            "</trkseg></trk>\n<trk><trkseg>" + pt(631, 5700) + pt(632, 5712) + "</trkseg></trk>");
  const Track t = readGpx(text, "two.gpx");
  EXPECT_NO_THROW(checkTrack(t));
  ASSERT_EQ(t.points.size(), 7u);
  const std::vector<bool> starts = {false, false, false, true, false, true, false};
  for (std::size_t i = 0; i < starts.size(); ++i) {
    EXPECT_EQ(t.points[i].segmentStart, starts[i]) << i;
  }
  EXPECT_NEAR((t.points[4].latitudeDeg - 35.5) * 111132.0, 312, 0.02);
  EXPECT_DOUBLE_EQ(t.points[4].elevationM, 41);
  EXPECT_EQ(t.skippedOf(SkipCause::SameTime), 1);
  EXPECT_EQ(t.skipped[static_cast<std::size_t>(SkipCause::SameTime)].firstAt, 8);
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
  std::string text;
  std::size_t fixes;
  Skips skipped;
  std::string error = "";
  TrackDating dating = {};
  double firstS = NAN;  // time of the first fix from 2024-05-01 00:00 UTC, when checked
  double lastS = NAN;
};

std::string lines(std::initializer_list<std::string> l) {
  std::string text;
  for (const std::string& s : l) text += s + "\r\n";
  return text;
}

std::string rmcAt(const char* hms, const char* date = "010524", const char* talker = "GN") {
  return sentence(std::string(talker) + "RMC," + hms + ",A,3530.000,N,13930.000,E,10.0,0," + date +
                  ",,,A");
}

std::string ggaAt(const char* hms, const char* talker = "GN") {
  return sentence(std::string(talker) + "GGA," + hms +
                  ",3530.000,N,13930.000,E,1,08,0.9,12.5,M,,M,,");
}

TEST(NmeaReader, SkipsWhatIsNotAFixAndReadsEveryReceiversSentences) {
  const std::string rmc = sentence("GPRMC,000010.00,A,3530.000,N,13930.000,E,10.0,0,010524,,,A");
  const std::string gga = sentence("GPGGA,000010.00,3530.000,N,13930.000,E,1,08,0.9,-12.5,M,,M,,");
  const std::string vtg = sentence("GPVTG,0,T,,M,10.0,N,18.52,K,A");
  std::string damaged = gga;
  damaged[10] = '9';
  std::string lowercase = sentence("GNRMC,000011.00,A,3530.000,N,13930.001,E,0,0,010524,,,A");
  for (std::size_t i = lowercase.size() - 2; i < lowercase.size(); ++i) {
    lowercase[i] = static_cast<char>(std::tolower(static_cast<unsigned char>(lowercase[i])));
  }
  const std::string coldRmc = "$GPRMC,,V,,,,,,,,,,N*53";
  const std::string coldGga = "$GPGGA,,,,,,0,00,99.99,,,,,,*48";
  const std::string ubx("\xB5\x62\x01\x07\x5C\x00\x24\x10\x0A\x00\xE8\x07\x05", 13);
  const std::vector<NmeaCase> cases = {
      {"RMC, GGA and VTG", lines({rmc, gga, vtg}), 1, {}, "", {}, 10, 10},
      {"a wrong checksum", lines({rmc, damaged}), 1, {{"checksum", 1}}},
      {"no checksum", lines({rmc, gga.substr(0, gga.size() - 3)}), 1, {{"checksum", 1}}},
      {"a cut-off line", lines({rmc.substr(0, 20), rmc}), 1, {{"checksum", 1}}},
      {"one checksum digit", lines({rmc, gga.substr(0, gga.size() - 1)}), 1, {{"checksum", 1}}},
      {"anything after the checksum",
       lines({rmc, gga + "X", ggaAt("000011.00") + ",0"}),
       1,
       {{"after_checksum", 2}}},
      {"blanks after the checksum", lines({rmc, gga + " \t"}), 1, {}},
      {"a comment and a receiver's binary start-up before the first sentence",
       "# Columbus V-990 log\r\n" + ubx + ubx + rmc + "\r\n" + gga + "\r\n",
       1,
       {},
       "",
       {},
       10},
      {"binary between sentences, no line end",
       lines({rmc + "\r\n" + ubx + ggaAt("000011.00")}),
       2,
       {}},
      {"a cold start: no fix and empty fields",
       lines({coldRmc, coldGga, sentence("GPRMC,000009.00,V,,,,,,,010524,,,N"), rmc, gga}),
       1,
       {{"without_fix", 3}}},
      {"a fix without its position",
       lines({rmc, sentence("GPRMC,000011.00,A,,,,,0,0,010524,,,A"),
              sentence("GPGGA,,3530.000,N,13930.000,E,1,08,0.9,1,M,,M,,")}),
       1,
       {{"empty_field", 2}}},
      {"no fix at all",
       lines({coldRmc, coldGga}),
       0,
       {},
       "位置の記録（測位できた点）がありません（測位できていない記録が2件）"},
      {"the talkers of every system",
       lines({rmcAt("000010.00", "010524", "GP"), rmcAt("000011.00", "010524", "GL"),
              rmcAt("000012.00", "010524", "GA"), rmcAt("000013.00", "010524", "BD"),
              rmcAt("000014.00", "010524", "GB"), rmcAt("000015.00", "010524", "QZ"),
              rmcAt("000016.00", "010524", "GI"), sentence("PUBX,00,000017.00,3530.000,N")}),
       6,
       {}},
      {"lower case checksum", lines({rmc, lowercase}), 2, {}},
      {"ten fixes a second",
       lines({rmcAt("235959.80", "300424"), rmcAt("235959.90", "300424"),
              rmcAt("000000.00", "010524"), rmcAt("000000.10", "010524")}),
       4,
       {},
       "",
       {},
       -0.2,
       0.1},
      {"a time one second back",
       lines({rmcAt("000012.00"), rmcAt("000011.00"), rmcAt("000013.00")}),
       2,
       {{"time_back", 1}},
       "",
       {},
       12,
       13},
      {"GGA alone dated by the video, whose clock writes local time",
       lines({ggaAt("235958.00"), ggaAt("235959.00"), ggaAt("000000.00")}),
       3,
       {},
       "",
       TrackDating{std::nullopt, utcSeconds(2024, 5, 1, 8, 59, 0)},
       -2,
       0},
      {"GGA alone, the camera's clock two hours behind the first fix",
       lines({ggaAt("100000.00"), ggaAt("100001.00")}),
       2,
       {},
       "",
       TrackDating{std::nullopt, utcSeconds(2024, 5, 1, 8, 0, 0)},
       36000,
       36001},
      {"GGA alone dated by the user",
       lines({ggaAt("000005.00"), ggaAt("000006.00")}),
       2,
       {},
       "",
       TrackDating{utcSeconds(2024, 5, 1, 0, 0, 0), std::nullopt},
       5,
       6},
      {"GGA alone, nothing to date it", lines({ggaAt("000005.00")}), 0, {}, "--date"},
      {"a latitude that is no latitude",
       lines({rmc, sentence("GPGGA,000011.00,35x0.000,N,13930.000,E,1,08,0.9,1,M,,M,,")}),
       0,
       {},
       "2行目: GGA の緯度"},
      {"a time of day of 25 digits",
       lines({rmc, sentence("GPGGA,1234567890123456789012345.00,3530.000,N,13930.000,E,1,08,0.9,"
                            "1,M,,M,,")}),
       0,
       {},
       "2行目: 時刻"},
      {"minutes of 60",
       lines({sentence("GPRMC,000010.00,A,3560.000,N,13930.000,E,0,0,010524,,,A")}),
       0,
       {},
       "1行目: RMC の緯度"},
  };
  for (const NmeaCase& c : cases) {
    SCOPED_TRACE(c.name);
    Read r = attempt([&] { return readNmea(c.text, "ride.nmea", c.dating); });
    if (!c.error.empty()) {
      EXPECT_NE(r.error.find(c.error), std::string::npos) << r.error;
      EXPECT_EQ(r.error.rfind("ride.nmea: ", 0), 0u) << r.error;
      continue;
    }
    ASSERT_EQ(r.error, "");
    EXPECT_EQ(r.track.points.size(), c.fixes);
    EXPECT_EQ(skipsOf(r.track), c.skipped);
    if (!std::isnan(c.firstS)) {
      EXPECT_NEAR(r.track.points.front().timeS - k2024, c.firstS, 1e-6);
    }
    if (!std::isnan(c.lastS)) {
      EXPECT_NEAR(r.track.points.back().timeS - k2024, c.lastS, 1e-6);
    }
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

// A receiver's whole log, as rough as real ones: a logger's comment header and the receiver's
// binary start-up before the first sentence, its cold start (sentences without a fix, empty
// fields), the fix lost for 12 s under a roof, a binary packet between two sentences without a
// line end, one sentence with text after its checksum, and the last line cut off. Every fix the
// receiver had is read, and every skipped sentence counted by its cause.
TEST(NmeaReader, ReadsARoughLogWhole) {
  const testing::Route route(
      3000, [](double) { return 0.0; }, [](double) { return 0.0; });
  const double start = utcSeconds(2024, 5, 1, 0, 59, 30);
  const auto lost = [](double m) { return m > 400 && m < 520; };
  const std::vector<testing::Fix> fixes = testing::recordRun(
      route, start, start, start + 240, [](double t) { return t * 10; },
      [](double) { return 10.0; }, lost, testing::ReceiverNoise{});
  std::size_t valid = 0, lostFixes = 0;
  for (const testing::Fix& f : fixes) (f.valid ? valid : lostFixes) += 1;
  ASSERT_GT(lostFixes, 10u);
  std::string log = testing::nmeaText(fixes);
  // Text after the checksum of the 20th fix's VTG; a packet of binary after the 30th's GGA.
  std::size_t at = 0;
  for (int i = 0; i < 20 * 3; ++i) at = log.find("\r\n", at) + 2;
  log.insert(at - 2, ",extra");
  at = 0;
  for (int i = 0; i < 30 * 3 - 1; ++i) at = log.find("\r\n", at) + 2;
  log.insert(at, std::string("\xB5\x62\x01\x07\x24\x00\x0A\x24", 8));
  // The last line (the last fix's VTG) cut off.
  log.resize(log.size() - 12);
  std::mt19937 random(7);
  std::string startUp = "# GPS logger 2.1, 1 Hz, NMEA 0183\r\n";
  for (int i = 0; i < 300; ++i) startUp += static_cast<char>(random() & 0xFF);
  startUp += "\r\n$GPRMC,,V,,,,,,,,,,N*53\r\n$GPGGA,,,,,,0,00,99.99,,,,,,*48\r\n";
  const Track t = readTrackBytes(startUp + log, "rough.nmea");
  EXPECT_NO_THROW(checkTrack(t));
  EXPECT_EQ(t.format, "NMEA 0183");
  EXPECT_EQ(t.points.size(), valid);
  EXPECT_EQ(t.skippedOf(SkipCause::WithoutFix), static_cast<int>(2 + 2 * lostFixes));
  EXPECT_EQ(t.skippedOf(SkipCause::AfterChecksum), 1);
  EXPECT_EQ(t.skippedOf(SkipCause::Checksum), 1);
  EXPECT_EQ(t.skippedOf(SkipCause::TimeBack) + t.skippedOf(SkipCause::EmptyField), 0);
  EXPECT_DOUBLE_EQ(t.points.front().timeS, start);
  EXPECT_DOUBLE_EQ(t.points.back().timeS, start + 240);
  // A gap in the fixes where the receiver had none.
  int gaps = 0;
  for (std::size_t i = 1; i < t.points.size(); ++i) {
    gaps += t.points[i].timeS - t.points[i - 1].timeS > 1.5 ? 1 : 0;
  }
  EXPECT_EQ(gaps, 1);
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
  Skips skipped;
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
  const auto sensors = [](double t) {
    return payload(join({klv("STNM", 'c', 4, 1, {'G', 'P', 'S', 'R'}),
                         klv("GPRI", 'l', 12, 2, longs({1, 2, 3, 4, 5, 6})),
                         klv("ACCL", 's', 6, 1, {0, 1, 0, 2, 0, 3})}),
                   t, 1.0);
  };
  const std::vector<GpmfCase> cases = {
      {"GPS5", {payload(join({gpsu("240501000010.000"), kScal5, gps5(18)}), 5.0, 1.0)}, 18, {}, ""},
      {"GPS5 without a fix",
       {payload(
           join({klv("GPSF", 'L', 4, 1, longs({0})), gpsu("240501000010.000"), kScal5, gps5(3)}),
           5.0, 1.0)},
       0,
       {},
       "位置の記録（測位できた点）がありません（測位できていない記録が3件）"},
      {"GPS5 whose time steps back in the next payload",
       {payload(join({gpsu("240501000010.000"), kScal5, gps5(2)}), 5.0, 1.0),
        payload(join({gpsu("240501000009.000"), kScal5, gps5(2)}), 6.0, 1.0),
        payload(join({gpsu("240501000012.000"), kScal5, gps5(2)}), 7.0, 1.0)},
       4,
       {{"time_back", 2}},
       ""},
      {"GPS5 payloads of no duration: one fix each",
       {payload(join({gpsu("240501000010.000"), kScal5, gps5(3)}), 5.0, 0.0),
        payload(join({gpsu("240501000011.000"), kScal5, gps5(3)}), 6.0, 0.0)},
       2,
       {{"same_time", 4}},
       ""},
      {"GPS9 with an array in TYPE",
       {payload(join({type9, scal9, klv("GPS9", '?', 32, 2, join({gps9Sample, gps9NoFix}))}), 5.0,
                1.0)},
       1,
       {{"without_fix", 1}},
       ""},
      {"GPS9 preferred over GPS5",
       {payload(join({gpsu("240501000010.000"), kScal5, gps5(5), type9, scal9,
                      klv("GPS9", '?', 32, 1, gps9Sample)}),
                5.0, 1.0)},
       1,
       {},
       ""},
      {"a stream of another kind",
       {sensors(0), sensors(1)},
       0,
       {},
       "ride.mp4: GPMF に位置の流れ (GPS5、GPS9) がありません（あるのは ACCL, GPRI）"},
      {"a length past the payload",
       {payload(join({gpsu("240501000010.000"), kScal5, runsPast}), 0, 1)},
       0,
       {},
       "バイト目: GPMF の値が記録の終わりを越えています"},
      {"too deep", {payload(deep, 0, 1)}, 0, {}, "入れ子が深すぎます"},
      {"GPS5 before its time", {payload(join({kScal5, gps5(1)}), 0, 1)}, 0, {}, "GPSU"},
      {"SCAL of the wrong count",
       {payload(join({gpsu("240501000010.000"), klv("SCAL", 'l', 4, 3, longs({1, 1, 1})), gps5(1)}),
                0, 1)},
       0,
       {},
       "SCAL の数"},
      {"a time that is no time",
       {payload(join({gpsu("24050100001x.000"), kScal5, gps5(1)}), 0, 1)},
       0,
       {},
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
    EXPECT_EQ(skipsOf(r.track), c.skipped);
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
  double secondNorthM;  // of the second fix, from the first
  double secondTime;    // s after the first
  std::string error;
  bool segmentStart = false;
};

// A gap is judged by its distance against its time: 5 km and more covered faster than 360 km/h
// is the receiver's error; a tunnel of 5 km in four minutes is not; nor is any gap between two
// tracks or segments.
TEST(TrackCheck, RefusesTimesGoingBackAndJumpsTooFastForATrain) {
  const std::vector<CheckCase> cases = {
      {"the same second", 10, 0, ""},
      {"a second back", 10, -1, "時刻"},
      {"just under 5 km in a second", 4998, 1, ""},
      {"just over 5 km in a second", 5004, 1, "5.0 km"},
      {"5 km in exactly 50 s: 100 m/s", 5004, 50.0, "5.0 km"},
      {"5 km in 50.1 s", 5004, 50.1, ""},
      {"a tunnel of 5.4 km in four minutes", 5400, 240, ""},
      {"5.4 km in a second between two segments", 5400, 1, "", true},
  };
  for (const CheckCase& c : cases) {
    SCOPED_TRACE(c.name);
    Track t;
    t.fileName = "t.gpx";
    t.points.resize(2);
    t.points[0].latitudeDeg = 35;
    t.points[1].latitudeDeg = 35 + c.secondNorthM / 110950.0;
    t.points[0].timeS = k2024;
    t.points[1].timeS = k2024 + c.secondTime;
    t.points[1].at = 7;
    t.points[1].segmentStart = c.segmentStart;
    const Read r = attempt([&] { return t; });
    if (c.error.empty()) {
      EXPECT_EQ(r.error, "");
    } else {
      EXPECT_NE(r.error.find("t.gpx: 7行目: "), std::string::npos) << r.error;
      EXPECT_NE(r.error.find(c.error), std::string::npos) << r.error;
    }
  }
}

// A time that steps back by less than a millisecond is printed finely enough to show it; a
// fraction that rounds up carries into the second.
TEST(TrackCheck, ATimeGoingBackIsPrintedApartFromTheOneBefore) {
  Track t;
  t.fileName = "t.gpx";
  t.points.resize(2);
  t.points[0].timeS = k2024 + 10.0005;
  t.points[1].timeS = k2024 + 10.0001;
  t.points[1].at = 3;
  const Read r = attempt([&] { return t; });
  EXPECT_EQ(r.error,
            "t.gpx: 3行目: 時刻 2024-05-01 00:00:10.0001 が前の点 (2024-05-01 00:00:10.0005) "
            "より前に戻っています");
  EXPECT_EQ(formatTime(k2024 + 59.9996), "2024-05-01 00:01:00.000");
  EXPECT_EQ(formatTime(k2024 - 0.25), "2024-04-30 23:59:59.750");
  EXPECT_EQ(isoTime(k2024 + 3723.5), "2024-05-01T01:02:03.500Z");
}

TEST(TrackFormat, IsToldByItsBytes) {
  EXPECT_EQ(detectTrackFormat("\xEF\xBB\xBF  <?xml"), TrackFormat::Gpx);
  EXPECT_EQ(detectTrackFormat("$GPRMC,"), TrackFormat::Nmea);
  EXPECT_EQ(detectTrackFormat("# log\n$GPRMC,"), TrackFormat::Nmea);
  // A receiver's binary start-up longer than the head, then the sentences.
  EXPECT_EQ(detectTrackFormat(std::string(10000, '\xB5') + "\x24\x10$GNGGA,"), TrackFormat::Nmea);
  EXPECT_EQ(detectTrackFormat(std::string("\0\0\0\x18"
                                          "ftypmp41",
                                          12)),
            TrackFormat::Mp4);
  EXPECT_EQ(detectTrackFormat("lat,lon,time"), TrackFormat::Unknown);
  EXPECT_EQ(detectTrackFormat("costs $ 12, $GP, $gprmc,"), TrackFormat::Unknown);
}

}  // namespace
}  // namespace dravolin::author
