// The picture loader of the program: reads a file and decodes it as a Windows BMP or a JPEG,
// whichever its first bytes say it is (a JPEG saved under a ".bmp" name loads too).
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "platform/picture_loader.h"

namespace dravolin::platform {

class FilePictureLoader final : public PictureLoader {
 public:
  // Files above this size (bytes) are not read at all.
  static constexpr std::uintmax_t kMaxFileBytes = std::uintmax_t{256} << 20;

  // `path` names the file as the file system sees it; data-file names are resolved (separators,
  // letter case) by the caller.
  std::optional<Bitmap> load(const std::string& path) override;

 private:
  // The file's bytes are read into one buffer kept between loads, so that the pictures of a
  // start-up reuse its pages; a buffer grown past this size (bytes) is given back afterwards.
  static constexpr std::size_t kKeptBufferBytes = std::size_t{8} << 20;
  std::vector<std::uint8_t> buffer_;
};

// Decodes a picture held in memory by its signature; std::nullopt when it is neither a BMP nor a
// JPEG or cannot be decoded.
std::optional<Bitmap> decodePicture(std::span<const std::uint8_t> data);

}  // namespace dravolin::platform
