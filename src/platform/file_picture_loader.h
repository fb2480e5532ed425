// The picture loader of the program: reads a file and decodes it as a Windows BMP or a JPEG,
// whichever its first bytes say it is (a JPEG saved under a ".bmp" name loads too).
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "platform/picture_loader.h"

namespace dravolin::platform {

class FilePictureLoader final : public PictureLoader {
 public:
  // Files above this size (bytes) are not read at all.
  static constexpr std::uintmax_t kMaxFileBytes = std::uintmax_t{256} << 20;

  // `path` names the file as the file system sees it; data-file names are resolved (separators,
  // letter case) by the caller.
  std::optional<Bitmap> load(const std::string& path) override;
};

// Decodes a picture held in memory by its signature; std::nullopt when it is neither a BMP nor a
// JPEG or cannot be decoded.
std::optional<Bitmap> decodePicture(std::span<const std::uint8_t> data);

}  // namespace dravolin::platform
