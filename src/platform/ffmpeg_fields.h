// What FFmpeg copies from a file into the enum fields of its structures, read as integers and
// checked before use. A demultiplexer or decoder stores whatever number the file holds (a damaged
// stream may say colour space 31); reading a number outside the enum as the C++ enum is undefined
// behaviour, so every such field this program uses is read here, through its bytes, and an
// unknown number takes the default named with each reader. Includes FFmpeg headers, so only the
// platform library's own sources (and its tests) include it.
//
// Fields the program never reads (colour primaries, transfer characteristic, chroma location,
// field order) are left to FFmpeg: the scaler takes the picture as the matrix and range below say.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
#include <libavutil/pixfmt.h>
#include <libavutil/samplefmt.h>
}

#include <cstring>
#include <type_traits>

namespace dravolin::platform {

// The number stored in an enum field, read without loading the field as its enum type.
template <class Enum>
int storedNumber(const Enum& field) {
  static_assert(std::is_enum_v<Enum> && sizeof(Enum) == sizeof(int));
  int number = 0;
  std::memcpy(&number, &field, sizeof number);
  return number;
}

// How the colours of a decoded picture are to be read.
struct PictureColours {
  // A pixel format FFmpeg describes; AV_PIX_FMT_NONE for any other number: the picture is not
  // shown.
  AVPixelFormat pixelFormat = AV_PIX_FMT_NONE;
  // The colour matrix is BT.709 or BT.2020 only when the picture says so; BT.601 otherwise, for
  // an unspecified or unknown colour space as for BT.601 itself.
  bool bt709 = false;
  bool bt2020 = false;
  // Full (JPEG) range only when the picture says so; limited (MPEG) range otherwise, for an
  // unspecified or unknown range.
  bool fullRange = false;
};
PictureColours pictureColours(const AVFrame& picture);

// The stream holds video: false for every other number, unknown ones included.
bool isVideoStream(const AVCodecParameters& parameters);

// The stream's codec when FFmpeg knows it; AV_CODEC_ID_NONE (no decoder) for any other number.
AVCodecID streamCodec(const AVCodecParameters& parameters);

// The sample format of decoded sound; AV_SAMPLE_FMT_NONE (not read) for an unknown number.
AVSampleFormat soundSampleFormat(const AVFrame& sound);

}  // namespace dravolin::platform
