// Packages made byte by byte for the tests: any entry name, any external attributes, any
// manifest, through libzip as an archiver would write them.
#pragma once

#include <zip.h>

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "library/manifest.h"
#include "library/sha256.h"

namespace dravolin::testing {

struct CraftedEntry {
  std::string name;
  std::string bytes;
  // Unix mode in the external attributes (0100644: a regular file); 0: none given.
  std::uint32_t mode = 0100644;
  bool deflate = true;
  bool listed = true;                       // in the manifest's files
  std::optional<std::uint64_t> listedSize;  // a size other than the true one
  std::optional<std::string> listedSha256;  // a digest other than the true one
};

struct CraftedPackage {
  std::vector<CraftedEntry> entries;
  std::optional<std::string> manifestText;  // replaces the manifest made from the entries
  bool withManifest = true;
  int format = library::kFormatVersion;
  std::string id = "crafted";
  std::string version = "1";
};

inline std::string sha256Of(const std::string& bytes) {
  library::Sha256 h;
  h.add(bytes.data(), bytes.size());
  return h.hex();
}

inline std::string manifestOf(const CraftedPackage& p) {
  library::Manifest m;
  m.format = p.format;
  m.id = p.id;
  m.name = "作った路線";
  m.version = p.version;
  for (const CraftedEntry& e : p.entries) {
    if (!e.listed) continue;
    m.files.push_back({e.name, e.listedSize.value_or(e.bytes.size()),
                       e.listedSha256.value_or(sha256Of(e.bytes))});
  }
  return library::manifestJson(m);
}

// Writes the package; false when libzip refused.
inline bool writePackage(const std::filesystem::path& file, const CraftedPackage& p) {
  int code = 0;
  zip_t* z = zip_open(file.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &code);
  if (z == nullptr) return false;
  // Kept alive until zip_close, which reads them.
  std::vector<std::string> kept;
  kept.reserve(p.entries.size() + 1);
  const auto add = [&](const std::string& name, const std::string& bytes, std::uint32_t mode,
                       bool deflate) {
    kept.push_back(bytes);
    zip_source_t* s = zip_source_buffer(z, kept.back().data(), kept.back().size(), 0);
    const zip_int64_t i = zip_file_add(z, name.c_str(), s, ZIP_FL_ENC_GUESS);
    if (i < 0) return false;
    zip_set_file_compression(z, static_cast<zip_uint64_t>(i),
                             deflate ? ZIP_CM_DEFLATE : ZIP_CM_STORE, 9);
    if (mode != 0) {
      zip_file_set_external_attributes(z, static_cast<zip_uint64_t>(i), 0, ZIP_OPSYS_UNIX,
                                       mode << 16);
    }
    return true;
  };
  bool ok = true;
  if (p.withManifest)
    ok = add("manifest.json", p.manifestText.value_or(manifestOf(p)), 0100644, true);
  for (const CraftedEntry& e : p.entries) ok = ok && add(e.name, e.bytes, e.mode, e.deflate);
  if (!ok) {
    zip_discard(z);
    return false;
  }
  return zip_close(z) == 0;
}

// Every path under `dir` with its size ("" for a folder), to compare before and after.
inline std::map<std::string, std::string> treeOf(const std::filesystem::path& dir) {
  std::map<std::string, std::string> tree;
  std::error_code ec;
  for (std::filesystem::recursive_directory_iterator it(dir, ec), end; !ec && it != end;
       it.increment(ec)) {
    const std::string name = it->path().lexically_relative(dir).string();
    tree[name] = it->is_regular_file() ? std::to_string(it->file_size()) : "";
  }
  return tree;
}

}  // namespace dravolin::testing
