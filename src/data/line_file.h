// The line file: one line as recorded on its video. Positions are video frame numbers; the
// distances along the line (centimetres) are derived at load from the "[SpeedUnit]" profile by
// computeLineDistances (line_distances.h).
//
// Texts are kept as the raw code page 932 bytes for comparisons and file names; texts that are
// shown (line, station and signal names, announcement texts) are also kept converted to UTF-8.
// Every list's record count is the size of its vector. A list key met a second time starts its
// list afresh; the three image lists instead append.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "data/load_context.h"
#include "data/load_error.h"
#include "platform/bitmap.h"
#include "sim/fixed.h"
#include "sim/line_params.h"
#include "sim/line_tables.h"

namespace dravolin::data {

using sim::CheckPoint;
using sim::SignalRecord;
using sim::SpeedCheckRecord;
using sim::StationRecord;

// Room of the tables (records); a file with more is refused.
inline constexpr int kLineListRoom = 501;
inline constexpr int kOtherImageRoom = 100;
inline constexpr int kCheckPointRoom = 501;
// Announcements 0 to 27 come from "[KankoSound1]", "[KankoSound2]" records are 28 onwards up to
// announcement number 500.
inline constexpr int kFixedAnnouncements = 28;
inline constexpr int kKankoSound2Room = kLineListRoom - kFixedAnnouncements;

// "[Announce]": one-man announcement sequence.
struct AnnounceRecord {
  int sound = 0;  // line sound number
  int value = 0;  // second field, read by the sound control
};

// "[KankoSound2]": an announcement chosen by the signal indication text.
struct KankoSound2Record {
  std::string text;      // raw, compared with the signal indication label's text
  std::string textUtf8;  // for display
  std::string soundFile;
};

// "[Sound]": a line sound tied to a stretch of the line.
struct LineSoundRecord {
  int sound = 0;           // line sound number
  int startFrame = 0;      // frame
  int endFrame = 0;        // frame
  int referenceSpeed = 0;  // km/h; 1 keeps the sound's own pitch
  int mode = 0;            // 0 played once near startFrame, >= 1 looped startFrame..endFrame
};

// "[Doppler]": a passing sound source.
struct DopplerRecord {
  int sound = 0;       // line sound number
  int startFrame = 0;  // frame where it starts approaching
  int passFrame = 0;   // frame where it passes
  int endFrame = 0;    // frame where it has receded
};

// "[Tunnel]"
struct TunnelRecord {
  int firstFrame = 0;
  int lastFrame = 0;
};

// "[Slope]"
struct SlopeRecord {
  sim::Fixed gradient;  // permil, uphill positive
  int fromFrame = 0;
  int toFrame = 0;
};

// "[Sign]": an image of the other-indication list shown over a stretch.
struct SignRecord {
  int image = 0;  // index in otherImages
  int fromFrame = 0;
  int toFrame = 0;
};

// "[SpeedLimit]"
struct SpeedLimitRecord {
  int limit = 0;          // km/h
  int announceFrame = 0;  // frame from which the limit is announced
  int startFrame = 0;     // frame where the limit begins; its distance becomes a check point
  int endFrame = 0;       // frame where it ends
  std::string line;       // the record as written (raw), for error messages
};

// "[OtherImageList]": the picture goes to otherImages, the sound is other-indication sound i.
struct OtherImageRecord {
  std::string imageFile;
  std::string soundFile;
};

// An image list of fixed cell size. A picture added to it is cut into cells from the left, one
// per whole cell width (a strip of pictures side by side gives one image each); a picture
// narrower than a cell is one image. Cells are at most the cell size, cut off at the picture's
// right and lower edges.
struct ImageList {
  int cellWidth = 0;   // pixels
  int cellHeight = 0;  // pixels
  std::vector<platform::Bitmap> images;

  void add(const platform::Bitmap& picture);
};

struct LineFile {
  // --- single keys ---
  std::string lineName;  // "[LineName]", raw
  std::string lineNameUtf8;
  // "[StartPos]", "[StartTime]", "[FrameRate]", "[Pre_Time]" (x 30) and "[SpeedUnit]" with the
  // derived end distances: what the simulation reads.
  sim::LineParams params;
  int preTimeSeconds = 0;          // "[Pre_Time]" as written, s
  std::string timetableImageFile;  // "[Staf]" first line
  std::string stillImageFile;      // "[Staf]" second line
  int speedYY = 0;                 // "[Speed_YY]", km/h
  int speedY = 0;                  // "[Speed_Y]", km/h
  int speedYG = 0;                 // "[Speed_YG]", km/h
  int speedG = 0;                  // "[Speed_G]", km/h
  std::string dataName;            // "[DataName]": video base name, raw
  int oneMan = 0;                  // "[OneMan]": non-zero for one-man operation
  std::array<std::string, kFixedAnnouncements> kankoSound1;  // "[KankoSound1]" sound files

  // --- lists ---
  std::vector<std::string> soundData;  // "[SoundData]": line sound i's file
  std::vector<AnnounceRecord> announce;
  std::vector<KankoSound2Record> kankoSound2;
  // 0 when the file has no "[KankoSound2]"; otherwise 28 + its records.
  int announcementCount = 0;
  std::vector<LineSoundRecord> sounds;  // "[Sound]"
  std::vector<DopplerRecord> dopplers;
  std::vector<TunnelRecord> tunnels;
  std::vector<StationRecord> stations;
  std::vector<int> stopSoundFrames;  // "[StopSound]", frames
  std::vector<SignalRecord> signals;
  std::vector<SlopeRecord> slopes;
  std::vector<SignRecord> signs;
  std::vector<SpeedLimitRecord> speedLimits;
  std::vector<SpeedCheckRecord> speedChecks;
  // The "[SpeedUnit]" records as written (raw), beside params.SpeedUnit, for error messages.
  std::vector<std::string> speedUnitLines;

  // --- image lists: records of the last list key, pictures of every one ---
  std::vector<std::string> signImageFiles;          // "[SignImageList]"
  std::vector<OtherImageRecord> otherImageRecords;  // "[OtherImageList]": O records
  std::vector<std::string> signalImageFiles;        // "[SignalImageList]"
  ImageList signImages{50, 50, {}};
  ImageList otherImages{100, 50, {}};
  ImageList signalImages{50, 100, {}};

  // --- derived by computeLineDistances ---
  std::vector<CheckPoint> checkPoints;
};

// "路線ファイルに誤りがあります。" + section label + ":" + the line (converted to UTF-8), and
// `detail` on a line of its own when there is one.
LoadError lineFileError(const msg::Arg& sectionLabel, std::string_view rawLine,
                        const std::optional<msg::Message>& detail = std::nullopt);

// Reads the line file named `fileName` (as the title screen names it, resolved in the context's
// data folder), loading the image-list pictures through `context`, which also carries the section
// label. Throws LoadError on the first fault. The derived data is left to computeLineDistances.
LineFile readLineFile(std::string_view fileName, LoadContext& context);
// The same from the file's bytes.
LineFile parseLineFile(std::string bytes, LoadContext& context);

}  // namespace dravolin::data
