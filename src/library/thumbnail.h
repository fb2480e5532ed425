// The picture a package shows in the library: the line's still picture ("[Staf]" second line),
// else the title picture, cut to the video's 2:1 and reduced to kThumbnailWidth x
// kThumbnailHeight by the mean of each block of pixels, as a 24-bit BMP.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/bitmap.h"

namespace dravolin::library {

inline constexpr int kThumbnailWidth = 160;
inline constexpr int kThumbnailHeight = 80;

// `picture` cut to 2:1 about its centre and reduced (or enlarged) to the thumbnail's size.
platform::Bitmap reducedToThumbnail(const platform::Bitmap& picture);

// The BMP bytes of the thumbnail of the line file `lineFile` (UTF-8 name) in `folder`; empty
// when neither picture can be read.
std::vector<std::uint8_t> thumbnailOf(const std::filesystem::path& folder,
                                      const std::string& lineFile);

}  // namespace dravolin::library
