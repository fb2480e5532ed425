// The line file reader.
//
// Sections:
//   1. Errors and helpers
//   2. Image lists
//   3. Single keys
//   4. Lists of the sounds and announcements
//   5. Lists of the line (stations, signals, slopes, signs, limits, checks, speed units)
//   6. Image list keys
//   7. The reading loop
#include "data/line_file.h"

#include <algorithm>
#include <utility>

#include "data/data_path.h"
#include "data/keyed_file.h"
#include "data/text_encoding.h"

namespace dravolin::data {
namespace {

// ---------------------------------------------------------------------------------------------
// 1. Errors and helpers
// ---------------------------------------------------------------------------------------------

constexpr std::string_view kOtherLabel = "other";
constexpr std::string_view kLastLabel = "[SpeedUnit]";  // the label of the last key tested

// The next line as a text value; the file ending first is an error rather than an empty text.
std::string nextTextValue(KeyedFile& f) {
  if (!f.next()) {
    f.fail(msg::fileEndedBeforeValue());
  }
  return std::string(f.line());
}

// The next line as the integer value of a single key; the file ending first is an error with
// the same explanation as for a text value, not the plain message of a bad number.
std::int32_t nextIntValue(KeyedFile& f) {
  if (!f.next()) {
    f.fail(msg::fileEndedBeforeValue());
  }
  return f.lineInt();
}

// The second line of a two-line record: taken as it comes, but the file must not end first.
std::string secondRecordLine(KeyedFile& f) {
  if (!f.next()) {
    f.fail(msg::listNotClosed());
  }
  return std::string(f.line());
}

}  // namespace

LoadError lineFileError(const msg::Arg& sectionLabel, std::string_view rawLine,
                        const std::optional<msg::Message>& detail) {
  if (!detail) return LoadError(msg::lineFileError(sectionLabel, cp932ToUtf8(rawLine)));
  return LoadError(msg::lineFileErrorDetail(sectionLabel, cp932ToUtf8(rawLine), *detail));
}

// ---------------------------------------------------------------------------------------------
// 2. Image lists
// ---------------------------------------------------------------------------------------------

void ImageList::add(const platform::Bitmap& picture) {
  if (picture.empty() || cellWidth <= 0 || cellHeight <= 0) {
    return;
  }
  const int cells = std::max(1, picture.width / cellWidth);
  const int height = std::min(picture.height, cellHeight);
  for (int c = 0; c < cells; ++c) {
    const int left = c * cellWidth;
    platform::Bitmap cell;
    cell.width = std::min(cellWidth, picture.width - left);
    cell.height = height;
    cell.pixels.reserve(static_cast<std::size_t>(cell.width) * static_cast<std::size_t>(height));
    for (int y = 0; y < height; ++y) {
      const auto row =
          picture.pixels.begin() + static_cast<std::ptrdiff_t>(y) * picture.width + left;
      cell.pixels.insert(cell.pixels.end(), row, row + cell.width);
    }
    images.push_back(std::move(cell));
  }
}

namespace {

// ---------------------------------------------------------------------------------------------
// 3. Single keys
// ---------------------------------------------------------------------------------------------

void readSingleKeys(KeyedFile& f, LineFile& line) {
  if (f.isKey("[LineName]")) {
    line.lineName = nextTextValue(f);
    line.lineNameUtf8 = cp932ToUtf8(line.lineName);
  }
  if (f.isKey("[StartPos]")) {
    line.params.StartPos = nextIntValue(f);
  }
  if (f.isKey("[FrameRate]")) {
    const int rate = nextIntValue(f);
    if (rate < 1 || rate > 30) {
      f.fail(msg::frameRateRange());
    }
    line.params.FrameRate = rate;
  }
  if (f.isKey("[Staf]")) {
    line.timetableImageFile = nextTextValue(f);
    line.stillImageFile = nextTextValue(f);
  }
  if (f.isKey("[StartTime]")) {
    line.params.StartTime = nextIntValue(f);
  }
  if (f.isKey("[Speed_YY]")) {
    line.speedYY = nextIntValue(f);
  }
  if (f.isKey("[Speed_Y]")) {
    line.speedY = nextIntValue(f);
  }
  if (f.isKey("[Speed_YG]")) {
    line.speedYG = nextIntValue(f);
  }
  if (f.isKey("[Speed_G]")) {
    line.speedG = nextIntValue(f);
  }
  if (f.isKey("[DataName]")) {
    line.dataName = nextTextValue(f);
  }
  if (f.isKey("[Pre_Time]")) {
    const int seconds = nextIntValue(f);
    int frames = 0;
    if (__builtin_mul_overflow(seconds, 30, &frames)) {
      f.fail(msg::preTimeTooLarge());
    }
    line.preTimeSeconds = seconds;
    line.params.PreTimeFrames = frames;
  }
  if (f.isKey("[OneMan]")) {
    line.oneMan = nextIntValue(f);
  }
}

// ---------------------------------------------------------------------------------------------
// 4. Lists of the sounds and announcements
// ---------------------------------------------------------------------------------------------

void readSoundLists(KeyedFile& f, LoadContext& context, LineFile& line) {
  context.sectionLabel = "[SoundData]";
  if (f.isKey("[SoundData]")) {
    line.soundData.clear();
    while (f.nextListLine(ListEnd::Fail)) {
      f.checkRoom(line.soundData.size(), kLineListRoom);
      line.soundData.emplace_back(f.line());
    }
  }
  context.sectionLabel = "[Announce]";
  if (f.isKey("[Announce]")) {
    line.announce.clear();
    while (f.nextListLine(ListEnd::EmptyLine)) {
      f.checkRoom(line.announce.size(), kLineListRoom);
      line.announce.push_back({f.intField(1), f.intField(2)});
    }
  }
  context.sectionLabel = "[KankoSound1]";
  if (f.isKey("[KankoSound1]")) {
    for (std::string& file : line.kankoSound1) {
      file = nextTextValue(f);
    }
  }
  context.sectionLabel = "[KankoSound2]";
  if (f.isKey("[KankoSound2]")) {
    line.kankoSound2.clear();
    line.announcementCount = kFixedAnnouncements;
    while (f.nextListLine(ListEnd::Fail)) {
      f.checkRoom(line.kankoSound2.size(), kKankoSound2Room);
      KankoSound2Record record;
      record.text = std::string(f.line());
      record.textUtf8 = cp932ToUtf8(record.text);
      record.soundFile = secondRecordLine(f);
      line.kankoSound2.push_back(std::move(record));
      ++line.announcementCount;
    }
  }
  context.sectionLabel = "[Sound]";
  if (f.isKey("[Sound]")) {
    line.sounds.clear();
    while (f.nextListLine(ListEnd::EmptyLine)) {
      if (f.line().starts_with(';')) {  // a remark, in this list only
        continue;
      }
      f.checkRoom(line.sounds.size(), kLineListRoom);
      line.sounds.push_back(
          {f.intField(1), f.intField(2), f.intField(3), f.intField(4), f.intField(5)});
    }
  }
  context.sectionLabel = "[Doppler]";
  if (f.isKey("[Doppler]")) {
    line.dopplers.clear();
    while (f.nextListLine(ListEnd::EmptyLine)) {
      f.checkRoom(line.dopplers.size(), kLineListRoom);
      line.dopplers.push_back({f.intField(1), f.intField(2), f.intField(3), f.intField(4)});
    }
  }
}

// ---------------------------------------------------------------------------------------------
// 5. Lists of the line
// ---------------------------------------------------------------------------------------------

void readLineLists(KeyedFile& f, LoadContext& context, LineFile& line) {
  context.sectionLabel = "[Tunnel]";
  if (f.isKey("[Tunnel]")) {
    line.tunnels.clear();
    while (f.nextListLine(ListEnd::EmptyLine)) {
      f.checkRoom(line.tunnels.size(), kLineListRoom);
      TunnelRecord tunnel;
      tunnel.firstFrame = f.lineInt();
      tunnel.lastFrame = f.nextInt();
      line.tunnels.push_back(tunnel);
    }
  }
  context.sectionLabel = "[Station]";
  if (f.isKey("[Station]")) {
    line.stations.clear();
    while (f.nextListLine(ListEnd::EmptyLine)) {
      f.checkRoom(line.stations.size(), kLineListRoom);
      StationRecord station;
      station.name = std::string(f.textField(1));
      station.nameUtf8 = cp932ToUtf8(station.name);
      station.type = f.intField(2);
      station.rangeStart = f.intField(3);
      station.rangeEnd = f.intField(4);
      station.departureSound = f.intField(5);
      station.departureSoundTime = f.intField(6);
      station.departureTime = f.intField(7);
      station.line = std::string(f.line());
      line.stations.push_back(std::move(station));
    }
  }
  context.sectionLabel = "[StopSound]";
  if (f.isKey("[StopSound]")) {
    line.stopSoundFrames.clear();
    while (f.nextListLine(ListEnd::EmptyLine)) {
      f.checkRoom(line.stopSoundFrames.size(), kLineListRoom);
      line.stopSoundFrames.push_back(f.lineInt());
    }
  }
  context.sectionLabel = "[Signal]";
  if (f.isKey("[Signal]")) {
    line.signals.clear();
    while (f.nextListLine(ListEnd::EmptyLine)) {
      f.checkRoom(line.signals.size(), kLineListRoom);
      SignalRecord signal;
      signal.control = f.intField(1);
      signal.name = std::string(f.textField(2));
      signal.nameUtf8 = cp932ToUtf8(signal.name);
      signal.kind = f.intField(3);
      signal.displayFromFrame = f.intField(4);
      signal.boundaryFrame = f.intField(5);
      signal.transponderFrame = f.intField(6);
      signal.checkFrame = f.intField(7);
      signal.fixedState = f.intField(8);
      signal.until = f.intField(9);
      signal.line = std::string(f.line());
      line.signals.push_back(std::move(signal));
    }
  }
  context.sectionLabel = "[Slope]";
  if (f.isKey("[Slope]")) {
    line.slopes.clear();
    while (f.nextListLine(ListEnd::EmptyLine)) {
      f.checkRoom(line.slopes.size(), kLineListRoom);
      line.slopes.push_back({f.fixedField(1), f.intField(2), f.intField(3)});
    }
  }
  context.sectionLabel = "[Sign]";
  if (f.isKey("[Sign]")) {
    line.signs.clear();
    while (f.nextListLine(ListEnd::EmptyLine)) {
      f.checkRoom(line.signs.size(), kLineListRoom);
      line.signs.push_back({f.intField(1), f.intField(2), f.intField(3)});
    }
  }
  context.sectionLabel = "[SpeedLimit]";
  if (f.isKey("[SpeedLimit]")) {
    line.speedLimits.clear();
    while (f.nextListLine(ListEnd::EmptyLine)) {
      f.checkRoom(line.speedLimits.size(), kLineListRoom);
      line.speedLimits.push_back(
          {f.intField(1), f.intField(2), f.intField(3), f.intField(4), std::string(f.line())});
    }
  }
  context.sectionLabel = "[SpeedCheck]";
  if (f.isKey("[SpeedCheck]")) {
    line.speedChecks.clear();
    while (f.nextListLine(ListEnd::EmptyLine)) {
      f.checkRoom(line.speedChecks.size(), kLineListRoom);
      line.speedChecks.push_back({f.intField(1), f.intField(2)});
    }
  }
}

// ---------------------------------------------------------------------------------------------
// 6. Image list keys
// ---------------------------------------------------------------------------------------------

// Loads the picture named by the line consumed last and appends it to `list`.
void addPicture(KeyedFile& f, LoadContext& context, std::string_view rawName, ImageList& list) {
  std::optional<platform::Bitmap> picture = context.loadWorkPicture(rawName);
  if (!picture) {
    f.fail();
  }
  list.add(*picture);
}

void readImageLists(KeyedFile& f, LoadContext& context, LineFile& line) {
  context.sectionLabel = "[SignImageList]";
  if (f.isKey("[SignImageList]")) {
    line.signImageFiles.clear();
    while (f.nextListLine(ListEnd::Fail)) {
      f.checkRoom(line.signImageFiles.size(), kLineListRoom);
      line.signImageFiles.emplace_back(f.line());
      addPicture(f, context, f.line(), line.signImages);
    }
  }
  context.sectionLabel = "[OtherImageList]";
  if (f.isKey("[OtherImageList]")) {
    line.otherImageRecords.clear();
    while (f.nextListLine(ListEnd::Fail)) {
      f.checkRoom(line.otherImageRecords.size(), kOtherImageRoom);
      OtherImageRecord record;
      record.imageFile = std::string(f.line());
      addPicture(f, context, record.imageFile, line.otherImages);
      record.soundFile = secondRecordLine(f);
      line.otherImageRecords.push_back(std::move(record));
    }
  }
  context.sectionLabel = "[SignalImageList]";
  if (f.isKey("[SignalImageList]")) {
    line.signalImageFiles.clear();
    while (f.nextListLine(ListEnd::Fail)) {
      f.checkRoom(line.signalImageFiles.size(), kLineListRoom);
      line.signalImageFiles.emplace_back(f.line());
      addPicture(f, context, f.line(), line.signalImages);
    }
  }
  context.sectionLabel = kLastLabel;
  if (f.isKey("[SpeedUnit]")) {
    line.params.SpeedUnit.clear();
    line.speedUnitLines.clear();
    while (f.nextListLine(ListEnd::EmptyLine)) {
      f.checkRoom(line.params.SpeedUnit.size(), kLineListRoom);
      sim::SpeedUnitRow unit;
      unit.startFrame = f.intField(1);
      unit.endFrame = f.intField(2);
      unit.startSpeed = f.intField(3);
      unit.endSpeed = f.intField(4);
      line.params.SpeedUnit.push_back(unit);
      line.speedUnitLines.emplace_back(f.line());
    }
  }
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// 7. The reading loop
// ---------------------------------------------------------------------------------------------

LineFile parseLineFile(std::string bytes, LoadContext& context) {
  KeyedFile f(std::move(bytes), [&context](const KeyedFile& file, const Detail& detail) {
    // A file refused before its first line is read reports the label of the first test.
    return lineFileError(file.lineNumber() == 0 ? msg::Arg(kOtherLabel) : context.sectionLabel,
                         file.line(), detail);
  });
  LineFile line;
  while (!f.atEnd()) {
    context.sectionLabel = kOtherLabel;
    f.next();
    if (!f.mayBeKey()) {
      // No key matches: the label is left as a full round of tests would leave it.
      context.sectionLabel = kLastLabel;
      continue;
    }
    readSingleKeys(f, line);
    readSoundLists(f, context, line);
    readLineLists(f, context, line);
    readImageLists(f, context, line);
  }
  return line;
}

LineFile readLineFile(std::string_view fileName, LoadContext& context) {
  std::optional<std::string> bytes = context.readDataFile(fileName);
  if (!bytes) {
    throw lineFileError(context.sectionLabel, {}, msg::fileNotFound(cp932ToUtf8(fileName)));
  }
  return parseLineFile(std::move(*bytes), context);
}

}  // namespace dravolin::data
