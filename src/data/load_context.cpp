#include "data/load_context.h"

#include "data/data_path.h"

namespace dravolin::data {

std::filesystem::path LoadContext::resolve(std::string_view rawName) const {
  return resolveDataPath(dataDir, rawName);
}

std::optional<platform::Bitmap> LoadContext::loadWorkPicture(std::string_view rawName) {
  if (pictures == nullptr) return std::nullopt;
  std::optional<platform::Bitmap> bitmap = pictures->load(resolve(rawName).string());
  if (bitmap) {
    workWidth = bitmap->width;
    workHeight = bitmap->height;
  }
  return bitmap;
}

}  // namespace dravolin::data
