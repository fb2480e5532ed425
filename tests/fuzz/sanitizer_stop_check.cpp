// A program built exactly as the fuzz targets are, whose input decides an enum load: the first
// byte is stored into an enum field the way FFmpeg stores what a file says, then loaded as the
// enum. A byte past the enum's values is undefined behaviour; the fuzz build must stop there and
// never reach the line after it (expect_sanitizer_stop.cmake checks both).
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace {

enum Shade { kBlack, kGrey, kWhite };  // values 0 to 3 fit the enum, 31 does not

struct Picture {
  Shade shade = kBlack;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  Picture picture;
  const int stored = data[0];
  std::memcpy(&picture.shade, &stored, sizeof stored);
  // Loaded through a volatile pointer so that the compiler keeps the load and its check.
  const Shade* volatile field = &picture.shade;
  const Shade shade = *field;
  std::printf("carried on after shade %d\n", static_cast<int>(shade == kWhite));
  return 0;
}
