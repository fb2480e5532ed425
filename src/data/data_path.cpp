#include "data/data_path.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <system_error>
#include <vector>

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

// The entry of `folder` named `utf8` or `raw`, exactly or else ignoring ASCII case.
std::optional<fs::path> findEntry(const fs::path& folder, const std::string& utf8,
                                  const std::string& raw) {
  if (utf8 == "." || utf8 == "..") return folder / utf8;
  if (present(folder / utf8)) return folder / utf8;
  if (raw != utf8 && present(folder / raw)) return folder / raw;
  std::error_code ec;
  fs::directory_iterator it(folder, ec);
  if (ec) return std::nullopt;
  std::vector<std::string> matches;
  for (const fs::directory_entry& entry : it) {
    const std::string name = entry.path().filename().string();
    if (equalsIgnoringAsciiCase(name, utf8) || equalsIgnoringAsciiCase(name, raw)) {
      matches.push_back(name);
    }
  }
  if (matches.empty()) return std::nullopt;
  // Several entries differing only in case: take the first in byte order, the same every time.
  return folder / *std::min_element(matches.begin(), matches.end());
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

fs::path resolveDataPath(const fs::path& dataDir, std::string_view rawName) {
  const std::string rawSlashed = toSlashes(rawName);
  const std::string utf8Slashed = cp932ToUtf8(rawSlashed);
  const bool absolute = !rawSlashed.empty() && rawSlashed.front() == '/';
  const fs::path base = absolute ? fs::path("/") : dataDir;
  const fs::path asWritten = absolute ? fs::path(utf8Slashed) : dataDir / utf8Slashed;
  if (rawSlashed.empty()) return asWritten;
  if (present(asWritten)) return asWritten;
  if (present(base / rawSlashed)) return base / rawSlashed;

  const std::vector<std::string> utf8Parts = components(utf8Slashed);
  const std::vector<std::string> rawParts = components(rawSlashed);
  if (utf8Parts.size() != rawParts.size()) return asWritten;
  fs::path current = base;
  for (std::size_t i = 0; i < utf8Parts.size(); ++i) {
    std::optional<fs::path> next = findEntry(current, utf8Parts[i], rawParts[i]);
    if (!next) return asWritten;
    current = *next;
  }
  return current;
}

std::optional<std::string> readFileBytes(const fs::path& path) {
  std::error_code ec;
  if (!fs::is_regular_file(path, ec)) return std::nullopt;
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> f(std::fopen(path.c_str(), "rb"), &std::fclose);
  if (!f) return std::nullopt;
  std::string bytes;
  char buffer[65536];
  for (;;) {
    const std::size_t n = std::fread(buffer, 1, sizeof buffer, f.get());
    bytes.append(buffer, n);
    if (bytes.size() > kMaxFileBytes) return std::nullopt;
    if (n < sizeof buffer) break;
  }
  if (std::ferror(f.get())) return std::nullopt;
  return bytes;
}

}  // namespace dravolin::data
