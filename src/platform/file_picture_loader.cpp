#include "platform/file_picture_loader.h"

#include <vector>

#include "platform/bmp_reader.h"
#include "platform/jpeg_reader.h"
#include "platform/whole_file.h"

namespace dravolin::platform {

std::optional<Bitmap> decodePicture(std::span<const std::uint8_t> data) {
  if (looksLikeBmp(data)) {
    return decodeBmp(data);
  }
  if (looksLikeJpeg(data)) {
    return decodeJpeg(data);
  }
  return std::nullopt;
}

std::optional<Bitmap> FilePictureLoader::load(const std::string& path) {
  // A file that shrank while it was read is decoded as far as it goes.
  std::vector<std::uint8_t> bytes;
  if (readWholeFile(path.c_str(), kMaxFileBytes, bytes) != WholeFileRead::Ok || bytes.empty()) {
    return std::nullopt;
  }
  return decodePicture(bytes);
}

}  // namespace dravolin::platform
