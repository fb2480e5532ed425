// dravolin-author VIDEO TRACK OUTDIR [--offset SECONDS] [--name NAME] [--tz ZONE]
//                 [--trains DIR] [--signals METRES] [--date YYYY-MM-DD] [--verbose]
// dravolin-author --read TRACK [--date YYYY-MM-DD]
//
// Makes OUTDIR a data folder with a line made from a cab ride: the footage VIDEO and the GPS
// track TRACK (GPX, NMEA, or the MP4 with the camera's own GPS stream, which may be VIDEO
// itself). Prints what it made, one record a line; a fault of the files is printed on standard
// error with exit status 1, a wrong command line with status 2. Ctrl+C (SIGINT) or SIGTERM stops
// it and removes the folder it was writing. --read says what it reads of TRACK, without a video.
#include <signal.h>
#include <unistd.h>
#include <QGuiApplication>

#include <atomic>
#include <charconv>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "author/line_folder.h"
#include "author/line_text.h"
#include "author/measure.h"
#include "library/package_writer.h"
#include "platform/ffmpeg_footage.h"
#include "platform/title_picture.h"

namespace {

namespace fs = std::filesystem;
using namespace dravolin;

const char kUsage[] =
    "usage: dravolin-author VIDEO TRACK OUTDIR [--offset SECONDS] [--name NAME] [--tz ZONE]\n"
    "                       [--trains DIR] [--signals METRES] [--date YYYY-MM-DD] [--verbose]\n"
    "                       [--package FILE]\n"
    "       dravolin-author --read TRACK [--date YYYY-MM-DD]\n"
    "\n"
    "Makes OUTDIR a data folder whose line is the ride filmed in VIDEO, with the GPS track\n"
    "TRACK: a GPX 1.0/1.1 file, an NMEA 0183 log, or an MP4 with the camera's GPS stream\n"
    "(GPMF; TRACK may be VIDEO itself). The title screen opens OUTDIR; its trains drive the\n"
    "new line.\n"
    "\n"
    "  --offset SECONDS  the track's clock minus the camera's (its creation time, else the\n"
    "                    track's first fix) instead of the offset found by matching the stops\n"
    "  --name NAME       the line's name (default: the video's file name)\n"
    "  --tz ZONE         time zone of the timetable, e.g. Asia/Tokyo (default: the system's)\n"
    "  --trains DIR      the data folder whose trains and settings the new folder takes\n"
    "                    (default: the installed demo)\n"
    "  --signals METRES  automatic block signals this far apart (default: none)\n"
    "  --date YYYY-MM-DD the UTC date of the track's first fix, for an NMEA log without RMC\n"
    "                    sentences (default: the day nearest the video's creation time)\n"
    "  --verbose         also print the stands the picture and the track show, and how they\n"
    "                    were paired\n"
    "  --package FILE    also make FILE, a line package (NAME.dravolin) of OUTDIR to share;\n"
    "                    its id is made from OUTDIR's name\n"
    "  --read TRACK      only read TRACK and say what was read: the first record\n"
    "                    track FORMAT fixes N first TIME last TIME metres M skipped K,\n"
    "                    then skipped CAUSE COUNT first_line|first_byte PLACE for each cause\n"
    "\n"
    "Prints one record a line: offset (and how sure), video_start, line, track, skipped,\n"
    "station I TYPE ARRIVE DEPART RANGE_START RANGE_END METRES NAME, slope PERMIL FROM TO,\n"
    "tunnel FIRST LAST, signal FRAME NAME (frames of the line video), then\n"
    "\"wrote OUTDIR\" (and \"packaged FILE\"). Exit status: 0 made (--read: a fix read), 1 a\n"
    "fault of the files (--read: no fix), 2 a wrong command line, 130 stopped by Ctrl+C (143 by\n"
    "SIGTERM).\n";

// The signal that asked the tool to stop (0: none). The work sees it at its next progress
// report, stops, and removes what it was writing.
volatile std::sig_atomic_t gStopSignal = 0;

extern "C" void onStopSignal(int signal) { gStopSignal = signal; }

// SIGINT and SIGTERM ask to stop; a second one ends the tool at once (SA_RESETHAND). A SIGINT
// that the shell ignores for a command run in the background stays ignored.
void catchStopSignals() {
  struct sigaction action {};
  action.sa_handler = onStopSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESETHAND;
  struct sigaction before {};
  if (sigaction(SIGINT, nullptr, &before) == 0 && before.sa_handler != SIG_IGN) {
    sigaction(SIGINT, &action, nullptr);
  }
  sigaction(SIGTERM, &action, nullptr);
}

// "2024-05-01" as s since 1970 at 00:00 UTC.
bool parseDate(const std::string& text, double& dayS) {
  int y = 0, m = 0, d = 0;
  char tail = 0;
  if (text.size() != 10 || std::sscanf(text.c_str(), "%4d-%2d-%2d%c", &y, &m, &d, &tail) != 3 ||
      text[4] != '-' || text[7] != '-' || y < 1980 || y > 2200 || m < 1 || m > 12 || d < 1 ||
      d > 31) {
    return false;
  }
  dayS = author::utcSeconds(y, m, d, 0, 0, 0);
  // 2024-02-30 is no date: its day is another month's.
  return author::formatTime(dayS, 0).substr(0, 10) == text;
}

// The record of what was read of a track, then one per cause of skipped records.
void printTrack(const author::Track& t) {
  std::string format;
  for (const char c : t.format) {
    if (c == ' ') {
      format += '-';
    } else if (c != '(' && c != ')') {
      format += c;
    }
  }
  char line[512];
  std::snprintf(line, sizeof line, "track %s fixes %zu first %s last %s metres %.1f skipped %d",
                format.c_str(), t.points.size(),
                t.points.empty() ? "-" : author::isoTime(t.points.front().timeS).c_str(),
                t.points.empty() ? "-" : author::isoTime(t.points.back().timeS).c_str(),
                author::trackLengthM(t), t.skippedTotal());
  std::cout << line << '\n';
  for (std::size_t i = 0; i < author::kSkipCauses; ++i) {
    const author::SkipTally& s = t.skipped[i];
    if (s.count == 0) continue;
    std::cout << "skipped " << author::skipCauseName(static_cast<author::SkipCause>(i)) << ' '
              << s.count << (t.byteOffsets ? " first_byte " : " first_line ") << s.firstAt << '\n';
  }
}

int usageError(const std::string& why) {
  std::cerr << "dravolin-author: " << why << '\n' << kUsage;
  return 2;
}

bool parseDouble(const std::string& text, double& v) {
  const char* end = text.data() + text.size();
  const auto [p, ec] = std::from_chars(text.data(), end, v);
  return ec == std::errc() && p == end && std::isfinite(v);
}

// Progress on standard error: a line that is rewritten on a terminal, else one line per tenth.
class Progress {
 public:
  bool operator()(double share, const std::string& step) {
    const int percent = static_cast<int>(share * 100);
    const bool tty = isatty(STDERR_FILENO) != 0;
    if (step != step_ || percent / (tty ? 1 : 10) != percent_ / (tty ? 1 : 10)) {
      std::fprintf(stderr, tty ? "\r%s %3d%%\033[K" : "%s %3d%%\n", step.c_str(), percent);
      std::fflush(stderr);
      step_ = step;
      percent_ = percent;
    }
    return true;
  }
  ~Progress() {
    if (!step_.empty() && isatty(STDERR_FILENO) != 0) std::fprintf(stderr, "\n");
  }

 private:
  std::string step_;
  int percent_ = -1;
};

// The measurements behind the offset: what stood still in the picture and in the track.
void printStands(const author::RideMeasurements& ride, const author::LineDraft& d) {
  char line[256];
  const author::PictureAnalysis& an = ride.pictureAnalysis;
  std::snprintf(line, sizeof line, "picture floor %.3f threshold %.3f frames %zu", an.floor,
                an.threshold, ride.picture.timeS.size());
  std::cout << line << '\n';
  for (const author::PictureStand& s : an.stands) {
    std::snprintf(line, sizeof line, "picture_stand %.3f %.3f%s%s", s.from, s.to,
                  s.cutAtStart ? " cut_at_start" : "", s.cutAtEnd ? " cut_at_end" : "");
    std::cout << line << '\n';
  }
  for (const author::Span& s : ride.profile.stops) {
    std::snprintf(line, sizeof line, "track_stop %.3f %.3f", s.from - d.sync.offsetS,
                  s.to - d.sync.offsetS);
    std::cout << line << '\n';
  }
  for (const author::Span& s : ride.profile.gaps) {
    std::snprintf(line, sizeof line, "track_gap %.3f %.3f", s.from - d.sync.offsetS,
                  s.to - d.sync.offsetS);
    std::cout << line << '\n';
  }
  for (const author::StopPair& p : d.sync.pairs) {
    std::snprintf(line, sizeof line, "pair %d %d arrival %+.3f departure %+.3f", p.pictureStand,
                  p.trackStop, p.arrivalOffsetS ? *p.arrivalOffsetS - d.sync.offsetS : NAN,
                  p.departureOffsetS ? *p.departureOffsetS - d.sync.offsetS : NAN);
    std::cout << line << '\n';
  }
}

void print(const author::RideMeasurements& ride, const author::LineDraft& d) {
  char line[512];
  std::snprintf(line, sizeof line, "offset %+.3f sure %s basis %s stops %zu events %d spread %.3f",
                d.userOffset(), d.sync.sureness.c_str(), d.sync.basis.c_str(), d.sync.pairs.size(),
                d.sync.events, d.sync.spreadS);
  std::cout << line << '\n';
  std::cout << "video_start " << author::formatTime(d.sync.offsetS) << " UTC\n";
  std::snprintf(line, sizeof line,
                "line frames %d-%d fps %.3f length %.1f rows %zu worst_distance %.2f "
                "worst_speed %.2f reencode %d",
                d.firstFrame, d.lastFrame, d.lineFps, d.lengthM, d.speed.rows.size(),
                d.speed.worstDistanceM, d.speed.worstSpeedKmh, d.reencode ? 1 : 0);
  std::cout << line << '\n';
  printTrack(ride.track);
  for (std::size_t i = 0; i < d.stations.size(); ++i) {
    const author::DraftStation& s = d.stations[i];
    std::snprintf(line, sizeof line, "station %zu %d %d %d %d %d %.2f %s", i, s.type, s.arriveFrame,
                  s.departFrame, s.rangeStart, s.rangeEnd, s.distanceM,
                  author::stationName(s.name).c_str());
    std::cout << line << '\n';
  }
  for (const author::DraftSlope& s : d.slopes) {
    std::snprintf(line, sizeof line, "slope %.4f %d %d", s.permil, s.fromFrame, s.toFrame);
    std::cout << line << '\n';
  }
  for (const author::DraftTunnel& t : d.tunnels) {
    std::cout << "tunnel " << t.firstFrame << ' ' << t.lastFrame << '\n';
  }
  for (const author::DraftSignal& s : d.signalList) {
    std::cout << "signal " << s.boundary << ' ' << author::stationName(s.name) << '\n';
  }
}

// --read TRACK: what the readers make of it, without a video.
int readOnly(const std::string& trackFile, std::optional<double> dayS) {
  platform::FfmpegFootage footage;
  author::Track track;
  try {
    track = author::readTrackFile(trackFile, footage, author::TrackDating{dayS, std::nullopt});
  } catch (const author::AuthorError& e) {
    std::cerr << "dravolin-author: " << e.what() << '\n';
    return 1;
  } catch (const platform::FootageError& e) {
    std::cerr << "dravolin-author: " << e.what() << '\n';
    return 1;
  }
  printTrack(track);
  std::cout.flush();
  try {
    author::checkTrack(track);
  } catch (const author::AuthorError& e) {
    // Read, but no line can be made of it: said, the status tells whether any fix was read.
    std::cerr << "dravolin-author: " << e.what() << '\n';
  }
  return track.points.empty() || !std::cout ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> files;
  author::LineOptions options;
  std::string trains;
  std::string readFile;
  std::optional<double> dayS;
  bool verbose = false;
  std::string package;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const auto value = [&](std::string& out) {
      if (i + 1 >= argc) return false;
      out = argv[++i];
      return true;
    };
    std::string v;
    if (arg == "--help" || arg == "-h") {
      std::cout << kUsage;
      return 0;
    } else if (arg == "--offset") {
      double s = 0;
      if (!value(v) || !parseDouble(v, s)) return usageError("--offset needs a number of seconds");
      options.userOffsetS = s;
    } else if (arg == "--name") {
      if (!value(options.lineName) || options.lineName.empty()) {
        return usageError("--name needs a name");
      }
    } else if (arg == "--tz") {
      if (!value(options.clock.zone)) return usageError("--tz needs a time zone");
    } else if (arg == "--trains") {
      if (!value(trains)) return usageError("--trains needs a folder");
    } else if (arg == "--signals") {
      double m = 0;
      if (!value(v) || !parseDouble(v, m) || m < 100 || m > 100000) {
        return usageError("--signals needs a distance of 100 to 100000 metres");
      }
      options.signalSpacingM = static_cast<int>(m);
    } else if (arg == "--date") {
      double d = 0;
      if (!value(v) || !parseDate(v, d)) return usageError("--date needs a date YYYY-MM-DD");
      dayS = d;
    } else if (arg == "--read") {
      if (!value(readFile)) return usageError("--read needs a track file");
    } else if (arg == "--verbose") {
      verbose = true;
    } else if (arg == "--package") {
      if (!value(package) || package.empty()) return usageError("--package needs a file");
    } else if (arg.size() > 1 && arg[0] == '-') {
      return usageError("unknown option " + arg);
    } else {
      files.push_back(arg);
    }
  }
  if (!readFile.empty()) {
    if (!files.empty()) return usageError("--read takes the track alone, without VIDEO or OUTDIR");
    return readOnly(readFile, dayS);
  }
  if (files.size() != 3) return usageError("VIDEO, TRACK and OUTDIR are needed");

  author::FolderOptions folder;
  folder.outDir = files[2];
  if (!trains.empty()) {
    folder.trainsDir = trains;
  } else {
    std::error_code ec;
    const fs::path self = fs::canonical("/proc/self/exe", ec);
    const auto found = author::installedTrainsFolder(self.parent_path(), DRAVOLIN_INSTALL_DATADIR);
    if (!found) {
      std::cerr << "dravolin-author: 列車のフォルダ（インストールされたデモ）が見つかりません。"
                   "--trains で指定してください\n";
      return 1;
    }
    folder.trainsDir = *found;
  }
  if (options.lineName.empty()) options.lineName = fs::path(files[0]).stem().string();
  options.dataName = author::dataNameOf(files[0]);

  // The title picture is drawn with Qt's fonts, off screen: no display is needed.
  int qtArgc = 3;
  char platformOption[] = "-platform";
  char offscreen[] = "offscreen";
  char* qtArgv[] = {argv[0], platformOption, offscreen, nullptr};
  const QGuiApplication app(qtArgc, qtArgv);
  folder.titlePicture = [](const platform::Bitmap& frame, const std::string& name) {
    return platform::drawTitlePicture(frame, name);
  };

  catchStopSignals();
  const auto progress = [](Progress& shown) {
    return
        [&shown](double s, const std::string& step) { return gStopSignal == 0 && shown(s, step); };
  };
  platform::FfmpegFootage footage;
  try {
    Progress shown;
    const author::RideMeasurements ride =
        author::measureRide(files[0], files[1], footage, progress(shown), dayS);
    const author::LineDraft draft = author::buildLine(ride, options);
    if (verbose) printStands(ride, draft);
    author::writeLineFolder(ride, draft, folder, footage, progress(shown));
    print(ride, draft);
  } catch (const platform::FootageCancelled&) {
    std::cerr << "dravolin-author: 中断しました（書きかけのフォルダは消しました）\n";
    return 128 + (gStopSignal != 0 ? static_cast<int>(gStopSignal) : SIGINT);
  } catch (const author::AuthorError& e) {
    std::cerr << "dravolin-author: " << e.what() << '\n';
    return 1;
  } catch (const platform::FootageError& e) {
    std::cerr << "dravolin-author: " << e.what() << '\n';
    return 1;
  } catch (const fs::filesystem_error& e) {
    std::cerr << "dravolin-author: " << e.what() << '\n';
    return 1;
  }
  std::cout << "wrote " << folder.outDir.string() << '\n';
  if (!package.empty()) {
    // The folder just written, as one file to share (its trains loaded on the line again).
    // Ctrl+C stops the packing at its next block, and the package is not left behind.
    std::atomic<bool> stop{false};
    library::Progress packing;
    packing.cancel = &stop;
    packing.report = [&stop](const msg::Message&, std::uint64_t, std::uint64_t) {
      if (gStopSignal != 0) stop = true;
    };
    try {
      library::PackageOptions p;
      p.name = options.lineName;
      library::createPackage(folder.outDir, package, p, packing);
    } catch (const library::PackageError& e) {
      std::cerr << "dravolin-author: " << e.text() << '\n';
      return 1;
    }
    std::cout << "packaged " << package << '\n';
  }
  std::cout.flush();
  return std::cout ? 0 : 1;
}
