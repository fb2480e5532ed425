// File names in the data files: written on Windows, with "\" as separator and in any letter
// case, relative to the data folder (the program's working directory) unless they are full paths.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

namespace dravolin::data {

// The entries of the folders that one start-up has listed, so that the many names of one drive
// that differ from their files in letter case (or are missing) read each folder once.
class FolderListings {
 public:
  // The entry names of the open folder `folder`, listed at the first call for that folder (and
  // again when the folder has changed since). `work` is raised by the entries read.
  const std::vector<std::string>& entries(int folder, std::uint64_t& work);

 private:
  // Device, inode and modification time of a folder: a folder whose entries change gets a new
  // modification time, so its old listing is never used again.
  using Key = std::tuple<std::uint64_t, std::uint64_t, std::int64_t, std::int64_t>;
  std::map<Key, std::vector<std::string>> byFolder_;
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
