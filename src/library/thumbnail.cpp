#include "library/thumbnail.h"

#include <algorithm>

#include "data/line_file.h"
#include "data/load_context.h"
#include "data/text_encoding.h"
#include "platform/bmp_writer.h"
#include "platform/file_picture_loader.h"

namespace dravolin::library {

platform::Bitmap reducedToThumbnail(const platform::Bitmap& picture) {
  platform::Bitmap out;
  if (picture.empty()) return out;
  // The largest 2:1 part about the centre.
  int w = picture.width;
  int h = picture.height;
  if (w > 2 * h) {
    w = 2 * h;
  } else {
    h = std::max(1, w / 2);
  }
  const int x0 = (picture.width - w) / 2;
  const int y0 = (picture.height - h) / 2;
  out.width = kThumbnailWidth;
  out.height = kThumbnailHeight;
  out.pixels.resize(static_cast<std::size_t>(out.width) * static_cast<std::size_t>(out.height));
  for (int ty = 0; ty < out.height; ++ty) {
    const int ya = y0 + ty * h / out.height;
    const int yb = std::max(ya + 1, y0 + (ty + 1) * h / out.height);
    for (int tx = 0; tx < out.width; ++tx) {
      const int xa = x0 + tx * w / out.width;
      const int xb = std::max(xa + 1, x0 + (tx + 1) * w / out.width);
      std::uint64_t r = 0, g = 0, b = 0, n = 0;
      for (int y = ya; y < yb; ++y) {
        for (int x = xa; x < xb; ++x) {
          const std::uint32_t p = picture.pixel(x, y);
          r += (p >> 16) & 0xFF;
          g += (p >> 8) & 0xFF;
          b += p & 0xFF;
          ++n;
        }
      }
      out.pixels[static_cast<std::size_t>(ty) * static_cast<std::size_t>(out.width) +
                 static_cast<std::size_t>(tx)] =
          0xFF000000u | static_cast<std::uint32_t>(r / n) << 16 |
          static_cast<std::uint32_t>(g / n) << 8 | static_cast<std::uint32_t>(b / n);
    }
  }
  return out;
}

std::vector<std::uint8_t> thumbnailOf(const std::filesystem::path& folder,
                                      const std::string& lineFile) {
  platform::FilePictureLoader pictures;
  std::vector<std::string> candidates;
  try {
    // The line file without its pictures: only the still picture's name is wanted.
    data::LoadContext ctx;
    ctx.dataDir = folder;
    ctx.pictures = &pictures;
    const std::optional<std::string> bytes = data::readFileBytes(ctx.resolve(lineFile));
    if (bytes) {
      const data::LineFile line = data::parseLineFile(*bytes, ctx);
      if (!line.stillImageFile.empty()) candidates.push_back(line.stillImageFile);
    }
  } catch (const std::exception&) {
    // No still picture: the title picture.
  }
  candidates.push_back("image\\title\\title.jpg");
  for (const std::string& name : candidates) {
    const std::filesystem::path path = data::resolveDataPath(folder, name);
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) continue;
    const std::optional<platform::Bitmap> picture = pictures.load(path.string());
    if (!picture || picture->empty()) continue;
    return platform::encodeBmp24(reducedToThumbnail(*picture));
  }
  return {};
}

}  // namespace dravolin::library
