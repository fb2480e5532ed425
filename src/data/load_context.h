// What the readers of one start-up share: the data folder, the picture loader, the section
// label of the error messages (set by the line file reader and the train file reader and not
// reset between them) and the work bitmap that image-list entries are loaded into.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "data/data_path.h"
#include "platform/bitmap.h"
#include "platform/message.h"
#include "platform/picture_loader.h"

namespace dravolin::data {

// Budgets of one drive, well above what real add-ons use (a line has a few hundred records, a
// panel at most a few thousand pixels a side). Each ends the start-up with a message that names
// the file and the limit.
inline constexpr std::uintmax_t kMaxDataFileBytes = std::uintmax_t{8} << 20;  // a keyed file
inline constexpr std::size_t kMaxNameBytes = 1024;     // a file name as written in a data file
inline constexpr std::size_t kMaxNameComponents = 64;  // its components ("..", "." included)
inline constexpr std::int64_t kMaxDrivePixels = std::int64_t{1} << 26;  // all pictures loaded

struct LoadContext {
  // The folder that file names in the data files are relative to (the working directory).
  std::filesystem::path dataDir = ".";
  // Loads the image-list bitmaps; required by the line file and train file readers.
  platform::PictureLoader* pictures = nullptr;
  // Label of the part of the file being read, for error messages: a key as the file writes it
  // ("[Station]") or a message naming the part ("- 運転台パネル"). Starts empty.
  msg::Arg sectionLabel;
  // Size in pixels of the picture last loaded into the work bitmap, 0 x 0 before the first.
  // An image list takes this size when its entries are added.
  int workWidth = 0;
  int workHeight = 0;

  // Pixels of the pictures loaded so far for this drive (image lists, indicator lists and every
  // other picture counted through countPixels()).
  std::int64_t pixelsLoaded = 0;

  // When set, the folders listed by the name lookups are kept for the next lookups: a start-up
  // sets it, since its files do not change while it reads them.
  std::shared_ptr<FolderListings> listings;

  // When set, every path resolve() gives is added to it, in order: the files a start-up read,
  // which a recording of the drive names with their hashes.
  std::shared_ptr<std::vector<std::filesystem::path>> resolvedFiles;

  // The file a data file names with `rawName` (code page 932, "\" separators, any case). A name
  // longer than kMaxNameBytes or of more than kMaxNameComponents components throws LoadError.
  std::filesystem::path resolve(std::string_view rawName) const;

  // The content of the data file named `rawName`: std::nullopt when it cannot be read; a file
  // above kMaxDataFileBytes throws LoadError (checked before reading).
  std::optional<std::string> readDataFile(std::string_view rawName) const;

  // Counts a picture of width x height kept for the drive: throws LoadError naming `rawName` when
  // the drive's pictures together pass kMaxDrivePixels.
  void countPixels(std::string_view rawName, int width, int height);

  // Loads the picture named `rawName` into the work bitmap: on success the work size becomes its
  // size and the picture is returned; std::nullopt when it cannot be loaded (or no loader).
  std::optional<platform::Bitmap> loadWorkPicture(std::string_view rawName);
};

}  // namespace dravolin::data
