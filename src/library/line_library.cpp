#include "library/line_library.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <set>
#include <sstream>

#include "library/package_reader.h"
#include "library/sha256.h"
#include "platform/message_ids.h"

namespace dravolin::library {

namespace fs = std::filesystem;

namespace {

constexpr const char* kPartialPrefix = ".partial-";
constexpr const char* kOldPrefix = ".old-";
constexpr std::uint64_t kSpareBytes = std::uint64_t{16} << 20;

// An exclusive lock on the library's folder for as long as it lives.
class FolderLock {
 public:
  explicit FolderLock(const fs::path& folder)
      : fd_(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
    if (fd_ < 0) throw PackageError(msg::writeFailed(folder.string(), std::strerror(errno)));
    while (::flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
    }
  }
  ~FolderLock() { ::close(fd_); }
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;

 private:
  int fd_;
};

std::string uniqueSuffix() {
  static std::atomic<int> counter{0};
  return std::to_string(::getpid()) + "-" + std::to_string(counter++);
}

std::optional<Manifest> readInstalledManifest(const fs::path& folder) {
  std::ifstream in(folder / kManifestName, std::ios::binary);
  if (!in) return std::nullopt;
  std::string text;
  text.resize(PackageLimits{}.maxManifestBytes + 1);
  in.read(text.data(), static_cast<std::streamsize>(text.size()));
  text.resize(static_cast<std::size_t>(in.gcount()));
  if (text.size() > PackageLimits{}.maxManifestBytes) return std::nullopt;
  try {
    return parseManifest(text);
  } catch (const PackageError&) {
    return std::nullopt;
  }
}

// Removes what interrupted installs and removals left in the library (under its lock).
void removeLeftovers(const fs::path& root) {
  std::error_code ec;
  for (const fs::directory_entry& e : fs::directory_iterator(root, ec)) {
    const std::string name = e.path().filename().string();
    if (name.rfind(kPartialPrefix, 0) == 0 || name.rfind(kOldPrefix, 0) == 0) {
      fs::remove_all(e.path(), ec);
    }
  }
}

// The folders of `path` that do not exist yet, the outermost first.
std::vector<fs::path> missingFolders(const fs::path& path) {
  std::vector<fs::path> missing;
  std::error_code ec;
  for (fs::path p = path; !p.empty() && !fs::exists(p, ec); p = p.parent_path()) {
    missing.insert(missing.begin(), p);
    if (p == p.parent_path()) break;
  }
  return missing;
}

}  // namespace

fs::path defaultLibraryRoot(const msg::EnvironmentReader& getenvGiven) {
  const msg::EnvironmentReader getenv =
      getenvGiven ? getenvGiven : [](const char* name) { return std::getenv(name); };
  const char* data = getenv("XDG_DATA_HOME");
  // A relative XDG_DATA_HOME is not valid and is ignored, as the specification says.
  if (data != nullptr && data[0] == '/') return fs::path(data) / "dravolin" / "lines";
  const char* home = getenv("HOME");
  return fs::path(home != nullptr && home[0] != '\0' ? home : ".") / ".local" / "share" /
         "dravolin" / "lines";
}

msg::Message InstallOutcome::message() const {
  switch (result) {
    case InstallResult::Installed:
      return msg::packageInstalled(manifest.name, manifest.version, folder.string());
    case InstallResult::Updated:
      return msg::packageUpdated(manifest.name, previousVersion, manifest.version, folder.string());
    case InstallResult::AlreadyInstalled:
      return msg::packageAlreadyInstalled(manifest.name, manifest.version);
    case InstallResult::Declined:
      break;
  }
  return msg::packageOlderRefused(manifest.name, previousVersion, manifest.version);
}

LineLibrary::LineLibrary(fs::path root) : root_(std::move(root)) {}

std::vector<InstalledLine> LineLibrary::lines() const {
  std::vector<InstalledLine> found;
  std::error_code ec;
  for (const fs::directory_entry& e : fs::directory_iterator(root_, ec)) {
    const std::string name = e.path().filename().string();
    if (!validId(name) || !e.is_directory(ec)) continue;
    std::optional<Manifest> m = readInstalledManifest(e.path());
    if (!m || m->id != name) continue;
    found.push_back({e.path(), std::move(*m)});
  }
  std::sort(found.begin(), found.end(), [](const InstalledLine& a, const InstalledLine& b) {
    return a.manifest.name != b.manifest.name ? a.manifest.name < b.manifest.name
                                              : a.manifest.id < b.manifest.id;
  });
  return found;
}

std::optional<InstalledLine> LineLibrary::find(const std::string& id) const {
  if (!validId(id)) return std::nullopt;
  const fs::path folder = root_ / id;
  std::optional<Manifest> m = readInstalledManifest(folder);
  if (!m || m->id != id) return std::nullopt;
  return InstalledLine{folder, std::move(*m)};
}

InstallOutcome LineLibrary::install(
    const fs::path& file,
    const std::function<bool(const Manifest& installed, const Manifest& offered)>& replaceWithOlder,
    const Progress& progress) {
  // Everything is checked before anything is placed.
  PackageReader reader(file);
  InstallOutcome outcome;
  outcome.manifest = reader.manifest();
  outcome.folder = root_ / outcome.manifest.id;
  std::optional<InstalledLine> existing = find(outcome.manifest.id);
  if (existing) {
    outcome.previousVersion = existing->manifest.version;
    const int order = compareVersions(outcome.manifest.version, existing->manifest.version);
    if (order == 0) {
      outcome.result = InstallResult::AlreadyInstalled;
      return outcome;
    }
    if (order < 0 &&
        !(replaceWithOlder && replaceWithOlder(existing->manifest, outcome.manifest))) {
      outcome.result = InstallResult::Declined;
      return outcome;
    }
  }

  const std::vector<fs::path> created = missingFolders(root_);
  std::error_code ec;
  fs::create_directories(root_, ec);
  if (ec) throw PackageError(msg::writeFailed(root_.string(), ec.message()));
  fs::path temp;
  try {
    FolderLock lock(root_);
    removeLeftovers(root_);
    const std::uint64_t needed = outcome.manifest.totalBytes() + kSpareBytes;
    const fs::space_info space = fs::space(root_, ec);
    if (!ec && space.available < needed) {
      throw PackageError(msg::packageRefused(
          reader.name(), msg::packageNoSpace(static_cast<long long>(needed >> 20),
                                             static_cast<long long>(space.available >> 20))));
    }
    temp = root_ / (kPartialPrefix + outcome.manifest.id + "-" + uniqueSuffix());
    if (!fs::create_directory(temp, ec) || ec)
      throw PackageError(msg::writeFailed(temp.string(), ec.message()));
    reader.unpack(temp, progress);
    {
      std::ofstream out(temp / kManifestName, std::ios::binary);
      out << reader.manifestText();
      out.close();
      if (!out)
        throw PackageError(msg::writeFailed((temp / kManifestName).string(), std::strerror(errno)));
    }
    if (progress.cancelled())
      throw PackageError(msg::packageRefused(reader.name(), msg::installCancelled()));
    if (existing) {
      const fs::path old = root_ / (kOldPrefix + outcome.manifest.id + "-" + uniqueSuffix());
      fs::rename(outcome.folder, old, ec);
      if (ec) throw PackageError(msg::writeFailed(outcome.folder.string(), ec.message()));
      fs::rename(temp, outcome.folder, ec);
      if (ec) {
        std::error_code back;
        fs::rename(old, outcome.folder, back);
        throw PackageError(msg::writeFailed(outcome.folder.string(), ec.message()));
      }
      fs::remove_all(old, ec);
      outcome.result = InstallResult::Updated;
    } else {
      fs::rename(temp, outcome.folder, ec);
      if (ec) throw PackageError(msg::writeFailed(outcome.folder.string(), ec.message()));
      outcome.result = InstallResult::Installed;
    }
  } catch (...) {
    if (!temp.empty()) fs::remove_all(temp, ec);
    // The library's folders made for this install go too, when nothing else is in them.
    for (auto it = created.rbegin(); it != created.rend(); ++it) fs::remove(*it, ec);
    throw;
  }
  return outcome;
}

void LineLibrary::remove(const std::string& id) {
  const std::optional<InstalledLine> line = find(id);
  if (!line) throw PackageError(msg::lineNotInstalled(id));
  FolderLock lock(root_);
  std::error_code ec;
  const fs::path old = root_ / (kOldPrefix + id + "-" + uniqueSuffix());
  fs::rename(line->folder, old, ec);
  if (ec) throw PackageError(msg::writeFailed(line->folder.string(), ec.message()));
  fs::remove_all(old, ec);
  if (ec) throw PackageError(msg::writeFailed(old.string(), ec.message()));
}

VerifyReport LineLibrary::verify(const std::string& id, const Progress& progress) const {
  const std::optional<InstalledLine> line = find(id);
  if (!line) throw PackageError(msg::lineNotInstalled(id));
  return verifyFolder(line->folder, line->manifest, progress);
}

VerifyReport verifyFolder(const fs::path& folder, const Manifest& manifest,
                          const Progress& progress) {
  VerifyReport report;
  report.files = manifest.files.size();
  std::set<std::string> listed{kManifestName};
  const std::uint64_t total = manifest.totalBytes();
  std::uint64_t done = 0;
  std::error_code ec;
  for (const ManifestFile& f : manifest.files) {
    listed.insert(f.path);
    const fs::path path = folder / f.path;
    const fs::file_status status = fs::symlink_status(path, ec);
    if (!fs::is_regular_file(status)) {
      report.missing.push_back(f.path);
      continue;
    }
    if (progress.cancelled()) throw PackageError(msg::installCancelled());
    const std::optional<std::string> digest =
        fs::file_size(path, ec) == f.size ? sha256OfFile(path) : std::nullopt;
    if (!digest || *digest != f.sha256) report.changed.push_back(f.path);
    done += f.size;
    progress(msg::progressVerifying(), done, total);
  }
  for (fs::recursive_directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    if (it->is_directory(ec)) continue;
    const std::string name = it->path().lexically_relative(folder).generic_string();
    if (listed.count(name) == 0) report.extra.push_back(name);
  }
  std::sort(report.extra.begin(), report.extra.end());
  return report;
}

std::string placeOfDataFolder(const fs::path& folder, const fs::path& libraryRoot) {
  std::error_code ec;
  fs::path canonical = fs::weakly_canonical(fs::absolute(folder, ec), ec);
  if (ec) canonical = fs::absolute(folder, ec).lexically_normal();
  const fs::path root = fs::weakly_canonical(libraryRoot, ec);
  const std::string id = canonical.filename().string();
  if (!ec && canonical.parent_path() == root && validId(id)) {
    const std::optional<Manifest> m = readInstalledManifest(canonical);
    if (m && m->id == id) return "package:" + id;
  }
  return canonical.string();
}

}  // namespace dravolin::library
