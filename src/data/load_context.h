// What the readers of one start-up share: the data folder, the picture loader, the section
// label of the error messages (set by the line file reader and the train file reader and not
// reset between them) and the work bitmap that image-list entries are loaded into.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "platform/bitmap.h"
#include "platform/picture_loader.h"

namespace dravolin::data {

struct LoadContext {
  // The folder that file names in the data files are relative to (the working directory).
  std::filesystem::path dataDir = ".";
  // Loads the image-list bitmaps; required by the line file and train file readers.
  platform::PictureLoader* pictures = nullptr;
  // Label of the part of the file being read, for error messages (UTF-8). Starts empty.
  std::string sectionLabel;
  // Size in pixels of the picture last loaded into the work bitmap, 0 x 0 before the first.
  // An image list takes this size when its entries are added.
  int workWidth = 0;
  int workHeight = 0;

  // The file a data file names with `rawName` (code page 932, "\" separators, any case).
  std::filesystem::path resolve(std::string_view rawName) const;

  // Loads the picture named `rawName` into the work bitmap: on success the work size becomes its
  // size and the picture is returned; std::nullopt when it cannot be loaded (or no loader).
  std::optional<platform::Bitmap> loadWorkPicture(std::string_view rawName);
};

}  // namespace dravolin::data
