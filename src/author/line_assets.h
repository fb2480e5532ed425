// The pictures and the sound a made line brings with it, drawn and synthesised here so that the
// line needs nothing of any other line: the sign list (stop marker, uphill, downhill), the
// signal list (the 22 indications) and the departure chime.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/bitmap.h"

namespace dravolin::author {

// Three 50 x 50 cells side by side: the stop-position marker, uphill and downhill.
platform::Bitmap signPictures();
// Twenty-two 50 x 100 cells side by side, one per indication code 0 to 21.
platform::Bitmap signalPictures();
// A two-tone chime of three seconds: a RIFF WAVE file, 22050 Hz, 16 bit, mono.
std::vector<std::uint8_t> departureChime();

}  // namespace dravolin::author
