// dravolin-check [--dir DIR] TRAIN_FILE LINE_FILE
//
// Reads, in DIR (default: the current folder), the data files of one drive in the start-up
// order: "mascon.dat", the line file, "dravolin.dat", the train file, then the brake validation
// and the line distances. On the first error it prints the program's own message (UTF-8) on
// standard error and exits 1. Otherwise it prints one record a line, fields separated by single
// blanks, names last: ok, counts, speedunit rows, check points, stations, train.
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "data/drive_files.h"
#include "data/load_error.h"
#include "platform/file_picture_loader.h"
#include "platform/language.h"
#include "sim/fixed.h"

namespace {

using dravolin::data::DriveFiles;
using dravolin::sim::formatFixed;

const char kUsage[] = "usage: dravolin-check [--dir DIR] [--lang ja|en] TRAIN_FILE LINE_FILE\n";

void print(const DriveFiles& d, std::ostream& out) {
  const auto& line = d.line;
  const auto& train = d.train;
  const auto& p = train.params;
  out << "ok\n";
  out << "counts"
      << " mascon=" << d.mascon.codes.size() << " drivesound=" << train.DriveSound.size()
      << " motorsound=" << train.MotorSound.size() << " notch=" << p.NotchTable.size()
      << " gear=" << p.GearCount() << " sounddata=" << line.soundData.size()
      << " announce=" << line.announce.size() << " kanko=" << line.announcementCount
      << " sound=" << line.sounds.size() << " doppler=" << line.dopplers.size()
      << " tunnel=" << line.tunnels.size() << " station=" << line.stations.size()
      << " stopsound=" << line.stopSoundFrames.size() << " signal=" << line.signals.size()
      << " slope=" << line.slopes.size() << " sign=" << line.signs.size()
      << " speedlimit=" << line.speedLimits.size() << " speedcheck=" << line.speedChecks.size()
      << " signimages=" << line.signImages.images.size()
      << " otherimages=" << line.otherImages.images.size()
      << " signalimages=" << line.signalImages.images.size()
      << " speedunit=" << line.params.SpeedUnit.size() << " checkpoints=" << line.checkPoints.size()
      << '\n';
  for (std::size_t i = 0; i < line.params.SpeedUnit.size(); ++i) {
    const auto& u = line.params.SpeedUnit[i];
    out << "speedunit " << i << ' ' << u.startFrame << ' ' << u.endFrame << ' ' << u.startSpeed
        << ' ' << u.endSpeed << ' ' << u.endDistance << '\n';
  }
  for (std::size_t i = 0; i < line.checkPoints.size(); ++i) {
    const auto& c = line.checkPoints[i];
    out << "checkpoint " << i << ' ' << c.distance << ' ' << c.limit << ' ' << c.signalIndex
        << '\n';
  }
  for (std::size_t i = 0; i < line.stations.size(); ++i) {
    const auto& s = line.stations[i];
    out << "station " << i << ' ' << s.type << ' ' << s.rangeStart << ' ' << s.rangeEnd << ' '
        << s.stopDistance << ' ' << s.nameUtf8 << '\n';
  }
  out << "train Power=" << p.Power << " Brake=" << p.Brake << " BrakeType=" << p.BrakeType
      << " Engine_Type=" << p.Engine_Type << " Cars=" << p.Cars << " Tons=" << formatFixed(p.Tons)
      << " Mt=" << formatFixed(p.Mt) << " MaxSpeed=" << p.MaxSpeed << '\n';
}

}  // namespace

int main(int argc, char** argv) {
  std::string languageError;
  if (!dravolin::msg::takeLanguageOption(argc, argv, languageError)) {
    std::cerr << "dravolin-check: " << languageError << '\n' << kUsage;
    return 2;
  }
  std::string dir = ".";
  std::vector<std::string> names;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--dir" && i + 1 < argc) {
      dir = argv[++i];
    } else if (arg.rfind("--dir=", 0) == 0) {
      dir = arg.substr(6);
    } else if (arg == "--help" || arg == "-h") {
      std::cout << kUsage;
      return 0;
    } else if (arg.size() > 1 && arg[0] == '-' && arg != "--") {
      std::cerr << "dravolin-check: unknown option " << arg << '\n' << kUsage;
      return 2;
    } else if (arg != "--") {
      names.push_back(arg);
    }
  }
  if (names.size() != 2) {
    std::cerr << kUsage;
    return 2;
  }

  dravolin::platform::FilePictureLoader pictures;
  dravolin::data::LoadContext ctx;
  ctx.dataDir = dir;
  ctx.pictures = &pictures;
  try {
    const DriveFiles d = dravolin::data::readDriveFiles(names[0], names[1], ctx);
    print(d, std::cout);
  } catch (const dravolin::data::LoadError& e) {
    std::cerr << e.message() << '\n';
    return 1;
  }
  std::cout.flush();
  return std::cout ? 0 : 1;
}
