// Feeds arbitrary bytes to the train file reader and the brake validation. The pictures of the
// indicator lists come from a stand-in loader whose picture size follows the name (so the size
// rules of the image lists are exercised) and which fails for names containing "x".
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>

#include "data/train_file.h"
#include "platform/picture_loader.h"

namespace {

class NamedSizeLoader : public dravolin::platform::PictureLoader {
 public:
  std::optional<dravolin::platform::Bitmap> load(const std::string& path) override {
    if (path.find('x') != std::string::npos) return std::nullopt;
    dravolin::platform::Bitmap b;
    b.width = 1 + static_cast<int>(path.size() % 7);
    b.height = 1 + static_cast<int>(path.size() % 3);
    b.pixels.assign(static_cast<std::size_t>(b.width * b.height), 0xFF000000u);
    return b;
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  NamedSizeLoader pictures;
  dravolin::data::LoadContext ctx;
  ctx.dataDir = "/nonexistent/dravolin-fuzz";
  ctx.pictures = &pictures;
  try {
    dravolin::data::TrainFile t =
        dravolin::data::parseTrainFile(std::string(reinterpret_cast<const char*>(data), size), ctx);
    using dravolin::data::TrainFile;
    if (t.params.NotchTable.size() > TrainFile::kMaxNotches ||
        t.params.GearTable.size() > TrainFile::kMaxGears ||
        t.MotorSound.size() > TrainFile::kMaxMotorSounds ||
        t.DriveSound.size() > TrainFile::kMaxDriveSounds ||
        t.Others.size() > TrainFile::kMaxOthers) {
      std::abort();
    }
    for (const auto* list : {&t.NotchImageP, &t.NotchImageB, &t.GearImageList}) {
      for (const auto& b : list->bitmaps) {
        if (b.width != list->width || b.height != list->height) std::abort();
      }
    }
    dravolin::data::validateBrake(t.params);
  } catch (const dravolin::data::LoadError&) {
  }
  return 0;
}
