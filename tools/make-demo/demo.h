// The pieces of dravolin-make-demo: where files go, and the writers of data files, pictures,
// sounds and videos. Names inside the data files use "\" as Windows add-ons do; on disk they are
// folders.
#pragma once

#include <QImage>
#include <QString>
#include <filesystem>
#include <string>
#include <vector>

#include "tools/make-demo/plan.h"

namespace dravolin::demo {

// The output folder and what to write into it.
class Output {
 public:
  Output(std::filesystem::path root, bool fast, std::string only)
      : root_(std::move(root)), fast_(fast), only_(std::move(only)) {}

  bool fast() const { return fast_; }
  // Whether the file `name` ("image\\title\\help.bmp") is to be written in this run.
  bool wants(const std::string& name) const { return only_.empty() || only_ == name; }
  // The path of `name` on disk; its folder is created.
  std::filesystem::path path(const std::string& name) const;
  void writeBytes(const std::string& name, const std::string& bytes) const;
  // Writes UTF-8 `lines` in Shift-JIS with CR LF line ends.
  void writeText(const std::string& name, const std::vector<std::string>& lines) const;
  // Writes a 24-bit BMP (or a JPEG for a name ending in ".jpg").
  void writeImage(const std::string& name, const QImage& image) const;
  // Counts the files written, for the summary.
  mutable int written = 0;

 private:
  std::filesystem::path root_;
  bool fast_;
  std::string only_;
};

// Train, line and settings files, controller map, help text, readme.
void writeDataFiles(const Plan& plan, const Output& out);
// Every picture the data files name, the title pictures and the still picture.
void writePictures(const Plan& plan, const Output& out);
// Every sound; spoken sounds only when `speech` is set.
void writeSounds(const Plan& plan, const Output& out);
// The line video and the opening movie.
void writeVideos(const Plan& plan, const Output& out);

// The cab view at a frame of the line video (480 x 240).
QImage renderFrame(const Plan& plan, int frame);
// A short 16-bit mono PCM sound at 22050 Hz, as the opening movie's sound track uses it.
std::vector<short> openingTune();

// Shared naming: the spoken call-out of a speed limit ("せいげん ろくじゅうご").
std::string kanaNumber(int n);

// Timetable of one line file, in clock ticks of 1/30 s.
struct Timetable {
  int startTime = 0;
  int preTime = 0;  // seconds
  std::vector<int> arrive, depart, melody;
};
Timetable timetable(const Plan& plan, bool rapid);

inline constexpr int kTicksPerHour = 108000;

// A sound of a line file: its file name and, for a spoken one, the kana it says.
struct LineSound {
  std::string file;
  std::string kana;  // empty: a synthesised sound
  int frame = 0;     // for announcements: where it is played
};
// The "[SoundData]" list of a line file: 0 departure melody, 1 crossing bell, 2 passing train,
// then the announcements.
std::vector<LineSound> lineSounds(const Plan& plan, bool rapid);
// The 28 fixed call-outs (0 stop, 1 warning, 2 caution, 3 reduce speed, 4 proceed, 5 repeater,
// 6 to 27 the limits 15 to 120 km/h) and the other indications' call-outs.
std::vector<LineSound> callOuts();
std::vector<LineSound> otherIndications();  // file = the call-out sound; picture other<i>.bmp

// Where a gauge's scale starts, in degrees clockwise from straight up. The needle pictures are
// drawn pointing there and the train files give them a zero angle of 0, so a needle rests on
// its scale's zero until the first display tick turns it.
inline constexpr int kScaleStartDegrees = -135;  // speed, pressures, voltage
inline constexpr int kAmmeterZeroDegrees = -45;  // the ammeter's 0 A, a third up its scale

// The "[DriveSound]" list of a train (first 13 entries the running-noise bands).
std::vector<std::string> driveSounds(bool e231);
// Indices into the drive sounds.
enum DriveSound {
  kBrakeRelease = 13,
  kBrakeApply,
  kEmergency,
  kSqueal,
  kCpStart,
  kCpLoop,
  kCpEnd,
  kDoorOpen,
  kDoorClose,
  kHorn1,
  kHorn2,
  kAtsBell,
  kAtsChime,
  kAtcChime,
  kEbBuzzer,
  kStopSound,
  kDriveCount
};

}  // namespace dravolin::demo
