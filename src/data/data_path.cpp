#include "data/data_path.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <system_error>
#include <utility>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "data/text_encoding.h"

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

bool present(const fs::path& p) {
  std::error_code ec;
  return fs::exists(fs::symlink_status(p, ec)) || fs::exists(p, ec);
}

// An open folder, closed when it goes out of scope.
class Folder {
 public:
  explicit Folder(int fd) : fd_(fd) {}
  Folder(const Folder&) = delete;
  Folder& operator=(const Folder&) = delete;
  ~Folder() {
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
  const int listFd = ::dup(folder);
  if (listFd < 0) return std::nullopt;
  std::unique_ptr<DIR, int (*)(DIR*)> dir(::fdopendir(listFd), &::closedir);
  if (!dir) {
    ::close(listFd);
    return std::nullopt;
  }
  ::rewinddir(dir.get());
  std::optional<std::string> best;
  while (const dirent* entry = ::readdir(dir.get())) {
    ++work;
    const std::string_view name(entry->d_name);
    if (equalsIgnoringAsciiCase(name, utf8) || equalsIgnoringAsciiCase(name, raw)) {
      // Several entries differing only in case: take the first in byte order, the same every
      // time.
      if (!best || name < *best) best = std::string(name);
    }
  }
  return best;
}

}  // namespace

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

fs::path resolveDataPath(const fs::path& dataDir, std::string_view rawName,
                         std::uint64_t* workDone) {
  std::uint64_t scratch = 0;
  std::uint64_t& work = workDone != nullptr ? *workDone : scratch;
  const std::string rawSlashed = toSlashes(rawName);
  const std::string utf8Slashed = cp932ToUtf8(rawSlashed);
  const bool absolute = !rawSlashed.empty() && rawSlashed.front() == '/';
  const fs::path base = absolute ? fs::path("/") : dataDir;
  const fs::path asWritten = absolute ? fs::path(utf8Slashed) : dataDir / utf8Slashed;
  if (rawSlashed.empty()) return asWritten;
  work += 2 * (asWritten.native().size() + 1);
  if (present(asWritten)) return asWritten;
  if (present(base / rawSlashed)) return base / rawSlashed;

  const std::vector<std::string> utf8Parts = components(utf8Slashed);
  const std::vector<std::string> rawParts = components(rawSlashed);
  if (utf8Parts.size() != rawParts.size()) return asWritten;
  // The walk holds the folder reached open and looks each component up inside it, so the whole
  // lookup is linear in the length of the name, ".." included (installations may share folders
  // beside one another).
  Folder folder(::open(base.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (folder.fd() < 0) return asWritten;
  std::string found = base.string();
  for (std::size_t i = 0; i < utf8Parts.size(); ++i) {
    if (utf8Parts[i] == ".") continue;
    std::optional<std::string> name = findEntry(folder.fd(), utf8Parts[i], rawParts[i], work);
    if (!name) return asWritten;
    if (found.empty() || found.back() != '/') found += '/';
    found += *name;
    if (i + 1 < utf8Parts.size()) {
      const int inner = ::openat(folder.fd(), name->c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
      if (inner < 0) return asWritten;
      folder.reset(inner);
    }
  }
  return found;
}

std::optional<std::string> readFileBytes(const fs::path& path) {
  std::optional<std::string> bytes;
  if (readFileBytes(path, kMaxFileBytes, bytes) != FileRead::Ok) return std::nullopt;
  return bytes;
}

FileRead readFileBytes(const fs::path& path, std::uintmax_t maxBytes,
                       std::optional<std::string>& out) {
  out.reset();
  std::error_code ec;
  if (!fs::is_regular_file(path, ec)) return FileRead::Unreadable;
  // The size is checked before anything is read; the read stops at the limit all the same, in
  // case the file grows meanwhile.
  const std::uintmax_t size = fs::file_size(path, ec);
  if (!ec && size > maxBytes) return FileRead::TooLarge;
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> f(std::fopen(path.c_str(), "rb"), &std::fclose);
  if (!f) return FileRead::Unreadable;
  std::string bytes;
  if (!ec) bytes.reserve(static_cast<std::size_t>(size));
  char buffer[65536];
  for (;;) {
    const std::size_t n = std::fread(buffer, 1, sizeof buffer, f.get());
    bytes.append(buffer, n);
    if (bytes.size() > maxBytes) return FileRead::TooLarge;
    if (n < sizeof buffer) break;
  }
  if (std::ferror(f.get())) return FileRead::Unreadable;
  out = std::move(bytes);
  return FileRead::Ok;
}

}  // namespace dravolin::data
