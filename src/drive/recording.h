// The recording of a drive: its driver events as a script (drive/script.h), each at the virtual
// millisecond at which the drive handled it, after a header of comment lines that names what
// the drive was loaded from:
//
//   # dravolin recording 1
//   # data-folder /home/user/trains
//   # train E231_train.dat
//   # line E231_line2.dat
//   # started 2026-12-07 15:04:05
//   # setting keypad-swap off
//   # setting value-display hidden
//   # file 9f3c0a1b22d4e5f6 20311 E231_line2.dat
//   ...one "setting" line for every setting of the program that changes what an input does,
//   as it was when the drive started, and one "file" line for every file inside the data
//   folder read at start-up: hash, size in bytes, path in the data folder
//   1 start
//   2410 key 38
//   ...
//   184233 end
//
// The script reader skips the header, so a recording is a script like any other; a replay
// reads the header first, refuses a recording that names a file outside its data folder or
// whose files have changed since, and starts the drive with the recorded settings.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "cab/value_display.h"
#include "drive/script.h"
#include "input/input_state.h"

namespace dravolin::drive {

inline constexpr std::string_view kRecordingMagic = "# dravolin recording 1";

// A file of the drive as it was at start-up.
struct RecordedFile {
  std::string path;  // relative to the data folder, or absolute when outside it
  std::uint64_t hash = 0;
  std::uint64_t size = 0;
  bool operator==(const RecordedFile&) const = default;
};

// The settings of the program that change what an input does, as a drive starts with them.
struct RecordedSettings {
  bool keypadSwap = false;         // Scroll Lock's exchange of "2" and "8"
  bool valueDisplayShown = false;  // F5 hides the value display window, rather than show it
  bool operator==(const RecordedSettings&) const = default;
};

struct RecordingHeader {
  std::string dataFolder;  // absolute
  std::string trainFile;   // raw code page 932 names, as the title screen gave them
  std::string lineFile;
  std::string started;  // local date and time, "YYYY-MM-DD hh:mm:ss"
  std::vector<RecordedFile> files;
  RecordedSettings settings;  // "off" for a recording made before settings were recorded
};

// The settings a drive starts with: the program's keypad swap and the drive's value display.
RecordedSettings settingsOf(const input::ProgramInputState& program,
                            const cab::ValueDisplay& values);
// Gives a drive (and the program) the recorded settings.
void applySettings(const RecordedSettings& settings, input::ProgramInputState& program,
                   cab::ValueDisplay& values);

// Whether a name of a recording stays inside the data folder: a relative path ("/" or "\"
// separated) with no ".." component and no control character. Names read from a recording
// that do not are refused.
bool staysInDataFolder(std::string_view name);

// The hash of a file's content: 64-bit FNV-1a over its bytes; a file above 64 MiB (a line video)
// is hashed over its size, its first and its last 8 MiB, so a start-up stays quick.
// std::nullopt when the file cannot be read.
std::optional<RecordedFile> hashFile(const std::filesystem::path& dataFolder,
                                     const std::filesystem::path& file);

// The header's comment lines, each ending in "\n".
std::string formatRecordingHeader(const RecordingHeader& header);

// Reads the header of a recording. std::nullopt without an error when the text does not start
// with kRecordingMagic (a plain script); std::nullopt with `error` naming the line when a header
// line is malformed, names a file outside the data folder (staysInDataFolder), a data folder
// that is not a full path or a setting this program does not know, or when the train, line or
// data folder is missing.
std::optional<RecordingHeader> parseRecordingHeader(std::string_view text, std::string& error);

// Compares every file of the header with the file as it is now: empty when all are the same,
// else a message naming the first file that differs or is missing. A folder without
// "dravolin.dat" (in any letter case) is no data folder: it is refused before any file is read.
std::string checkRecordedFiles(const RecordingHeader& header,
                               const std::filesystem::path& dataFolder);

// Writes a recording while a drive runs. Events go to a buffer of fixed capacity that is written
// out when it fills, when an event in it is kWriteWithinMs old (flushDue), when the owner asks
// (flush: at a station, while paused) and when the recording ends, so an event costs no
// allocation, and a crash loses at most the last second of driving. A recording that cannot be
// written stops recording (failed() tells), and the drive goes on.
class DriveRecorder {
 public:
  DriveRecorder();
  ~DriveRecorder();
  DriveRecorder(const DriveRecorder&) = delete;
  DriveRecorder& operator=(const DriveRecorder&) = delete;

  // Creates the file and writes the header; false (and failed()) when it cannot be created.
  bool open(const std::filesystem::path& path, const RecordingHeader& header);
  bool isOpen() const { return file_ != nullptr; }
  bool failed() const { return failed_; }
  const std::filesystem::path& path() const { return path_; }

  // Recorded events are written out at the latest this long (virtual time) after they came.
  static constexpr int kWriteWithinMs = 1000;

  // One event at `timeMs`, written as "timeMs text". `text` is any script event (for example
  // "axis 0 -12000"); it must be one line.
  void record(int timeMs, std::string_view text);
  // An event that is its words alone (start, wheel down, wheel up, values closed).
  void recordEvent(int timeMs, ScriptEventKind kind);
  // The events whose arguments need formatting, formatted without allocation. Every byte is
  // recorded as a character (escaped as the script reader reads it back).
  void recordKey(int timeMs, int virtualKey, unsigned modifiers);
  void recordChar(int timeMs, char c);
  void recordSerial(int timeMs, std::string_view bytes);
  void recordStation(int timeMs, int station);
  // A USB controller's command: "controller LINE".
  void recordController(int timeMs, int line);
  // The "end" event, then everything written out and the file closed.
  void end(int timeMs);
  // Writes out what is buffered.
  void flush();
  // Writes out what is buffered when it holds an event recorded kWriteWithinMs or more before
  // `nowMs`. Costs a comparison otherwise.
  void flushDue(int nowMs);

 private:
  void put(std::string_view text);
  void putTime(int timeMs);
  // The end of an event's line.
  void endLine();

  static constexpr std::size_t kBufferBytes = 16384;
  std::FILE* file_ = nullptr;
  std::filesystem::path path_;
  std::string buffer_;        // capacity kBufferBytes, never grown
  int oldestBufferedMs_ = 0;  // the time of the first event in the buffer
  bool failed_ = false;
};

// Keeps the newest `keep` recordings ("*.drs") of a folder and deletes the older ones, by name
// (the names start with the date and time). Returns how many were deleted.
int pruneRecordings(const std::filesystem::path& folder, int keep);
// The same, but the recordings named in `alsoKeep` (file names, such as the recordings of the
// trains' best drives) are kept whatever their age, besides the newest `keep`.
int pruneRecordings(const std::filesystem::path& folder, int keep,
                    const std::set<std::string>& alsoKeep);

// The file name of a recording started at `started` ("YYYY-MM-DD hh:mm:ss") with a sequence
// number: "20261207-150405-1.drs".
std::string recordingFileName(std::string_view started, int sequence);

}  // namespace dravolin::drive
