#include "library/package_writer.h"

#include <unistd.h>
#include <zip.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <map>
#include <system_error>

#include "data/drive_files.h"
#include "data/load_context.h"
#include "data/text_encoding.h"
#include "library/entry_name.h"
#include "library/sha256.h"
#include "library/thumbnail.h"
#include "platform/file_picture_loader.h"
#include "platform/message_ids.h"

#ifndef DRAVOLIN_PROGRAM_VERSION
#define DRAVOLIN_PROGRAM_VERSION "0"
#endif

namespace dravolin::library {

namespace fs = std::filesystem;

namespace {

std::string utcNow() {
  const std::time_t now = std::time(nullptr);
  std::tm t{};
  gmtime_r(&now, &t);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &t);
  return text;
}

struct SourceFile {
  fs::path path;
  std::string name;  // inside the package
  std::uint64_t size = 0;
  fs::file_time_type modified;
};

// Every regular file of the folder in name order, but the package's own files at its root and
// the package being written (when it is inside the folder).
std::vector<SourceFile> folderFiles(const fs::path& folder, const fs::path& skip) {
  std::vector<SourceFile> files;
  std::error_code ec;
  fs::recursive_directory_iterator it(folder, fs::directory_options::none, ec);
  if (ec) throw PackageError(msg::createFailed(folder.string(), ec.message()));
  for (; it != fs::recursive_directory_iterator(); it.increment(ec)) {
    if (ec) throw PackageError(msg::createFailed(folder.string(), ec.message()));
    const fs::directory_entry& entry = *it;
    const std::string name = entry.path().lexically_relative(folder).generic_string();
    if (!isUtf8(name)) throw PackageError(msg::createBadName(name));
    const fs::file_status status = entry.symlink_status(ec);
    if (fs::is_directory(status)) continue;
    if (!fs::is_regular_file(status)) throw PackageError(msg::createNotRegular(name));
    if (name == kManifestName || name == kThumbnailName) continue;
    if (fs::equivalent(entry.path(), skip, ec)) continue;
    if (const std::optional<msg::Message> fault = entryNameFault(name))
      throw PackageError(msg::createBadName(name));
    files.push_back({entry.path(), name, static_cast<std::uint64_t>(entry.file_size(ec)),
                     entry.last_write_time(ec)});
  }
  std::sort(files.begin(), files.end(),
            [](const SourceFile& a, const SourceFile& b) { return a.name < b.name; });
  return files;
}

// The lines of the title screen's drives in the folder, each train loaded on its line.
std::vector<ManifestLine> linesOf(const fs::path& folder) {
  std::vector<ManifestLine> lines;
  std::vector<std::string> lacking;
  std::error_code ec;
  if (!fs::is_regular_file(data::resolveDataPath(folder, "dravolin.dat"), ec))
    lacking.push_back("dravolin.dat");
  platform::FilePictureLoader pictures;
  for (const TitleDrive& d : titleDrives()) {
    if (!fs::is_regular_file(data::resolveDataPath(folder, d.trainFile), ec) ||
        !fs::is_regular_file(data::resolveDataPath(folder, d.lineFile), ec))
      continue;
    if (!lacking.empty()) break;
    data::LoadContext ctx;
    ctx.dataDir = folder;
    ctx.pictures = &pictures;
    data::DriveFiles files;
    try {
      files = data::readDriveFiles(d.trainFile, d.lineFile, ctx);
    } catch (const data::LoadError& e) {
      throw PackageError(msg::createLoadFailed(folder.string(), data::cp932ToUtf8(d.trainFile),
                                               data::cp932ToUtf8(d.lineFile), e.id()));
    }
    const std::string lineFile = data::cp932ToUtf8(d.lineFile);
    auto line = std::find_if(lines.begin(), lines.end(),
                             [&](const ManifestLine& l) { return l.file == lineFile; });
    if (line == lines.end()) {
      ManifestLine l;
      l.file = lineFile;
      l.name = files.line.lineNameUtf8;
      const auto& rows = files.line.params.SpeedUnit;
      l.lengthM = rows.empty() ? 0.0 : static_cast<double>(rows.back().endDistance) / 100.0;
      for (const auto& s : files.line.stations) l.stations.push_back(s.nameUtf8);
      lines.push_back(std::move(l));
      line = lines.end() - 1;
    }
    std::string trainName = data::cp932ToUtf8(d.trainFile);
    if (trainName.size() > 4 && trainName.substr(trainName.size() - 4) == ".dat")
      trainName.resize(trainName.size() - 4);
    line->trains.push_back({data::cp932ToUtf8(d.trainFile), trainName});
  }
  if (lines.empty()) {
    std::string names;
    for (const std::string& l : lacking) names += (names.empty() ? "" : ", ") + l;
    for (const TitleDrive& d : titleDrives()) {
      if (!lacking.empty()) break;
      names += (names.empty() ? "" : ", ") + d.trainFile + " + " + d.lineFile;
    }
    throw PackageError(msg::createNotDataFolder(folder.string(), names));
  }
  return lines;
}

struct ZipWriter {
  zip_t* zip = nullptr;
  ~ZipWriter() {
    if (zip != nullptr) zip_discard(zip);
  }
};

struct PackState {
  const Progress* progress;
  std::uint64_t hashed;
  std::uint64_t total;
};

}  // namespace

const std::vector<TitleDrive>& titleDrives() {
  static const std::vector<TitleDrive> drives = {{"E231_train.dat", "E231_line2.dat"},
                                                 {"205_train.dat", "205_line.dat"}};
  return drives;
}

std::string idFromName(std::string_view name) {
  std::string id;
  for (char c : name) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    const bool keep = (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
    if (keep) {
      id += c;
    } else if (!id.empty() && id.back() != '-') {
      id += '-';
    }
  }
  while (!id.empty() && id.back() == '-') id.pop_back();
  if (id.size() > 64) id.resize(64);
  while (!id.empty() && id.back() == '-') id.pop_back();
  return id.empty() ? "line" : id;
}

bool storedAsItIs(const fs::path& file) {
  std::string ext = file.extension().string();
  for (char& c : ext) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  static const char* const kCompressed[] = {".avi", ".mp4", ".mov",  ".mkv",  ".webm",    ".m4v",
                                            ".ts",  ".jpg", ".jpeg", ".png",  ".gif",     ".zip",
                                            ".mp3", ".ogg", ".opus", ".flac", ".dravolin"};
  return std::find(std::begin(kCompressed), std::end(kCompressed), ext) != std::end(kCompressed);
}

Manifest createPackage(const fs::path& folderGiven, const fs::path& file,
                       const PackageOptions& options, const Progress& progress) {
  std::error_code ec;
  const fs::path folder = fs::absolute(folderGiven, ec).lexically_normal();
  Manifest m;
  m.id = options.id.empty() ? idFromName(folder.filename().string()) : options.id;
  if (!validId(m.id)) throw PackageError(msg::createBadId(m.id));
  m.version = options.version.empty() ? "1" : options.version;
  if (!validVersion(m.version)) throw PackageError(msg::createBadVersion(m.version));
  for (const std::string* t :
       {&options.name, &options.author, &options.licence, &options.description}) {
    if (!isUtf8(*t)) throw PackageError(msg::createBadName(*t));
  }
  m.lines = linesOf(folder);
  m.name = !options.name.empty()           ? options.name
           : !m.lines.front().name.empty() ? m.lines.front().name
                                           : folder.filename().string();
  if (!isUtf8(m.name)) m.name = m.id;
  m.author = options.author;
  m.licence = options.licence;
  m.description = options.description;
  m.created = utcNow();
  m.program = DRAVOLIN_PROGRAM_VERSION;

  const std::vector<SourceFile> files = folderFiles(folder, fs::absolute(file, ec));
  std::vector<std::uint8_t> thumbnail = thumbnailOf(folder, m.lines.front().file);

  // Every file's size and SHA-256 first: the manifest goes first in the package.
  std::uint64_t total = thumbnail.size();
  for (const SourceFile& f : files) total += f.size;
  const msg::Message hashing = msg::progressHashing();
  std::uint64_t hashed = 0;
  progress(hashing, 0, 2 * total);
  {
    Sha256 hash;
    std::vector<char> block(std::size_t{1} << 20);
    for (const SourceFile& f : files) {
      std::FILE* in = std::fopen(f.path.c_str(), "rb");
      if (in == nullptr) throw PackageError(msg::createFailed(f.name, std::strerror(errno)));
      std::uint64_t size = 0;
      for (std::size_t n; (n = std::fread(block.data(), 1, block.size(), in)) > 0;) {
        if (progress.cancelled()) {
          std::fclose(in);
          throw PackageError(msg::createFailed(file.string(), msg::installCancelled()));
        }
        hash.add(block.data(), n);
        size += n;
        hashed += n;
        progress(hashing, hashed, 2 * total);
      }
      const bool failed = std::ferror(in) != 0;
      std::fclose(in);
      if (failed) throw PackageError(msg::createFailed(f.name, std::strerror(errno)));
      m.files.push_back({f.name, size, hash.hex()});
    }
    if (!thumbnail.empty()) {
      hash.add(thumbnail.data(), thumbnail.size());
      m.files.push_back({kThumbnailName, thumbnail.size(), hash.hex()});
      m.thumbnail = kThumbnailName;
    }
  }
  const std::string manifestText = manifestJson(m);

  // Written beside the target under a temporary name, renamed at the end.
  const fs::path temp = fs::path(file.string() + ".partial-" + std::to_string(::getpid()));
  fs::remove(temp, ec);
  ZipWriter writer;
  int code = 0;
  writer.zip = zip_open(temp.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &code);
  const auto zipFailed = [&](const std::string& why) {
    if (writer.zip != nullptr) zip_discard(writer.zip);
    writer.zip = nullptr;
    fs::remove(temp, ec);
    throw PackageError(msg::createFailed(file.string(), why));
  };
  if (writer.zip == nullptr) {
    zip_error_t error;
    zip_error_init_with_code(&error, code);
    const std::string why = zip_error_strerror(&error);
    zip_error_fini(&error);
    zipFailed(why);
  }
  const auto add = [&](const std::string& name, zip_source_t* source, bool store) {
    if (source == nullptr) zipFailed(zip_error_strerror(zip_get_error(writer.zip)));
    const zip_int64_t index = zip_file_add(writer.zip, name.c_str(), source, ZIP_FL_ENC_UTF_8);
    if (index < 0) {
      zip_source_free(source);
      zipFailed(zip_error_strerror(zip_get_error(writer.zip)));
    }
    const auto i = static_cast<zip_uint64_t>(index);
    zip_set_file_compression(writer.zip, i, store ? ZIP_CM_STORE : ZIP_CM_DEFLATE, 0);
    // A regular file, rw-r--r--, made on a Unix system.
    zip_file_set_external_attributes(writer.zip, i, 0, ZIP_OPSYS_UNIX, (0100644u << 16));
  };
  add(kManifestName, zip_source_buffer(writer.zip, manifestText.data(), manifestText.size(), 0),
      false);
  if (!thumbnail.empty()) {
    add(kThumbnailName, zip_source_buffer(writer.zip, thumbnail.data(), thumbnail.size(), 0),
        false);
  }
  for (const SourceFile& f : files) {
    add(f.name, zip_source_file(writer.zip, f.path.c_str(), 0, -1), storedAsItIs(f.path));
  }
  PackState state{&progress, hashed, total};
  zip_register_progress_callback_with_state(
      writer.zip, 0.001,
      [](zip_t*, double fraction, void* ud) {
        auto* s = static_cast<PackState*>(ud);
        (*s->progress)(
            msg::progressPacking(),
            s->hashed + static_cast<std::uint64_t>(fraction * static_cast<double>(s->total)),
            2 * s->total);
      },
      nullptr, &state);
  zip_register_cancel_callback_with_state(
      writer.zip,
      [](zip_t*, void* ud) { return static_cast<PackState*>(ud)->progress->cancelled() ? 1 : 0; },
      nullptr, &state);
  if (zip_close(writer.zip) != 0) {
    const std::string why = progress.cancelled() ? msg::installCancelled().text()
                                                 : zip_error_strerror(zip_get_error(writer.zip));
    zipFailed(why);
  }
  writer.zip = nullptr;
  // A file changed while it was packed would not match its hash: the package is not kept.
  for (const SourceFile& f : files) {
    if (fs::file_size(f.path, ec) != f.size || fs::last_write_time(f.path, ec) != f.modified) {
      fs::remove(temp, ec);
      throw PackageError(msg::createFailed(file.string(), msg::createFileChanged(f.name)));
    }
  }
  fs::rename(temp, file, ec);
  if (ec) {
    fs::remove(temp, ec);
    throw PackageError(msg::createFailed(file.string(), ec.message()));
  }
  progress(msg::progressPacking(), 2 * total, 2 * total);
  return m;
}

}  // namespace dravolin::library
