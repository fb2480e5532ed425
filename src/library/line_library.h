// The library of installed lines: $XDG_DATA_HOME/dravolin/lines/<id>/ (by default
// ~/.local/share/dravolin/lines), one data folder a line with its manifest.json beside the data.
//
// Installing checks the whole package before anything is placed (package_reader.h), unpacks it
// into a temporary folder inside the library (".partial-..."), hashing every file as it is
// written, and renames the folder at the end: a refused, failed or cancelled install leaves
// nothing, and one killed half way leaves a temporary folder that the next install takes away.
// Installs hold a lock on the library's folder, so two programs never unpack into it at once.
// The same id again: the same version is already installed (nothing changes), a newer version
// takes the place of the old one (the line's history is kept: it is keyed by the id), an older
// one only when `replaceWithOlder` says so.
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "library/manifest.h"
#include "library/package_error.h"
#include "platform/language.h"

namespace dravolin::library {

// $XDG_DATA_HOME/dravolin/lines, else $HOME/.local/share/dravolin/lines (null `getenv`: the
// process's environment).
std::filesystem::path defaultLibraryRoot(const msg::EnvironmentReader& getenv = nullptr);

struct InstalledLine {
  std::filesystem::path folder;
  Manifest manifest;
};

enum class InstallResult { Installed, Updated, AlreadyInstalled, Declined };

struct InstallOutcome {
  InstallResult result = InstallResult::Installed;
  Manifest manifest;             // the package's
  std::string previousVersion;   // the version that was installed before, if any
  std::filesystem::path folder;  // the line's folder in the library
  // What happened, for the user: installed, updated, already installed, or (declined) the
  // question's text.
  msg::Message message() const;
};

// What a check of an installed line against its manifest found (paths inside the line).
struct VerifyReport {
  std::size_t files = 0;  // files the manifest lists
  std::vector<std::string> changed;
  std::vector<std::string> missing;
  std::vector<std::string> extra;  // in the folder, not in the manifest
  bool ok() const { return changed.empty() && missing.empty(); }
};

class LineLibrary {
 public:
  explicit LineLibrary(std::filesystem::path root);

  const std::filesystem::path& root() const { return root_; }

  // The installed lines, by name; folders without a readable manifest are left out.
  std::vector<InstalledLine> lines() const;
  std::optional<InstalledLine> find(const std::string& id) const;

  // Installs the package `file`; throws PackageError. `replaceWithOlder` (installed manifest,
  // the package's) is asked only for a package older than the line installed; none: refused.
  InstallOutcome install(const std::filesystem::path& file,
                         const std::function<bool(const Manifest& installed,
                                                  const Manifest& offered)>& replaceWithOlder,
                         const Progress& progress = {});

  // Removes an installed line; throws PackageError (LineNotInstalled, WriteFailed).
  void remove(const std::string& id);

  // Checks an installed line's files against its manifest; throws LineNotInstalled.
  VerifyReport verify(const std::string& id, const Progress& progress = {}) const;

 private:
  std::filesystem::path root_;
};

// Checks the files of `folder` against `manifest` (sizes and SHA-256).
VerifyReport verifyFolder(const std::filesystem::path& folder, const Manifest& manifest,
                          const Progress& progress = {});

// The identity of a data folder for the history: "package:ID" for a line installed in the
// library at `libraryRoot`, else the folder's canonical path.
std::string placeOfDataFolder(const std::filesystem::path& folder,
                              const std::filesystem::path& libraryRoot);

}  // namespace dravolin::library
