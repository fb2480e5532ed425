#include "platform/file_picture_loader.h"

#include <filesystem>
#include <fstream>
#include <system_error>
#include <vector>

#include "platform/bmp_reader.h"
#include "platform/jpeg_reader.h"

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
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) {
    return std::nullopt;
  }
  const std::uintmax_t size = std::filesystem::file_size(path, ec);
  if (ec || size == 0 || size > kMaxFileBytes) {
    return std::nullopt;
  }
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    return std::nullopt;
  }
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
  file.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(size));
  // A file that shrank while it was read is decoded as far as it goes.
  bytes.resize(static_cast<std::size_t>(file.gcount()));
  return decodePicture(bytes);
}

}  // namespace dravolin::platform
