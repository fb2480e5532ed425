#include "drive/recording.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cinttypes>
#include <memory>
#include <system_error>

#include "drive/script.h"

namespace dravolin::drive {

namespace {

constexpr std::uint64_t kFnvOffset = 14695981039346656037ull;
constexpr std::uint64_t kFnvPrime = 1099511628211ull;
constexpr std::uint64_t kWholeHashLimit = std::uint64_t{64} << 20;
constexpr std::size_t kEdgeBytes = std::size_t{8} << 20;

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

void fnv(std::uint64_t& h, const unsigned char* p, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) {
    h ^= p[i];
    h *= kFnvPrime;
  }
}

// Hashes up to `limit` bytes from the file's current position; false on a read error.
bool hashBytes(std::FILE* f, std::uint64_t& h, std::uint64_t limit) {
  std::vector<unsigned char> chunk(std::size_t{1} << 20);
  while (limit > 0) {
    const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(limit, chunk.size()));
    const std::size_t got = std::fread(chunk.data(), 1, want, f);
    fnv(h, chunk.data(), got);
    limit -= got;
    if (got < want) return std::ferror(f) == 0;
  }
  return true;
}

std::string_view trimmed(std::string_view s) {
  const std::size_t a = s.find_first_not_of(" \t\r");
  if (a == std::string_view::npos) return {};
  return s.substr(a, s.find_last_not_of(" \t\r") - a + 1);
}

std::string hex(std::uint64_t v) {
  char text[17];
  std::snprintf(text, sizeof text, "%016" PRIx64, v);
  return text;
}

// The "# setting NAME VALUE" lines: each setting's name and its two values, off first.
struct SettingWords {
  std::string_view name;
  std::string_view off;
  std::string_view on;
  bool RecordedSettings::*member;
};
constexpr SettingWords kSettingWords[] = {
    {"keypad-swap", "off", "on", &RecordedSettings::keypadSwap},
    {"value-display", "hidden", "shown", &RecordedSettings::valueDisplayShown},
};

// Reads "NAME VALUE" of a setting line into `settings`; false for a name or value not known.
bool readSetting(std::string_view text, RecordedSettings& settings) {
  const std::size_t blank = text.find(' ');
  if (blank == std::string_view::npos) return false;
  const std::string_view name = text.substr(0, blank);
  const std::string_view value = trimmed(text.substr(blank + 1));
  for (const SettingWords& w : kSettingWords) {
    if (w.name != name) continue;
    if (value != w.off && value != w.on) return false;
    settings.*w.member = value == w.on;
    return true;
  }
  return false;
}

}  // namespace

RecordedSettings settingsOf(const input::ProgramInputState& program,
                            const cab::ValueDisplay& values) {
  return {program.KeypadSwap, values.visible};
}

void applySettings(const RecordedSettings& settings, input::ProgramInputState& program,
                   cab::ValueDisplay& values) {
  program.KeypadSwap = settings.keypadSwap;
  values.visible = settings.valueDisplayShown;
}

bool staysInDataFolder(std::string_view name) {
  if (name.empty() || name.front() == '/' || name.front() == '\\') return false;
  for (const char c : name) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) return false;
  }
  // Components end at "/" or "\\". In code page 932 a "\\" may be the second byte of a
  // character; taking it for a separator only refuses more names, never fewer.
  std::size_t start = 0;
  while (start <= name.size()) {
    const std::size_t end = name.find_first_of("/\\", start);
    const std::string_view part =
        name.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
    if (part == "..") return false;
    if (end == std::string_view::npos) break;
    start = end + 1;
  }
  return true;
}

std::optional<RecordedFile> hashFile(const std::filesystem::path& dataFolder,
                                     const std::filesystem::path& file) {
  const std::filesystem::path full = file.is_absolute() ? file : dataFolder / file;
  std::error_code ec;
  if (!std::filesystem::is_regular_file(full, ec)) return std::nullopt;
  File f(std::fopen(full.c_str(), "rb"));
  if (!f) return std::nullopt;
  const std::uintmax_t size = std::filesystem::file_size(full, ec);
  if (ec) return std::nullopt;
  RecordedFile r;
  r.path = file.lexically_normal().generic_string();
  r.size = size;
  r.hash = kFnvOffset;
  if (size <= kWholeHashLimit) {
    if (!hashBytes(f.get(), r.hash, size)) return std::nullopt;
  } else {
    unsigned char sizeBytes[8];
    for (int i = 0; i < 8; ++i) sizeBytes[i] = static_cast<unsigned char>(size >> (8 * i));
    fnv(r.hash, sizeBytes, 8);
    if (!hashBytes(f.get(), r.hash, kEdgeBytes)) return std::nullopt;
    if (std::fseek(f.get(), -static_cast<long>(kEdgeBytes), SEEK_END) != 0) return std::nullopt;
    if (!hashBytes(f.get(), r.hash, kEdgeBytes)) return std::nullopt;
  }
  return r;
}

std::string formatRecordingHeader(const RecordingHeader& h) {
  std::string out(kRecordingMagic);
  out += "\n# data-folder " + h.dataFolder + "\n# train " + h.trainFile + "\n# line " + h.lineFile +
         "\n";
  if (!h.started.empty()) out += "# started " + h.started + "\n";
  for (const SettingWords& w : kSettingWords) {
    out += "# setting " + std::string(w.name) + " " +
           std::string(h.settings.*w.member ? w.on : w.off) + "\n";
  }
  for (const RecordedFile& f : h.files) {
    out += "# file " + hex(f.hash) + " " + std::to_string(f.size) + " " + f.path + "\n";
  }
  return out;
}

std::optional<RecordingHeader> parseRecordingHeader(std::string_view text, std::string& error) {
  error.clear();
  RecordingHeader h;
  std::size_t pos = 0;
  int lineNumber = 0;
  bool first = true;
  while (pos < text.size()) {
    const std::size_t eol = text.find('\n', pos);
    std::string_view line = text.substr(pos, eol == std::string_view::npos ? eol : eol - pos);
    pos = eol == std::string_view::npos ? text.size() : eol + 1;
    ++lineNumber;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (first) {
      if (line != kRecordingMagic) return std::nullopt;
      first = false;
      continue;
    }
    if (!line.starts_with("# ")) break;  // the events begin
    std::string_view rest = line.substr(2);
    const std::size_t blank = rest.find(' ');
    const std::string_view key = rest.substr(0, blank);
    const std::string_view value =
        blank == std::string_view::npos ? std::string_view{} : trimmed(rest.substr(blank + 1));
    const std::string where = "line " + std::to_string(lineNumber) + ": ";
    const auto outside = [&](std::string_view name) {
      error = where + "the recording names \"" + std::string(name) +
              "\", which is not a file inside its data folder (a recording names its files "
              "relative to the data folder, without \"..\")";
      return std::nullopt;
    };
    if (key == "data-folder") {
      if (value.empty() || value.front() != '/') {
        error = where + "the data folder must be a full path, not \"" + std::string(value) + "\"";
        return std::nullopt;
      }
      h.dataFolder = value;
    } else if (key == "train" || key == "line") {
      if (!staysInDataFolder(value)) return outside(value);
      (key == "train" ? h.trainFile : h.lineFile) = value;
    } else if (key == "started") {
      h.started = value;
    } else if (key == "setting") {
      if (!readSetting(value, h.settings)) {
        error = where + "the setting \"" + std::string(value) +
                "\" is not one this program knows; it takes keypad-swap off|on and "
                "value-display hidden|shown";
        return std::nullopt;
      }
    } else if (key == "file") {
      // "HASH SIZE PATH": the path is the rest of the line and may hold blanks.
      RecordedFile f;
      const std::size_t b1 = value.find(' ');
      const std::size_t b2 = b1 == std::string_view::npos ? b1 : value.find(' ', b1 + 1);
      const std::string_view hashWord = value.substr(0, b1);
      const std::string_view sizeWord =
          b1 == std::string_view::npos ? std::string_view{} : value.substr(b1 + 1, b2 - b1 - 1);
      const auto [hp, hec] =
          std::from_chars(hashWord.data(), hashWord.data() + hashWord.size(), f.hash, 16);
      const auto [sp, sec] =
          std::from_chars(sizeWord.data(), sizeWord.data() + sizeWord.size(), f.size);
      if (b2 == std::string_view::npos || hashWord.size() != 16 || hec != std::errc() ||
          hp != hashWord.data() + hashWord.size() || sizeWord.empty() || sec != std::errc() ||
          sp != sizeWord.data() + sizeWord.size() || trimmed(value.substr(b2 + 1)).empty()) {
        error = where + "a file line is \"# file HASH SIZE PATH\" with a 16-digit hexadecimal hash";
        return std::nullopt;
      }
      f.path = trimmed(value.substr(b2 + 1));
      if (!staysInDataFolder(f.path)) return outside(f.path);
      h.files.push_back(std::move(f));
    }
    // Other comment lines are notes and are skipped.
  }
  if (first) return std::nullopt;
  if (h.dataFolder.empty() || h.trainFile.empty() || h.lineFile.empty()) {
    error = "the recording's header does not name its data folder, train file and line file";
    return std::nullopt;
  }
  return h;
}

std::string checkRecordedFiles(const RecordingHeader& header,
                               const std::filesystem::path& dataFolder) {
  bool settingsFile = false;
  std::error_code ec;
  for (std::filesystem::directory_iterator it(dataFolder, ec), end; !ec && it != end;
       it.increment(ec)) {
    std::string name = it->path().filename().string();
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    settingsFile = settingsFile || name == "dravolin.dat";
  }
  if (!settingsFile) {
    return "the recording's data folder " + dataFolder.string() +
           " is not a data folder (it has no dravolin.dat)";
  }
  for (const RecordedFile& f : header.files) {
    const std::optional<RecordedFile> now = hashFile(dataFolder, f.path);
    if (!now) return "the file " + f.path + " of the recording is missing";
    if (now->hash != f.hash || now->size != f.size) {
      return "the file " + f.path + " has changed since the recording (hash " + hex(f.hash) +
             ", now " + hex(now->hash) + ")";
    }
  }
  return {};
}

// --- DriveRecorder ---

DriveRecorder::DriveRecorder() { buffer_.reserve(kBufferBytes); }

DriveRecorder::~DriveRecorder() {
  flush();
  if (file_ != nullptr) std::fclose(file_);
}

bool DriveRecorder::open(const std::filesystem::path& path, const RecordingHeader& header) {
  if (file_ != nullptr) std::fclose(file_);
  path_ = path;
  buffer_.clear();
  file_ = std::fopen(path.c_str(), "wb");
  failed_ = file_ == nullptr;
  if (failed_) return false;
  const std::string text = formatRecordingHeader(header);
  if (std::fwrite(text.data(), 1, text.size(), file_) != text.size() || std::fflush(file_) != 0) {
    failed_ = true;
  }
  return !failed_;
}

void DriveRecorder::flush() {
  if (file_ == nullptr || buffer_.empty()) return;
  if (!failed_ && (std::fwrite(buffer_.data(), 1, buffer_.size(), file_) != buffer_.size() ||
                   std::fflush(file_) != 0)) {
    failed_ = true;
  }
  buffer_.clear();  // keeps the capacity
}

void DriveRecorder::flushDue(int nowMs) {
  if (!buffer_.empty() && nowMs - oldestBufferedMs_ >= kWriteWithinMs) flush();
}

void DriveRecorder::put(std::string_view text) {
  if (buffer_.size() + text.size() > kBufferBytes) flush();
  if (text.size() > kBufferBytes) {
    if (file_ != nullptr && std::fwrite(text.data(), 1, text.size(), file_) != text.size()) {
      failed_ = true;
    }
    return;
  }
  buffer_.append(text);
}

void DriveRecorder::putTime(int timeMs) {
  if (buffer_.empty()) oldestBufferedMs_ = timeMs;
  char digits[16];
  const auto [end, ec] = std::to_chars(digits, digits + sizeof digits - 1, timeMs);
  *end = ' ';
  put(std::string_view(digits, static_cast<std::size_t>(end - digits) + 1));
}

void DriveRecorder::endLine() {
  // A buffer written out in the middle of a line keeps the older time: it is only written out
  // sooner.
  put("\n");
}

void DriveRecorder::record(int timeMs, std::string_view text) {
  if (file_ == nullptr) return;
  putTime(timeMs);
  put(text);
  endLine();
  flushDue(timeMs);
}

void DriveRecorder::recordEvent(int timeMs, ScriptEventKind kind) {
  if (file_ == nullptr) return;
  const ScriptEventWords& words = scriptEventWords(kind);
  putTime(timeMs);
  put(words.word);
  if (!words.fixedArgument.empty()) {
    put(" ");
    put(words.fixedArgument);
  }
  endLine();
  flushDue(timeMs);
}

void DriveRecorder::recordKey(int timeMs, int virtualKey, unsigned modifiers) {
  if (file_ == nullptr) return;
  char text[64];
  const std::string_view word = scriptEventWords(ScriptEventKind::Key).word;
  char* p = text + word.copy(text, word.size());
  *p++ = ' ';
  p = std::to_chars(p, text + 24, virtualKey).ptr;
  if (modifiers != 0) {
    *p++ = ' ';
    p += formatModifiers(modifiers, p);
  }
  record(timeMs, std::string_view(text, static_cast<std::size_t>(p - text)));
}

void DriveRecorder::recordChar(int timeMs, char c) {
  if (file_ == nullptr) return;
  char text[16];
  const std::string_view word = scriptEventWords(ScriptEventKind::Char).word;
  char* p = text + word.copy(text, word.size());
  *p++ = ' ';
  p += charArgument(c, p);
  record(timeMs, std::string_view(text, static_cast<std::size_t>(p - text)));
}

void DriveRecorder::recordSerial(int timeMs, std::string_view bytes) {
  if (file_ == nullptr || bytes.empty()) return;
  putTime(timeMs);
  put(scriptEventWords(ScriptEventKind::Serial).word);
  put(" ");
  char escaped[kMaxEscapedByte];
  for (const char c : bytes) put(std::string_view(escaped, escapeByte(c, escaped)));
  endLine();
  flushDue(timeMs);
}

void DriveRecorder::recordStation(int timeMs, int station) {
  if (file_ == nullptr) return;
  char text[32];
  const std::string_view word = scriptEventWords(ScriptEventKind::Station).word;
  char* p = text + word.copy(text, word.size());
  *p++ = ' ';
  p = std::to_chars(p, text + sizeof text, station).ptr;
  record(timeMs, std::string_view(text, static_cast<std::size_t>(p - text)));
}

void DriveRecorder::recordController(int timeMs, int line) {
  if (file_ == nullptr) return;
  char text[32];
  const std::string_view word = scriptEventWords(ScriptEventKind::Controller).word;
  char* p = text + word.copy(text, word.size());
  *p++ = ' ';
  p = std::to_chars(p, text + sizeof text, line).ptr;
  record(timeMs, std::string_view(text, static_cast<std::size_t>(p - text)));
}

void DriveRecorder::end(int timeMs) {
  if (file_ == nullptr) return;
  recordEvent(timeMs, ScriptEventKind::End);
  flush();
  if (std::fclose(file_) != 0) failed_ = true;
  file_ = nullptr;
}

int pruneRecordings(const std::filesystem::path& folder, int keep) {
  return pruneRecordings(folder, keep, {});
}

int pruneRecordings(const std::filesystem::path& folder, int keep,
                    const std::set<std::string>& alsoKeep) {
  std::error_code ec;
  std::vector<std::filesystem::path> files;
  for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end;
       it.increment(ec)) {
    if (it->path().extension() == ".drs" && it->is_regular_file(ec)) files.push_back(it->path());
  }
  if (static_cast<int>(files.size()) <= keep) return 0;
  std::sort(files.begin(), files.end());
  int removed = 0;
  for (std::size_t i = 0; i + static_cast<std::size_t>(std::max(keep, 0)) < files.size(); ++i) {
    if (alsoKeep.contains(files[i].filename().string())) continue;
    if (std::filesystem::remove(files[i], ec)) ++removed;
  }
  return removed;
}

std::string recordingFileName(std::string_view started, int sequence) {
  std::string name;
  for (char c : started) {
    if (c >= '0' && c <= '9') name += c;
    if (c == ' ') name += '-';
  }
  return name + "-" + std::to_string(sequence) + ".drs";
}

}  // namespace dravolin::drive
