#include <gtest/gtest.h>
#include <QGuiApplication>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "author/nmea_reader.h"
#include "author/speed_table.h"
#include "author/track.h"
#include "data/drive_files.h"
#include "data/text_encoding.h"
#include "fixtures/run_tool.h"
#include "platform/ffmpeg_mp4_writer.h"
#include "platform/file_picture_loader.h"
#include "tools/ride_footage.h"

namespace dravolin::testing {
namespace {

namespace fs = std::filesystem;
using author::testing::Fix;

constexpr double kFrameS = 1.0 / 30;

void writeText(const fs::path& p, const std::string& text) {
  std::ofstream(p, std::ios::binary) << text;
}

// The records of the tool's output that start with `kind`, split at blanks.
std::vector<std::vector<std::string>> records(const std::string& out, const std::string& kind) {
  std::vector<std::vector<std::string>> found;
  std::istringstream in(out);
  for (std::string line; std::getline(in, line);) {
    std::istringstream words(line);
    std::vector<std::string> w;
    for (std::string x; words >> x;) w.push_back(x);
    if (!w.empty() && w[0] == kind) found.push_back(w);
  }
  return found;
}

// A ride filmed and recorded once for the whole file: the footage twice (without and with the
// camera's GPS stream), the track as GPX and as NMEA, the fast demo for the trains.
class AuthorTool : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new fs::path(fs::temp_directory_path() /
                        ("dravolin_author_tool_" + std::to_string(::getpid())));
    fs::remove_all(*dir_);
    fs::create_directories(*dir_);
  }
  static void TearDownTestSuite() {
    // DRAVOLIN_AUTHOR_KEEP=1 keeps the footage, the tracks and the lines for a look.
    const char* keep = std::getenv("DRAVOLIN_AUTHOR_KEEP");
    if (keep == nullptr || *keep == '\0') fs::remove_all(*dir_);
    delete dir_;
    truth_.reset();
    app_.reset();
  }

  // The ride, filmed and recorded once for the whole suite (by whichever test needs it first).
  static void makeRide() {
    if (truth_ != nullptr) return;
    truth_ = std::make_unique<RideTruth>(rideTruth());
    fixes_ = rideFixes(*truth_);
    // Waypoints by the first two stations (the third stays unnamed).
    const author::testing::Route route = rideRoute(*truth_);
    std::vector<author::Waypoint> waypoints;
    for (const char* name : {"若葉台", "川原町"}) {
      const double m = truth_->plan.stations[waypoints.size()].stopM + 20;
      author::Waypoint w;
      w.name = name;
      double h = 0;
      route.at(m, w.latitudeDeg, w.longitudeDeg, h);
      w.latitudeDeg += 30 / 111132.0;  // beside the line
      waypoints.push_back(w);
    }
    writeText(*dir_ / "ride.gpx", author::testing::gpxText(fixes_, waypoints));
    writeText(*dir_ / "ride10.gpx", author::testing::gpxText(fixes_, waypoints, true));
    writeText(*dir_ / "ride.nmea", author::testing::nmeaText(fixes_, 97));
    int argc = 1;
    char name[] = "test";
    char* argv[] = {name, nullptr};
    if (QGuiApplication::instance() == nullptr)
      app_ = std::make_unique<QGuiApplication>(argc, argv);
    writeRideFootage(*truth_, 240, 120, (*dir_ / "ride.mp4").string(),
                     (*dir_ / "ride_gps.mp4").string(),
                     author::testing::gpmfPayloads(fixes_, false));
    const ToolRun demo =
        runTool(DRAVOLIN_MAKE_DEMO_EXE, quoted((*dir_ / "demo").string()) + " --fast");
    ASSERT_EQ(demo.status, 0) << demo.err;
  }

  static ToolRun author(const std::string& args) { return runTool(DRAVOLIN_AUTHOR_EXE, args); }

  static fs::path* dir_;
  static std::unique_ptr<RideTruth> truth_;
  static std::vector<Fix> fixes_;
  static std::unique_ptr<QGuiApplication> app_;
};

fs::path* AuthorTool::dir_ = nullptr;
std::unique_ptr<RideTruth> AuthorTool::truth_;
std::vector<Fix> AuthorTool::fixes_;
std::unique_ptr<QGuiApplication> AuthorTool::app_;

struct Format {
  const char* name;
  const char* video;
  const char* track;
  bool named;           // the track has the waypoints
  double offsetFrames;  // how close the offset must come
};

// The same ride through each of the track formats: the line must put every stop within 0.5 s of
// the truth, keep its distance within 0.5 % (at least 3 m) of the true distance and the
// gradients within 1 permil, and find the offset of the camera's clock within a frame where the
// track has the receiver's speed (GPX 1.0, NMEA) or comes from the video's own stream (GPMF).
// From positions alone (GPX 1.1) the fixes time the stops less finely: within 4 frames.
TEST_F(AuthorTool, RideBecomesALineInEveryTrackFormat) {
  makeRide();
  const Format formats[] = {{"gpx 1.1", "ride.mp4", "ride.gpx", true, 4},
                            {"gpx 1.0", "ride.mp4", "ride10.gpx", true, 1},
                            {"nmea", "ride.mp4", "ride.nmea", false, 1},
                            {"gpmf", "ride_gps.mp4", "ride_gps.mp4", false, 1}};
  const RideTruth& t = *truth_;
  const double trueOffset = t.videoStartUtc - t.cameraClockUtc;
  for (const Format& f : formats) {
    SCOPED_TRACE(f.name);
    const fs::path out = *dir_ / ("line_" + std::to_string(&f - formats));
    const ToolRun run =
        author(quoted((*dir_ / f.video).string()) + " " + quoted((*dir_ / f.track).string()) + " " +
               quoted(out.string()) + " --trains " + quoted((*dir_ / "demo").string()) +
               " --name テスト線 --tz Asia/Tokyo");
    ASSERT_EQ(run.status, 0) << run.err << run.out;
    std::printf("[%s]\n%s", f.name, run.out.c_str());

    // The offset, within a frame.
    const auto offset = records(run.out, "offset");
    ASSERT_EQ(offset.size(), 1u);
    EXPECT_NEAR(std::strtod(offset[0][1].c_str(), nullptr), trueOffset, f.offsetFrames * kFrameS);

    // The stations at the stands, within half a second on the sides the footage shows.
    const auto stations = records(run.out, "station");
    ASSERT_EQ(stations.size(), t.stands.size());
    for (std::size_t i = 0; i < stations.size(); ++i) {
      const int arrive = std::stoi(stations[i][3]), depart = std::stoi(stations[i][4]);
      if (i > 0) {
        EXPECT_NEAR(arrive, t.stands[i].first, 15) << "station " << i;
      }
      if (i + 1 < stations.size()) {
        EXPECT_NEAR(depart, t.stands[i].second, 15) << "station " << i;
      }
    }
    EXPECT_EQ(stations[0].back(), f.named ? "若葉台" : "駅1");
    EXPECT_EQ(stations[2].back(), f.named ? "駅1" : "駅3");

    // The loader's distances against the true ones, every second.
    platform::FilePictureLoader pictures;
    data::LoadContext ctx;
    ctx.dataDir = out;
    ctx.pictures = &pictures;
    const data::DriveFiles files = data::readDriveFiles("205_train.dat", "205_line.dat", ctx);
    const auto& rows = files.line.params.SpeedUnit;
    ASSERT_FALSE(rows.empty());
    const int first = rows.front().startFrame;
    double worst = 0;
    int worstFrame = 0;
    for (int frame = first; frame < rows.back().endFrame; frame += 30) {
      const double truthM = t.plan.frameM[static_cast<std::size_t>(frame)] -
                            t.plan.frameM[static_cast<std::size_t>(first)];
      const double err = std::abs(author::derivedDistanceM(rows, frame) - truthM);
      if (err / std::max(3.0, 0.005 * truthM) > worst) {
        worst = err / std::max(3.0, 0.005 * truthM);
        worstFrame = frame;
      }
    }
    EXPECT_LE(worst, 1.0) << "distance error, in shares of the allowance, at frame " << worstFrame;

    // The gradient over the inside of every stretch of the truth.
    const auto slopes = records(run.out, "slope");
    ASSERT_FALSE(slopes.empty());
    for (const demo::SlopePlan& s : t.plan.slopes) {
      double sum = 0, count = 0;
      for (double m = s.fromM + 50; m <= std::min(s.toM, t.plan.lengthM()) - 50; m += 10) {
        const int frame =
            author::frameAtDistance(rows, m - t.plan.frameM[static_cast<std::size_t>(first)]);
        for (const auto& r : slopes) {
          if (frame >= std::stoi(r[2]) && frame < std::stoi(r[3])) {
            sum += std::strtod(r[1].c_str(), nullptr);
            count += 1;
          }
        }
      }
      if (count == 0) continue;
      EXPECT_NEAR(sum / count, s.permil, 1.0) << "stretch from " << s.fromM << " m";
    }
    EXPECT_EQ(records(run.out, "tunnel").size(), 1u);

    // The programs' own loading takes the line with either title button's train.
    for (const char* pair : {"205_train.dat 205_line.dat", "E231_train.dat E231_line2.dat"}) {
      const ToolRun check =
          runTool(DRAVOLIN_CHECK_EXE, "--dir " + quoted(out.string()) + " " + pair);
      EXPECT_EQ(check.status, 0) << pair << ": " << check.err;
    }
  }

  // A demo train on the line made from GPX, at the recorded speeds (Shift+F1) once the doors have
  // closed: it leaves the first station at its departure and stands in the second one's range
  // with the doors open and the station's name shown.
  const fs::path line = *dir_ / "line_0";
  writeText(*dir_ / "auto.txt", "100 start\n31500 key 112 shift\n");
  const ToolRun drive = runTool(
      DRAVOLIN_DRIVE_EXE, "--dir " + quoted(line.string()) +
                              " 205_train.dat 205_line.dat --until 160000 --every 5000 --script " +
                              quoted((*dir_ / "auto.txt").string()) +
                              " --columns t_ms,Speed,FrameIndex,DoorsOpen,StationLabel");
  ASSERT_EQ(drive.status, 0) << drive.err;
  std::istringstream trace(drive.out);
  std::map<int, std::vector<std::string>> at;
  for (std::string l; std::getline(trace, l);) {
    std::vector<std::string> f;
    std::istringstream fields(l);
    for (std::string v; std::getline(fields, v, ',');) f.push_back(v);
    if (f.size() == 5 && f[0] != "t_ms") at[std::stoi(f[0])] = f;
  }
  ASSERT_TRUE(at.count(30000) && at.count(160000)) << drive.out;
  EXPECT_EQ(at[30000][4], "若葉台");
  EXPECT_EQ(at[30000][3], "1");
  EXPECT_GT(std::stod(at[60000][1]), 50);
  const auto& end = at[160000];
  EXPECT_EQ(std::stod(end[1]), 0);
  EXPECT_EQ(end[3], "1") << "doors open";
  EXPECT_EQ(end[4], "川原町");
  EXPECT_NEAR(std::stoi(end[2]), t.stands[1].first, 30) << "stands where the camera stood";

  // A folder it did not make is not written over; one it made is made afresh.
  const std::string ride =
      quoted((*dir_ / "ride.mp4").string()) + " " + quoted((*dir_ / "ride.nmea").string()) + " ";
  const std::string trains = " --trains " + quoted((*dir_ / "demo").string());
  fs::create_directories(*dir_ / "mine");
  writeText(*dir_ / "mine" / "notes.txt", "mine");
  const ToolRun refused = author(ride + quoted((*dir_ / "mine").string()) + trains);
  EXPECT_EQ(refused.status, 1);
  EXPECT_NE(refused.err.find("空でないフォルダ"), std::string::npos) << refused.err;
  EXPECT_TRUE(fs::exists(*dir_ / "mine" / "notes.txt"));
  EXPECT_FALSE(fs::exists(*dir_ / "mine.part"));
  const ToolRun inTrains = author(ride + quoted((*dir_ / "demo" / "line").string()) + trains);
  EXPECT_EQ(inTrains.status, 1);
  EXPECT_NE(inTrains.err.find("重なる"), std::string::npos) << inTrains.err;
  writeText(line / "stale.txt", "from before");
  // Made again, and packaged to share: the package holds the folder and checks out.
  const fs::path package = *dir_ / "made.dravolin";
  const ToolRun again = author(ride + quoted(line.string()) + trains + " --signals 500 --package " +
                               quoted(package.string()));
  EXPECT_EQ(again.status, 0) << again.err;
  EXPECT_FALSE(fs::exists(line / "stale.txt"));
  EXPECT_EQ(records(again.out, "signal").size(), 4u);
  EXPECT_NE(again.out.find("packaged " + package.string() + "\n"), std::string::npos) << again.out;
  const ToolRun verified = runTool(DRAVOLIN_PACKAGE_EXE, "verify " + quoted(package.string()));
  EXPECT_EQ(verified.status, 0) << verified.err;
}

struct UsageCase {
  const char* args;
  int status;
  const char* message;
};

// Wrong command lines exit 2 with the usage; files that cannot be used exit 1 with the reason,
// naming the file.
TEST_F(AuthorTool, RefusesWrongCommandLinesAndFilesItCannotUse) {
  makeRide();
  const fs::path gpx = *dir_ / "bad.gpx";
  writeText(gpx,
            "<gpx xmlns=\"http://www.topografix.com/GPX/1/1\"><trk><trkseg>\n"
            "<trkpt lat=\"35\" lon=\"139\"/></trkseg></trk></gpx>");
  writeText(*dir_ / "notes.txt", "hello");
  {
    platform::FfmpegMp4Writer::Options o;
    o.width = 32;
    o.height = 16;
    platform::FfmpegMp4Writer tiny((*dir_ / "tiny.mp4").string(), o);
    platform::Bitmap grey{32, 16, std::vector<std::uint32_t>(32 * 16, 0xFF808080u)};
    for (int f = 0; f < 30; ++f) tiny.addFrame(grey);
    tiny.finish();
  }
  const std::string d = dir_->string() + "/";
  const std::vector<UsageCase> cases = {
      {"a.mp4 b.gpx", 2, "VIDEO, TRACK and OUTDIR"},
      {"a.mp4 b.gpx out --offset soon", 2, "--offset"},
      {"a.mp4 b.gpx out --signals 50", 2, "--signals"},
      {"a.mp4 b.gpx out --bogus", 2, "unknown option"},
      {"a.mp4 b.gpx out --name", 2, "--name"},
      {"a.mp4 b.gpx out --date 2024-02-30", 2, "--date"},
      {"a.mp4 b.gpx out --date 2024-5-1", 2, "--date"},
      {"--read", 2, "--read needs a track file"},
      {"--read b.gpx out", 2, "--read takes the track alone"},
  };
  for (const UsageCase& c : cases) {
    SCOPED_TRACE(c.args);
    const ToolRun run = author(c.args);
    EXPECT_EQ(run.status, c.status);
    EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("usage: dravolin-author"), std::string::npos);
  }
  const struct {
    std::string args;
    const char* message;
  } files[] = {
      {quoted(d + "none.mp4") + " " + quoted(gpx.string()) + " " + quoted(d + "out"),
       "none.mp4: 動画ファイルを読み込めません"},
      {quoted(d + "notes.txt") + " " + quoted(gpx.string()) + " " + quoted(d + "out"),
       "notes.txt: 動画ファイルを読み込めません"},
      {quoted(d + "tiny.mp4") + " " + quoted(gpx.string()) + " " + quoted(d + "out"),
       "bad.gpx: 2行目: 点に時刻 time がありません"},
      {quoted(d + "tiny.mp4") + " " + quoted(d + "notes.txt") + " " + quoted(d + "out"),
       "notes.txt: GPX、NMEA、GPS 記録を含む MP4 のどれでもありません"},
      {quoted(d + "tiny.mp4") + " " + quoted(d + "tiny.mp4") + " " + quoted(d + "out"),
       "tiny.mp4: GPS 記録 (GPMF) の流れがありません"},
  };
  for (const auto& f : files) {
    const ToolRun run = author(f.args + " --trains " + quoted(d + "demo"));
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find(f.message), std::string::npos) << run.err;
    EXPECT_EQ(run.out, "");
  }
}

// A user's own receiver log, as rough as real ones: a comment header and a binary start-up
// before the first sentence, a cold start without a fix, a checksum broken now and then.
std::string roughNmea(const std::vector<Fix>& fixes) {
  std::string log = "# logger 2.1 1Hz\r\n";
  log += std::string("\xB5\x62\x0A\x04\x24\x00", 6) + "\r\n";
  log += "$GPRMC,,V,,,,,,,,,,N*53\r\n$GPGGA,,,,,,0,00,99.99,,,,,,*48\r\n";
  return log + author::testing::nmeaText(fixes, 97);
}

struct ReadCase {
  const char* name;
  std::string track;
  std::string options;
  int status;
  std::string first;  // the first record's start, or a part of the message
  std::map<std::string, int> skipped = {};
};

// --read says what the readers make of a track, without a video: the format, the fixes, their
// first and last times, the track's length and what was skipped, by cause.
TEST_F(AuthorTool, ReadSaysWhatWasReadWithoutAVideo) {
  makeRide();
  std::size_t valid = 0, lost = 0;
  for (const Fix& f : fixes_) (f.valid ? valid : lost) += 1;
  // The rough log's sentences sorted by what the reader must make of them.
  const std::string rough = roughNmea(fixes_);
  writeText(*dir_ / "rough.nmea", rough);
  int broken = 0, voids = 0;
  {
    std::istringstream all(rough);
    for (std::string l; std::getline(all, l);) {
      if (!l.empty() && l.back() == '\r') l.pop_back();
      const std::size_t star = l.find('*');
      if (l.empty() || l[0] != '$' || star == std::string::npos) continue;
      if (author::nmeaChecksum(l.substr(1, star - 1)) !=
          std::stoul(l.substr(star + 1), nullptr, 16)) {
        ++broken;
      } else if (l.find(",V,") != std::string::npos || l.find(",0,00,") != std::string::npos) {
        ++voids;
      }
    }
  }
  ASSERT_GT(broken, 3);
  std::string gga;
  {
    std::istringstream all(author::testing::nmeaText(fixes_));
    for (std::string l; std::getline(all, l);) {
      if (l.find("GGA") != std::string::npos) gga += l + "\n";
    }
  }
  writeText(*dir_ / "gga.nmea", gga);
  writeText(*dir_ / "stations.gpx",
            "<gpx version=\"1.1\" xmlns=\"http://www.topografix.com/GPX/1/1\"><wpt lat=\"35\" "
            "lon=\"139\"><name>駅</name></wpt></gpx>");
  writeText(*dir_ / "notes.txt", "hello");
  std::string firstValid, lastValid;
  for (const Fix& f : fixes_) {
    if (!f.valid) continue;
    if (firstValid.empty()) firstValid = author::isoTime(f.utc);
    lastValid = author::isoTime(f.utc);
  }
  const std::string n = std::to_string(valid);
  const std::string span = " first " + firstValid + " last " + lastValid + " metres ";
  const std::string d = dir_->string() + "/";
  const std::vector<ReadCase> cases = {
      {"GPX 1.1", "ride.gpx", "", 0, "track GPX-1.1 fixes " + n + span},
      {"GPX 1.0", "ride10.gpx", "", 0, "track GPX-1.0 fixes " + n + span},
      {"a rough NMEA log",
       "rough.nmea",
       "",
       0,
       "track NMEA-0183 fixes " + n + span,
       {{"checksum", broken}, {"without_fix", voids}}},
      // Only the fixes within the footage's time.
      {"the camera's own stream",
       "ride_gps.mp4",
       "",
       0,
       "track GPMF-GPS5 fixes ",
       {{"without_fix", static_cast<int>(lost)}}},
      {"GGA alone, dated by the user",
       "gga.nmea",
       "--date " + firstValid.substr(0, 10),
       0,
       "track NMEA-0183 fixes " + n + span,
       {{"without_fix", static_cast<int>(lost)}}},
      {"GGA alone, nothing to date it", "gga.nmea", "", 1, "--date で最初の点の日付"},
      {"waypoints only", "stations.gpx", "", 1, "経由点 (wpt) 1 点だけ"},
      {"no track at all", "notes.txt", "", 1, "GPX、NMEA、GPS 記録を含む MP4 のどれでもありません"},
      {"a file that is not there", "none.gpx", "", 1, "none.gpx: 読み込めません"},
  };
  for (const ReadCase& c : cases) {
    SCOPED_TRACE(c.name);
    const ToolRun run = author("--read " + quoted(d + c.track) + " " + c.options);
    EXPECT_EQ(run.status, c.status) << run.err;
    if (c.status != 0) {
      EXPECT_NE(run.err.find(c.first), std::string::npos) << run.err;
      EXPECT_EQ(run.out, "");
      continue;
    }
    std::printf("[%s]\n%s", c.name, run.out.c_str());
    EXPECT_EQ(run.out.rfind(c.first, 0), 0u) << run.out;
    const auto track = records(run.out, "track");
    ASSERT_EQ(track.size(), 1u);
    ASSERT_EQ(track[0].size(), 12u);
    // The fixes wander about the line a little: a little longer than the ride.
    const double metres = std::strtod(track[0][9].c_str(), nullptr);
    EXPECT_GT(metres, truth_->plan.lengthM() - 30);
    EXPECT_LT(metres, truth_->plan.lengthM() * 1.15);
    int total = 0;
    std::map<std::string, int> skipped;
    for (const auto& r : records(run.out, "skipped")) {
      ASSERT_EQ(r.size(), 5u);
      skipped[r[1]] = std::stoi(r[2]);
      total += std::stoi(r[2]);
    }
    EXPECT_EQ(skipped, c.skipped);
    EXPECT_EQ(track[0][11], std::to_string(total));
  }
}

// What the trains folder holds is the user's: a "[Path]" outside it (which once had the tool
// truncate the footage to nothing and write beside it) is refused with the footage untouched;
// of the folder only the trains, their sounds and pictures are copied, never a video; the new
// line has its own title picture.
TEST_F(AuthorTool, TheUsersFilesAreNeverAtRisk) {
  makeRide();
  const fs::path trains = *dir_ / "my_trains";
  const fs::path footage = *dir_ / "my_footage";
  fs::remove_all(trains);
  fs::remove_all(footage);
  fs::copy(*dir_ / "demo", trains, fs::copy_options::recursive);
  fs::create_directories(footage);
  fs::copy_file(*dir_ / "ride.mp4", footage / "ride.mp4");
  const auto size = fs::file_size(footage / "ride.mp4");
  writeText(trains / "move" / "opening.avi", std::string(1 << 20, 'o'));
  writeText(trains / "move" / "old_line.mp4", std::string(1 << 20, 'v'));
  const std::string settings = slurp(trains / "dravolin.dat");
  const std::string ride =
      quoted((footage / "ride.mp4").string()) + " " + quoted((*dir_ / "ride.gpx").string()) + " ";
  const std::string options = " --trains " + quoted(trains.string()) + " --name 川原線";
  for (const std::string& path : {footage.string() + "/", std::string("..\\my_footage\\")}) {
    SCOPED_TRACE(path);
    std::string changed = settings;
    const std::size_t at = changed.find("[Path]\r\n") + 8;
    changed.replace(at, changed.find("\r\n", at) - at, path);
    writeText(trains / "dravolin.dat", changed);
    const ToolRun run = author(ride + quoted((*dir_ / "refused").string()) + options);
    EXPECT_EQ(run.status, 1) << run.out;
    EXPECT_NE(run.err.find("dravolin.dat: [Path]"), std::string::npos) << run.err;
    EXPECT_EQ(fs::file_size(footage / "ride.mp4"), size);
    EXPECT_EQ(std::distance(fs::directory_iterator(footage), fs::directory_iterator()), 1);
    EXPECT_FALSE(fs::exists(*dir_ / "refused"));
  }
  writeText(trains / "dravolin.dat", settings);
  const fs::path out = *dir_ / "kawara";
  const ToolRun made = author(ride + quoted(out.string()) + options);
  ASSERT_EQ(made.status, 0) << made.err;
  EXPECT_FALSE(fs::exists(out / "move" / "opening.avi"));
  EXPECT_FALSE(fs::exists(out / "move" / "old_line.mp4"));
  EXPECT_TRUE(fs::exists(out / "move" / "ride.mp4"));
  EXPECT_TRUE(fs::exists(out / "sound"));
  // The title screen shows the new line: a frame of its footage with its name, not the demo's.
  platform::FilePictureLoader pictures;
  const auto title = pictures.load((out / "image" / "title" / "title.jpg").string());
  ASSERT_TRUE(title.has_value());
  EXPECT_EQ(title->width, 640);
  EXPECT_EQ(title->height, 480);
  EXPECT_NE(slurp(out / "image" / "title" / "title.jpg"),
            slurp(trains / "image" / "title" / "title.jpg"));
  EXPECT_EQ(made.err.find("part"), std::string::npos);
  for (const auto& e : fs::directory_iterator(*dir_)) {
    EXPECT_EQ(e.path().filename().string().find(".part-"), std::string::npos) << e.path();
  }
  // An output folder named like the trains folder but beside it is no overlap.
  const ToolRun beside = author(ride + quoted((*dir_ / "my_trains2").string()) + options);
  EXPECT_EQ(beside.status, 0) << beside.err;
}

// Ctrl+C while the folder is being written (here the footage written afresh, as a .m4v is):
// the tool stops, says so, and removes the folder it was writing; nothing is left.
TEST_F(AuthorTool, CtrlCRemovesTheFolderBeingWritten) {
  makeRide();
  fs::copy_file(*dir_ / "ride.mp4", *dir_ / "slow.m4v", fs::copy_options::overwrite_existing);
  const fs::path out = *dir_ / "stopped";
  const std::string exe = DRAVOLIN_AUTHOR_EXE;
  const std::string video = (*dir_ / "slow.m4v").string(), track = (*dir_ / "ride.gpx").string(),
                    target = out.string(), demo = (*dir_ / "demo").string();
  const std::string errFile = (*dir_ / "stopped.err").string();
  std::vector<char*> argv;
  std::vector<std::string> words = {exe, video, track, target, "--trains", demo};
  for (std::string& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t files;
  posix_spawn_file_actions_init(&files);
  posix_spawn_file_actions_addopen(&files, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&files, 2, errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  pid_t pid = 0;
  ASSERT_EQ(posix_spawn(&pid, exe.c_str(), &files, nullptr, argv.data(), environ), 0);
  posix_spawn_file_actions_destroy(&files);
  // Once the folder being written is there, Ctrl+C.
  bool seen = false;
  for (int i = 0; i < 6000 && !seen; ++i) {
    for (const auto& e : fs::directory_iterator(*dir_)) {
      seen = seen || e.path().filename().string().rfind("stopped.part-", 0) == 0;
    }
    if (!seen) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  ASSERT_TRUE(seen);
  kill(pid, SIGINT);
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 130);
  EXPECT_NE(slurp(errFile).find("中断しました"), std::string::npos) << slurp(errFile);
  EXPECT_FALSE(fs::exists(out));
  for (const auto& e : fs::directory_iterator(*dir_)) {
    EXPECT_EQ(e.path().filename().string().rfind("stopped.part-", 0), std::string::npos);
  }
}

}  // namespace
}  // namespace dravolin::testing
