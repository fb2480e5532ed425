// Reading a package (NAME.dravolin: a ZIP archive of a data folder and manifest.json) through
// libzip, checked before anything is placed:
//
//   1. the archive can be read and is consistent (a truncated file is refused);
//   2. every entry: a name that stays inside (entry_name.h), a regular file or a folder (the
//      external attributes: no symbolic link, device, FIFO or socket), not encrypted, stored or
//      deflated, no two names that differ only in letter case and no name that is both a file
//      and a folder; its size and its compression ratio bounded (a ZIP bomb is refused before it
//      is unpacked), and so the total;
//   3. manifest.json, of bounded size, read first: a format this version reads, and it lists
//      every file of the archive, each with the archive's size, and nothing else.
//
// unpack() then reads the package once, writing each file and hashing it as it goes; a file
// whose SHA-256 or size differs from the manifest stops it. Every refusal is a PackageError
// whose message names the package, the entry and the reason.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "library/manifest.h"
#include "library/package_error.h"

namespace dravolin::library {

struct PackageLimits {
  std::uint64_t maxEntries = 100000;
  std::uint64_t maxManifestBytes = std::uint64_t{1} << 20;
  std::uint64_t maxEntryBytes = std::uint64_t{16} << 30;
  std::uint64_t maxTotalBytes = std::uint64_t{64} << 30;
  // An entry of at least ratioFloorBytes unpacks to at most maxRatio times its packed size.
  // Real content (video, pictures, sounds, text) stays far below; an entry of one byte
  // repeated, the stuff of ZIP bombs, deflates about a thousand times.
  std::uint64_t maxRatio = 200;
  std::uint64_t ratioFloorBytes = std::uint64_t{8} << 20;
};

class PackageReader {
 public:
  // Opens and checks the package `file`; throws PackageError.
  explicit PackageReader(const std::filesystem::path& file, PackageLimits limits = {});
  // The same over bytes in memory (which must outlive the reader); `name` names it in messages.
  PackageReader(const void* data, std::size_t size, std::string name, PackageLimits limits = {});
  ~PackageReader();
  PackageReader(const PackageReader&) = delete;
  PackageReader& operator=(const PackageReader&) = delete;

  const Manifest& manifest() const { return manifest_; }
  // manifest.json as the package holds it.
  const std::string& manifestText() const { return manifestText_; }
  // The package's name in messages (its file name).
  const std::string& name() const { return name_; }

  // Unpacks every file of the manifest into `folder` (an empty folder that exists), checking
  // each file's size and SHA-256 as it is written; with an empty `folder`, only reads and
  // checks them. Throws PackageError; what was written stays for the caller to take away.
  void unpack(const std::filesystem::path& folder, const Progress& progress = {});

 private:
  struct Archive;
  void check(const PackageLimits& limits);
  [[noreturn]] void refuse(const msg::Message& reason) const;
  [[noreturn]] void refuse(const std::string& entry, const msg::Message& reason) const;

  std::string name_;
  std::unique_ptr<Archive> archive_;
  Manifest manifest_;
  std::string manifestText_;
  // For each file of the manifest, in its order: the archive's index.
  std::vector<std::uint64_t> indexOfFile_;
};

}  // namespace dravolin::library
