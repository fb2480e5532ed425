// File names in the data files: written on Windows, with "\" as separator and in any letter
// case, relative to the data folder (the program's working directory) unless they are full paths.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

namespace dravolin::data {

// The folders that one start-up has listed, so that the many names of one drive that differ
// from their files in letter case (or are missing) read each folder once and then cost no system
// call at all. The folders are kept as a tree from the folder a name starts in, so a lookup walks
// it one component at a time, whatever the depth. A start-up reads a drive that does not change
// while it loads, so a listing is not read again. Each real folder is listed once however many
// paths lead to it, and the tree stops growing at kMaxFolders paths: lookups beyond it go to the
// file system one by one, so no data file can make the tree large.
class FolderListings {
 public:
  static constexpr std::size_t kMaxFolders = 4096;

  // A folder's entries, indexed for exact names and for names ignoring ASCII letter case.
  struct Listing {
    std::unordered_set<std::string> names;
    // Entry names by their ASCII lower case; of several, the first in byte order.
    std::unordered_map<std::string, std::string> byFoldedName;
  };
  struct Folder {
    bool listed = false;                     // listing attempted
    std::shared_ptr<const Listing> listing;  // null when the folder cannot be listed
    std::map<std::string, std::unique_ptr<Folder>, std::less<>> children;
  };

  // The folder at `path` where names start (the data folder, or "/" for full paths); null when
  // the tree is full.
  Folder* start(const std::string& path);
  // The listing of `folder`, which is at `path`, read at the first call; null when the folder
  // cannot be opened. `work` is raised by the path's bytes and the entries read.
  const Listing* listing(Folder& folder, const std::string& path, std::uint64_t& work);
  // The folder named `name` inside `folder`; null when the tree is full.
  Folder* child(Folder& folder, const std::string& name);

 private:
  std::map<std::string, std::unique_ptr<Folder>, std::less<>> starts_;
  std::map<std::pair<std::uint64_t, std::uint64_t>, std::shared_ptr<const Listing>> byIdentity_;
  std::size_t folders_ = 0;
};

// The name with every "\" turned into "/", except a "\" that is the second byte of a double-byte
// character (as in "ソ", 0x83 0x5C).
std::string toSlashes(std::string_view rawName);

// The file a data file means by `rawName` (code page 932 bytes as written in the file). A name
// beginning with a separator is a full path, anything else is relative to `dataDir`. When the
// exact name does not exist, each component is matched against the entries of its folder
// ignoring ASCII letter case, both as the name converted to UTF-8 and as the raw bytes. When no
// file matches, the result is the name as written (converted to UTF-8) under `dataDir`, so that
// opening it fails and reports the name the user wrote.
// The lookup is linear in the length of the name: `workDone`, when given, is raised by the bytes
// of the names handed to the system plus the folder entries compared, for tests to bound.
// `listings`, when given, keeps the folders listed for the next lookups of the same start-up.
std::filesystem::path resolveDataPath(const std::filesystem::path& dataDir,
                                      std::string_view rawName, std::uint64_t* workDone = nullptr,
                                      FolderListings* listings = nullptr);

// The whole content of a file, or std::nullopt when it cannot be opened or read (a folder, no
// permission, larger than 256 MiB).
std::optional<std::string> readFileBytes(const std::filesystem::path& path);

enum class FileRead { Ok, Unreadable, TooLarge };
// The whole content of a file into `out`, refused as TooLarge when its size is above `maxBytes`
// (checked before reading).
FileRead readFileBytes(const std::filesystem::path& path, std::uintmax_t maxBytes,
                       std::optional<std::string>& out);

}  // namespace dravolin::data
