// Picture loading: the panel, lamp, needle and indication pictures named by the data files.
#pragma once

#include <optional>
#include <string>

#include "platform/bitmap.h"

namespace dravolin::platform {

class PictureLoader {
 public:
  virtual ~PictureLoader() = default;
  // Reads a Windows BMP or a JPEG file. std::nullopt when the file is missing, unreadable or not
  // a picture it can decode; never reads past the file's data.
  virtual std::optional<Bitmap> load(const std::string& path) = 0;
};

}  // namespace dravolin::platform
