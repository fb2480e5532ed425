// File names in the data files: written on Windows, with "\" as separator and in any letter
// case, relative to the data folder (the program's working directory) unless they are full paths.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace dravolin::data {

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
std::filesystem::path resolveDataPath(const std::filesystem::path& dataDir,
                                      std::string_view rawName, std::uint64_t* workDone = nullptr);

// The whole content of a file, or std::nullopt when it cannot be opened or read (a folder, no
// permission, larger than 256 MiB).
std::optional<std::string> readFileBytes(const std::filesystem::path& path);

enum class FileRead { Ok, Unreadable, TooLarge };
// The whole content of a file into `out`, refused as TooLarge when its size is above `maxBytes`
// (checked before reading).
FileRead readFileBytes(const std::filesystem::path& path, std::uintmax_t maxBytes,
                       std::optional<std::string>& out);

}  // namespace dravolin::data
