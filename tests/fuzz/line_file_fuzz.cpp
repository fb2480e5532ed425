// Feeds arbitrary bytes to the line file reader and, when they read, to the distance passes:
// every outcome must be a LineFile or a LoadError, never a crash, a hang or another exception.
#include <cstddef>
#include <cstdint>
#include <string>

#include "data/line_distances.h"
#include "data/line_file.h"

namespace {

// Pictures without a disk: a name of odd length is a 120 x 100 picture (two or more cells in
// every image list), any other name cannot be loaded. The picture is made once and copied: made
// pixel by pixel for every name, it took most of the run's time.
class FuzzPictures : public dravolin::platform::PictureLoader {
 public:
  std::optional<dravolin::platform::Bitmap> load(const std::string& path) override {
    if (path.size() % 2 == 0) {
      return std::nullopt;
    }
    static const dravolin::platform::Bitmap picture = [] {
      dravolin::platform::Bitmap b;
      b.width = 120;
      b.height = 100;
      b.pixels.assign(120 * 100, 0xFF000000u);
      return b;
    }();
    return picture;
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzPictures pictures;
  dravolin::data::LoadContext context;
  context.dataDir = "/nonexistent";
  context.pictures = &pictures;
  try {
    dravolin::data::LineFile line = dravolin::data::parseLineFile(
        std::string(reinterpret_cast<const char*>(data), size), context);
    dravolin::data::computeLineDistances(line);
  } catch (const dravolin::data::LoadError&) {
  }
  return 0;
}
