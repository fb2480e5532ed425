// The line file reader with real name resolution and real pictures: a small folder tree is made
// once in the temporary folder (pictures in folders of mixed letter case, a folder beside the
// data folder), and every name an input lists is looked up in it and loaded by the real picture
// loader. Every outcome must be a LineFile or a LoadError, within the drive's budgets.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "data/line_distances.h"
#include "data/line_file.h"
#include "platform/file_picture_loader.h"

namespace {

namespace fs = std::filesystem;

// A 4 x 2 BMP of 24 bits a pixel.
std::string smallBmp() {
  std::string b = "BM";
  auto le32 = [&b](std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b += static_cast<char>(v >> (8 * i));
  };
  auto le16 = [&b](std::uint16_t v) {
    b += static_cast<char>(v);
    b += static_cast<char>(v >> 8);
  };
  le32(54 + 24);
  le32(0);
  le32(54);
  le32(40);
  le32(4);
  le32(2);
  le16(1);
  le16(24);
  le32(0);
  le32(24);
  le32(2835);
  le32(2835);
  le32(0);
  le32(0);
  b += std::string(24, '\x7F');
  return b;
}

const fs::path& tree() {
  static const fs::path root = [] {
    const fs::path r =
        fs::temp_directory_path() / ("dravolin_fuzz_tree_" + std::to_string(::getpid()));
    fs::create_directories(r / "Line" / "Image" / "Sign");
    fs::create_directories(r / "Shared" / "PANEL");
    for (const fs::path& p : {r / "Line" / "Image" / "Sign" / "S0.bmp", r / "Line" / "a.bmp",
                              r / "Shared" / "PANEL" / "Lamp.BMP"}) {
      std::ofstream(p, std::ios::binary) << smallBmp();
    }
    std::ofstream(r / "Line" / "broken.bmp", std::ios::binary) << "BM broken";
    return r;
  }();
  return root;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  dravolin::platform::FilePictureLoader pictures;
  dravolin::data::LoadContext context;
  context.dataDir = tree() / "Line";
  context.pictures = &pictures;
  try {
    dravolin::data::LineFile line = dravolin::data::parseLineFile(
        std::string(reinterpret_cast<const char*>(data), size), context);
    dravolin::data::computeLineDistances(line);
  } catch (const dravolin::data::LoadError&) {
  }
  return 0;
}
