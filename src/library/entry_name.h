// The names of the files inside a package: relative paths with "/" between folders. A name is
// checked before anything is placed: it must stay inside the folder it is unpacked into whatever
// system unpacks it, so "\" counts as a separator as well, and a name with a drive letter
// ("C:..."), an absolute path, a ".." part, an empty or "." part, a control character, a ":" or
// bytes that are not UTF-8 is refused.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/message.h"

namespace dravolin::library {

// Why `name` cannot be a file's name in a package (EntryAbsolutePath, EntryDriveLetter,
// EntryParentFolder, EntryBadName); nullopt when it can. A folder entry's trailing "/" is
// allowed.
std::optional<msg::Message> entryNameFault(std::string_view name);

// `name` with "\" turned into "/" and a folder entry's trailing "/" taken away.
std::string normalisedEntryName(std::string_view name);

// The name as two entries that differ only in letter case share it: UTF-8 lower case (every
// script with case, "Ä" and "ä", "Ω" and "ω"), from the normalised name.
std::string foldedEntryName(std::string_view name);

// Whether `text` is well-formed UTF-8 (no overlong forms, no surrogates).
bool isUtf8(std::string_view text);

}  // namespace dravolin::library
