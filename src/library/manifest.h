// manifest.json: what a package says of itself, read first when it is installed and kept in the
// installed line's folder. Format version 1:
//
//   {"format": 1, "id": "sakura", "name": "さくら線", "version": "1.2", "author": "...",
//    "licence": "CC-BY-4.0", "description": "...", "created": "2026-12-08T15:04:05Z",
//    "program": "0.1.0", "thumbnail": "thumbnail.bmp",
//    "lines": [{"file": "205_line.dat", "name": "さくら線", "length_m": 7400.2,
//               "stations": ["桜台", ...], "trains": [{"file": "205_train.dat", "name":
//               "205_train"}]}],
//    "files": [{"path": "205_line.dat", "size": 1234, "sha256": "64 hex digits"}, ...]}
//
// Texts are UTF-8. Fields this version does not know are ignored; a newer format version is
// refused. The id names the line's folder in the library, so it is limited to lower-case
// letters, digits, ".", "-" and "_" (at most 64, a letter or digit first); a version is numbers
// separated by "." ("1", "1.2", "2.0.10"), compared number by number.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace dravolin::library {

inline constexpr int kFormatVersion = 1;
inline constexpr const char* kManifestName = "manifest.json";
inline constexpr const char* kThumbnailName = "thumbnail.bmp";

struct ManifestFile {
  std::string path;  // "/" between folders
  std::uint64_t size = 0;
  std::string sha256;  // 64 lower-case hexadecimal digits
};

struct ManifestTrain {
  std::string file;  // the train file, as the title screen names it
  std::string name;
};

struct ManifestLine {
  std::string file;  // the line file, as the title screen names it
  std::string name;  // "[LineName]"
  double lengthM = 0;
  std::vector<std::string> stations;
  std::vector<ManifestTrain> trains;  // the trains that drive it
};

struct Manifest {
  int format = kFormatVersion;
  std::string id;
  std::string name;
  std::string version = "1";
  std::string author;
  std::string licence;
  std::string description;
  std::string created;    // UTC, "YYYY-MM-DDThh:mm:ssZ"
  std::string program;    // the version of the program that made it
  std::string thumbnail;  // a file of `files`; empty: none
  std::vector<ManifestLine> lines;
  std::vector<ManifestFile> files;

  std::uint64_t totalBytes() const;
};

// The manifest as JSON text (UTF-8, indented).
std::string manifestJson(const Manifest& manifest);

// Reads a manifest; throws PackageError with the reason (ManifestInvalid, ManifestFormat,
// ManifestField naming the field) for text that is not one.
Manifest parseManifest(std::string_view json);

bool validId(std::string_view id);
bool validVersion(std::string_view version);
// < 0, 0, > 0 as `a` is older than, the same as or newer than `b` (both valid; "1.0" == "1").
int compareVersions(std::string_view a, std::string_view b);

}  // namespace dravolin::library
