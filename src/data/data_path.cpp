#include "data/data_path.h"

#include <algorithm>
#include <memory>
#include <system_error>
#include <utility>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "data/text_encoding.h"
#include "platform/whole_file.h"

namespace dravolin::data {

namespace fs = std::filesystem;

namespace {

constexpr std::uintmax_t kMaxFileBytes = std::uintmax_t{256} << 20;

bool equalsIgnoringAsciiCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]);
    unsigned char y = static_cast<unsigned char>(b[i]);
    if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

std::vector<std::string> components(std::string_view slashed) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (start <= slashed.size()) {
    std::size_t end = slashed.find('/', start);
    if (end == std::string_view::npos) end = slashed.size();
    if (end > start) parts.emplace_back(slashed.substr(start, end - start));
    start = end + 1;
  }
  return parts;
}

// Whether the folder holds an entry of that exact name (a dangling link counts: it is what the
// name means, and opening it fails with the name as written).
bool present(const fs::path& p) {
  struct stat st {};
  return ::lstat(p.c_str(), &st) == 0;
}

// An open folder, closed when it goes out of scope.
class OpenFolder {
 public:
  explicit OpenFolder(int fd) : fd_(fd) {}
  OpenFolder(const OpenFolder&) = delete;
  OpenFolder& operator=(const OpenFolder&) = delete;
  ~OpenFolder() {
    if (fd_ >= 0) ::close(fd_);
  }
  int fd() const { return fd_; }
  void reset(int fd) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
  }

 private:
  int fd_;
};

// Reads the entry names of the open folder `folder` (without "." and "..").
std::vector<std::string> listFolder(int folder, std::uint64_t& work) {
  std::vector<std::string> names;
  const int listFd = ::dup(folder);
  if (listFd < 0) return names;
  std::unique_ptr<DIR, int (*)(DIR*)> dir(::fdopendir(listFd), &::closedir);
  if (!dir) {
    ::close(listFd);
    return names;
  }
  ::rewinddir(dir.get());
  while (const dirent* entry = ::readdir(dir.get())) {
    ++work;
    const std::string_view name(entry->d_name);
    if (name != "." && name != "..") names.emplace_back(name);
  }
  return names;
}

// The entry among `names` named `utf8` or `raw`, exactly or else ignoring ASCII case.
std::optional<std::string> matchEntry(const std::vector<std::string>& names,
                                      const std::string& utf8, const std::string& raw,
                                      std::uint64_t& work) {
  std::optional<std::string> best;
  bool exactRaw = false;
  for (const std::string& name : names) {
    ++work;
    if (name == utf8) return name;
    if (name == raw) {
      exactRaw = true;
    } else if (!exactRaw &&
               (equalsIgnoringAsciiCase(name, utf8) || equalsIgnoringAsciiCase(name, raw))) {
      // Several entries differing only in case: take the first in byte order, the same every
      // time.
      if (!best || name < *best) best = name;
    }
  }
  if (exactRaw) return raw;
  return best;
}

// The entry of the open folder named `utf8` or `raw`, exactly or else ignoring ASCII case. Each
// test names the entry relative to the folder, so its cost does not grow with the depth.
std::optional<std::string> findEntry(int folder, const std::string& utf8, const std::string& raw,
                                     std::uint64_t& work) {
  struct stat st {};
  work += utf8.size() + 1;
  if (utf8 == ".." || ::fstatat(folder, utf8.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) return utf8;
  if (raw != utf8) {
    work += raw.size() + 1;
    if (::fstatat(folder, raw.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) return raw;
  }
  return matchEntry(listFolder(folder, work), utf8, raw, work);
}

// The walk over open folders: each component is looked up inside the folder reached, held open,
// so the whole lookup is linear in the length of the name, ".." included (installations may
// share folders beside one another).
std::optional<std::string> walkFolders(const fs::path& base,
                                       const std::vector<std::string>& utf8Parts,
                                       const std::vector<std::string>& rawParts,
                                       std::uint64_t& work) {
  OpenFolder folder(::open(base.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (folder.fd() < 0) return std::nullopt;
  std::string found = base.string();
  for (std::size_t i = 0; i < utf8Parts.size(); ++i) {
    if (utf8Parts[i] == ".") continue;
    std::optional<std::string> name = findEntry(folder.fd(), utf8Parts[i], rawParts[i], work);
    if (!name) return std::nullopt;
    if (found.empty() || found.back() != '/') found += '/';
    found += *name;
    if (i + 1 < utf8Parts.size()) {
      const int inner = ::openat(folder.fd(), name->c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
      if (inner < 0) return std::nullopt;
      folder.reset(inner);
    }
  }
  return found;
}

std::string foldAsciiCase(std::string_view name) {
  std::string out(name);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

// The entry of a kept listing named `utf8` or `raw`, exactly or else ignoring ASCII case (the
// first in byte order of the entries that match either way).
std::optional<std::string> matchListed(const FolderListings::Listing& listing,
                                       const std::string& utf8, const std::string& raw,
                                       std::uint64_t& work) {
  work += utf8.size() + raw.size() + 2;
  if (listing.names.count(utf8) != 0) return utf8;
  if (listing.names.count(raw) != 0) return raw;
  std::optional<std::string> best;
  for (const std::string* name : {&utf8, &raw}) {
    const auto it = listing.byFoldedName.find(foldAsciiCase(*name));
    if (it != listing.byFoldedName.end() && (!best || it->second < *best)) best = it->second;
  }
  return best;
}

// The same walk over the listings kept for the start-up: after the first lookup in a folder,
// the next ones cost no system call, and the exact name is found in the listing too. A folder
// that cannot be listed (one that may be entered but not read), or a full tree, leaves the
// answer open.
enum class Listed { Found, Missing, Unlisted };
Listed walkListings(FolderListings& listings, const fs::path& base,
                    const std::vector<std::string>& utf8Parts,
                    const std::vector<std::string>& rawParts, std::uint64_t& work,
                    std::string& found) {
  found = base.string();
  FolderListings::Folder* folder = listings.start(found);
  for (std::size_t i = 0; i < utf8Parts.size(); ++i) {
    if (folder == nullptr) return Listed::Unlisted;
    if (utf8Parts[i] == ".") continue;
    std::optional<std::string> name;
    if (utf8Parts[i] == "..") {
      name = "..";
    } else {
      const FolderListings::Listing* listing = listings.listing(*folder, found, work);
      if (listing == nullptr) return Listed::Unlisted;
      name = matchListed(*listing, utf8Parts[i], rawParts[i], work);
    }
    if (!name) return Listed::Missing;
    if (found.empty() || found.back() != '/') found += '/';
    found += *name;
    if (i + 1 < utf8Parts.size()) folder = listings.child(*folder, *name);
  }
  return Listed::Found;
}

}  // namespace

FolderListings::Folder* FolderListings::start(const std::string& path) {
  auto it = starts_.find(path);
  if (it == starts_.end()) {
    if (folders_ >= kMaxFolders) return nullptr;
    ++folders_;
    it = starts_.emplace(path, std::make_unique<Folder>()).first;
  }
  return it->second.get();
}

const FolderListings::Listing* FolderListings::listing(Folder& folder, const std::string& path,
                                                       std::uint64_t& work) {
  if (!folder.listed) {
    folder.listed = true;
    work += path.size() + 1;
    const OpenFolder open(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    struct stat st {};
    if (open.fd() < 0 || ::fstat(open.fd(), &st) != 0) return nullptr;
    std::shared_ptr<const Listing>& kept =
        byIdentity_[{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)}];
    if (!kept) {
      auto made = std::make_shared<Listing>();
      for (std::string& name : listFolder(open.fd(), work)) {
        std::string& first = made->byFoldedName[foldAsciiCase(name)];
        if (first.empty() || name < first) first = name;
        made->names.insert(std::move(name));
      }
      kept = std::move(made);
    }
    folder.listing = kept;
  }
  return folder.listing.get();
}

FolderListings::Folder* FolderListings::child(Folder& folder, const std::string& name) {
  auto it = folder.children.find(name);
  if (it == folder.children.end()) {
    if (folders_ >= kMaxFolders) return nullptr;
    ++folders_;
    it = folder.children.emplace(name, std::make_unique<Folder>()).first;
  }
  return it->second.get();
}

std::string toSlashes(std::string_view rawName) {
  std::string out(rawName);
  for (std::size_t i = 0; i < out.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(out[i]);
    if (isLeadByte(c)) {
      ++i;
    } else if (c == '\\') {
      out[i] = '/';
    }
  }
  return out;
}

fs::path resolveDataPath(const fs::path& dataDir, std::string_view rawName, std::uint64_t* workDone,
                         FolderListings* listings) {
  std::uint64_t scratch = 0;
  std::uint64_t& work = workDone != nullptr ? *workDone : scratch;
  const std::string rawSlashed = toSlashes(rawName);
  const std::string utf8Slashed = cp932ToUtf8(rawSlashed);
  const bool absolute = !rawSlashed.empty() && rawSlashed.front() == '/';
  static const fs::path root("/");
  const fs::path& base = absolute ? root : dataDir;
  // Built only when it is the answer: most names are found in the kept listings.
  const auto asWrittenPath = [&] {
    return absolute ? fs::path(utf8Slashed) : dataDir / utf8Slashed;
  };
  if (rawSlashed.empty()) return asWrittenPath();
  const std::vector<std::string> utf8Parts = components(utf8Slashed);
  const std::vector<std::string> rawParts = components(rawSlashed);
  const bool sameDepth = utf8Parts.size() == rawParts.size();
  if (listings != nullptr && sameDepth) {
    std::string found;
    switch (walkListings(*listings, base, utf8Parts, rawParts, work, found)) {
      case Listed::Found:
        return fs::path(std::move(found));
      case Listed::Missing:
        return asWrittenPath();
      case Listed::Unlisted:
        break;
    }
  }
  const fs::path asWritten = asWrittenPath();

  work += asWritten.native().size() + 1;
  if (present(asWritten)) return asWritten;
  if (rawSlashed != utf8Slashed) {
    work += base.native().size() + rawSlashed.size() + 2;
    if (present(base / rawSlashed)) return base / rawSlashed;
  }
  if (!sameDepth) return asWritten;
  const std::optional<std::string> found = walkFolders(base, utf8Parts, rawParts, work);
  return found ? fs::path(*found) : asWritten;
}

std::optional<std::string> readFileBytes(const fs::path& path) {
  std::optional<std::string> bytes;
  if (readFileBytes(path, kMaxFileBytes, bytes) != FileRead::Ok) return std::nullopt;
  return bytes;
}

FileRead readFileBytes(const fs::path& path, std::uintmax_t maxBytes,
                       std::optional<std::string>& out) {
  out.reset();
  std::string bytes;
  switch (platform::readWholeFile(path.c_str(), maxBytes, bytes)) {
    case platform::WholeFileRead::Ok:
      out = std::move(bytes);
      return FileRead::Ok;
    case platform::WholeFileRead::TooLarge:
      return FileRead::TooLarge;
    case platform::WholeFileRead::Unreadable:
      break;
  }
  return FileRead::Unreadable;
}

}  // namespace dravolin::data
