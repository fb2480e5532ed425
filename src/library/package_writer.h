// Making a package of a data folder: every regular file of it (names in UTF-8, no symbolic link
// or device), manifest.json with each file's size and SHA-256, the lines the title screen drives
// in it (each train on its line, loaded as a drive loads them, so a package that would not drive
// is refused before it is written) and a thumbnail of the first line. The line video and other
// files that are compressed already are stored as they are; the rest is deflated. The package
// is written under a temporary name beside FILE and renamed at the end: an interrupted or failed
// run leaves nothing.
#pragma once

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "library/manifest.h"
#include "library/package_error.h"

namespace dravolin::library {

struct PackageOptions {
  std::string id;       // empty: made from the folder's name
  std::string name;     // empty: the first line's name
  std::string version;  // empty: "1"
  std::string author;
  std::string licence;
  std::string description;
};

// The title screen's drives: a train file and the line file it drives (code page 932 names).
struct TitleDrive {
  std::string trainFile;
  std::string lineFile;
};
// Train2 drives "E231_train.dat" on "E231_line2.dat", Train5 "205_train.dat" on "205_line.dat".
const std::vector<TitleDrive>& titleDrives();

// An id from a folder's name: lower-case ASCII letters and digits, anything else "-".
std::string idFromName(std::string_view name);

// Whether a file of this name is stored without compression (video, JPEG, PNG, archives).
bool storedAsItIs(const std::filesystem::path& file);

// Packages `folder` into `file`; throws PackageError. Returns the manifest written.
Manifest createPackage(const std::filesystem::path& folder, const std::filesystem::path& file,
                       const PackageOptions& options, const Progress& progress = {});

}  // namespace dravolin::library
