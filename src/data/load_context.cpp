#include "data/load_context.h"

#include <algorithm>

#include "data/data_path.h"
#include "data/load_error.h"
#include "data/text_encoding.h"
#include "platform/message_ids.h"

namespace dravolin::data {

namespace {

// The name as the user wrote it, cut to its first 100 bytes or so (a hostile name may be huge),
// at a character boundary of the converted text.
std::string shownName(std::string_view rawName) {
  constexpr std::size_t kShown = 100;
  std::string utf8 = cp932ToUtf8(rawName.substr(0, std::min(rawName.size(), kShown * 2)));
  if (utf8.size() <= kShown && rawName.size() <= kShown * 2) return utf8;
  std::size_t cut = std::min(utf8.size(), kShown);
  while (cut > 0 && (static_cast<unsigned char>(utf8[cut]) & 0xC0) == 0x80) --cut;
  utf8.resize(cut);
  return utf8 + "…";
}

}  // namespace

std::filesystem::path LoadContext::resolve(std::string_view rawName) const {
  const auto tooLong = [&rawName]() {
    return LoadError(msg::nameTooLong(kMaxNameBytes, kMaxNameComponents, shownName(rawName)));
  };
  if (rawName.size() > kMaxNameBytes) throw tooLong();
  const std::string slashed = toSlashes(rawName);
  if (static_cast<std::size_t>(std::count(slashed.begin(), slashed.end(), '/')) >=
      kMaxNameComponents) {
    throw tooLong();
  }
  std::filesystem::path path = resolveDataPath(dataDir, rawName, nullptr, listings.get());
  if (resolvedFiles) resolvedFiles->push_back(path);
  return path;
}

std::optional<std::string> LoadContext::readDataFile(std::string_view rawName) const {
  std::optional<std::string> bytes;
  if (readFileBytes(resolve(rawName), kMaxDataFileBytes, bytes) == FileRead::TooLarge) {
    throw LoadError(msg::dataFileTooLarge(shownName(rawName), kMaxDataFileBytes >> 20));
  }
  return bytes;
}

void LoadContext::countPixels(std::string_view rawName, int width, int height) {
  pixelsLoaded += static_cast<std::int64_t>(std::max(width, 0)) * std::max(height, 0);
  if (pixelsLoaded > kMaxDrivePixels) {
    throw LoadError(msg::picturesTooLarge(kMaxDrivePixels, shownName(rawName)));
  }
}

std::optional<platform::Bitmap> LoadContext::loadWorkPicture(std::string_view rawName) {
  if (pictures == nullptr) return std::nullopt;
  std::optional<platform::Bitmap> bitmap = pictures->load(resolve(rawName).string());
  if (bitmap) {
    countPixels(rawName, bitmap->width, bitmap->height);
    workWidth = bitmap->width;
    workHeight = bitmap->height;
  }
  return bitmap;
}

}  // namespace dravolin::data
