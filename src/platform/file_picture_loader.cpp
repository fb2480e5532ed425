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
  std::size_t length = 0;
  const WholeFileRead read = readWholeFileInto(path.c_str(), kMaxFileBytes, buffer_, length);
  std::optional<Bitmap> picture;
  if (read == WholeFileRead::Ok && length > 0) {
    picture = decodePicture(std::span<const std::uint8_t>(buffer_.data(), length));
  }
  if (buffer_.size() > kKeptBufferBytes) {
    buffer_.clear();
    buffer_.shrink_to_fit();
  }
  return picture;
}

}  // namespace dravolin::platform
