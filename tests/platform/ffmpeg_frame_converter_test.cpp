// Pictures whose enum fields hold numbers that a damaged file put there: each is read as its
// integer and an unknown number takes the default (BT.601 matrix, limited range, no picture for
// an unknown pixel format); none may be loaded as its enum (the sanitizer build stops on that).
#include "platform/ffmpeg_frame_converter.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "platform/ffmpeg_fields.h"

extern "C" {
#include <libavutil/pixdesc.h>
}

namespace dravolin::platform {
namespace {

struct FrameFreer {
  void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
using FramePtr = std::unique_ptr<AVFrame, FrameFreer>;

// Stores a number in an enum field as a demultiplexer does, whatever the enum holds.
template <class Enum>
void storeNumber(Enum& field, int number) {
  static_assert(sizeof(Enum) == sizeof(int));
  std::memcpy(&field, &number, sizeof number);
}

// A 16 x 16 picture of one colour, 4:2:0 with limited-range values: its RGB depends on the
// matrix and the range it is read with.
FramePtr colouredPicture(int colourSpace, int range) {
  FramePtr frame(av_frame_alloc());
  frame->width = 16;
  frame->height = 16;
  frame->format = AV_PIX_FMT_YUV420P;
  if (av_frame_get_buffer(frame.get(), 0) < 0) return nullptr;
  for (int plane = 0; plane < 3; ++plane) {
    const int rows = plane == 0 ? 16 : 8;
    const int value = plane == 0 ? 140 : plane == 1 ? 90 : 190;
    for (int y = 0; y < rows; ++y) {
      std::memset(frame->data[plane] + y * frame->linesize[plane], value, rows);
    }
  }
  storeNumber(frame->colorspace, colourSpace);
  storeNumber(frame->color_range, range);
  return frame;
}

std::uint32_t convertedColour(int colourSpace, int range) {
  const FramePtr frame = colouredPicture(colourSpace, range);
  if (!frame) return 0;
  FfmpegFrameConverter converter;
  Bitmap bitmap;
  if (!converter.convert(*frame, bitmap)) return 0;
  return bitmap.pixel(8, 8);
}

struct ColourCase {
  const char* name;
  int colourSpace;
  int range;
  // The stated colour space and range whose reading the picture must get.
  int asColourSpace;
  int asRange;
};

const ColourCase kColourCases[] = {
    {"ColourSpace31", 31, AVCOL_RANGE_MPEG, AVCOL_SPC_BT470BG, AVCOL_RANGE_MPEG},
    {"ColourSpaceNegative", -7, AVCOL_RANGE_MPEG, AVCOL_SPC_BT470BG, AVCOL_RANGE_MPEG},
    {"ColourSpaceHuge", INT_MAX, AVCOL_RANGE_MPEG, AVCOL_SPC_BT470BG, AVCOL_RANGE_MPEG},
    {"ColourSpaceUnspecified", AVCOL_SPC_UNSPECIFIED, AVCOL_RANGE_MPEG, AVCOL_SPC_BT470BG,
     AVCOL_RANGE_MPEG},
    {"Range200", AVCOL_SPC_BT709, 200, AVCOL_SPC_BT709, AVCOL_RANGE_MPEG},
    {"RangeNegative", AVCOL_SPC_BT709, INT_MIN, AVCOL_SPC_BT709, AVCOL_RANGE_MPEG},
    {"BothUnknown", 255, 9, AVCOL_SPC_BT470BG, AVCOL_RANGE_MPEG},
    {"FullRangeKept", 31, AVCOL_RANGE_JPEG, AVCOL_SPC_BT470BG, AVCOL_RANGE_JPEG},
};

class UnknownColourFields : public ::testing::TestWithParam<ColourCase> {};

TEST_P(UnknownColourFields, TakeTheDefaultReading) {
  const ColourCase& c = GetParam();
  const std::uint32_t expected = convertedColour(c.asColourSpace, c.asRange);
  ASSERT_NE(expected, 0u);
  EXPECT_EQ(convertedColour(c.colourSpace, c.range), expected);
}

INSTANTIATE_TEST_SUITE_P(FfmpegFrameConverter, UnknownColourFields,
                         ::testing::ValuesIn(kColourCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(FfmpegFrameConverter, MatrixAndRangeChangeTheColours) {
  // The cases above would pass with any fixed reading; the stated fields do matter.
  const std::uint32_t bt601 = convertedColour(AVCOL_SPC_BT470BG, AVCOL_RANGE_MPEG);
  EXPECT_NE(convertedColour(AVCOL_SPC_BT709, AVCOL_RANGE_MPEG), bt601);
  EXPECT_NE(convertedColour(AVCOL_SPC_BT470BG, AVCOL_RANGE_JPEG), bt601);
}

TEST(FfmpegFrameConverter, UnknownPixelFormatsAreNotShown) {
  for (const int format : {-1, -200, static_cast<int>(AV_PIX_FMT_NB), 100000, INT_MAX}) {
    FramePtr frame = colouredPicture(AVCOL_SPC_BT709, AVCOL_RANGE_MPEG);
    ASSERT_TRUE(frame);
    frame->format = format;
    FfmpegFrameConverter converter;
    Bitmap bitmap;
    EXPECT_FALSE(converter.convert(*frame, bitmap)) << format;
    EXPECT_EQ(pictureColours(*frame).pixelFormat, AV_PIX_FMT_NONE) << format;
  }
}

// Pictures of every width from 1 to 70 pixels: the scaler's colour conversion works in blocks of
// pixels and writes past the last row of a picture whose width is not a multiple of its block.
// Every picture must come out whole, one colour as it went in, and the writing past its end must
// stay inside the slack the converter keeps (a block as wide as 60 bytes once damaged the heap).
TEST(FfmpegFrameConverter, EveryWidthComesOutWholeAndInsideItsBuffer) {
  const AVPixelFormat formats[] = {AV_PIX_FMT_YUV420P,  AV_PIX_FMT_YUVJ420P, AV_PIX_FMT_YUV422P,
                                   AV_PIX_FMT_YUVA420P, AV_PIX_FMT_YUV444P,  AV_PIX_FMT_YUV440P,
                                   AV_PIX_FMT_NV12,     AV_PIX_FMT_YUYV422,  AV_PIX_FMT_GRAY8,
                                   AV_PIX_FMT_RGB24,    AV_PIX_FMT_BGR0};
  for (const AVPixelFormat format : formats) {
    FfmpegFrameConverter converter;  // one converter for all sizes, as the video reader has
    Bitmap bitmap;
    for (int w = 1; w <= 70; ++w) {
      for (const int h : {1, 2, 5}) {
        FramePtr frame(av_frame_alloc());
        frame->width = w;
        frame->height = h;
        frame->format = format;
        ASSERT_GE(av_frame_get_buffer(frame.get(), 0), 0);
        // Flat planes: luma and chroma (or every colour byte) one value each, alpha opaque.
        const AVPixFmtDescriptor* d = av_pix_fmt_desc_get(format);
        for (int plane = 0; plane < 4 && frame->buf[plane] != nullptr; ++plane) {
          const bool alpha = (d->flags & AV_PIX_FMT_FLAG_ALPHA) != 0 && plane == 3;
          std::memset(frame->buf[plane]->data, alpha ? 255 : 128, frame->buf[plane]->size);
        }
        ASSERT_TRUE(converter.convert(*frame, bitmap)) << d->name << " " << w << "x" << h;
        ASSERT_EQ(bitmap.pixels.size(), static_cast<std::size_t>(w * h));
        // The rows that the scaler's plain code converts may round one step apart from the
        // block-converted ones.
        const std::uint32_t first = bitmap.pixel(0, 0);
        EXPECT_EQ(first >> 24, 0xFFu);
        for (int y = 0; y < h; ++y) {
          for (int x = 0; x < w; ++x) {
            const std::uint32_t p = bitmap.pixel(x, y);
            for (const int shift : {0, 8, 16, 24}) {
              const int step =
                  static_cast<int>((p >> shift) & 0xFF) - static_cast<int>((first >> shift) & 0xFF);
              ASSERT_LE(std::abs(step), 2) << d->name << " " << w << "x" << h << " at " << x << ","
                                           << y << ": " << std::hex << p << " " << first;
            }
          }
        }
      }
    }
  }
}

// An empty 4:2:0 BT.709 picture of width x height; null when FFmpeg cannot allocate it.
FramePtr bt709Picture(int width, int height) {
  FramePtr frame(av_frame_alloc());
  frame->width = width;
  frame->height = height;
  frame->format = AV_PIX_FMT_YUV420P;
  frame->colorspace = AVCOL_SPC_BT709;
  if (av_frame_get_buffer(frame.get(), 0) < 0) return nullptr;
  return frame;
}

// Pictures larger than the view are halved before the scaler: the view must show the same rows
// as the scaler alone (the middle ones when the width is filled), in the same colours. Bands of
// colour across the picture tell which rows were taken; each case converts one picture both
// ways and compares the two, and checks the first and last rows of the view.
TEST(FfmpegFrameConverter, HalvedPicturesShowTheRowsAndColoursOfTheScalerAlone) {
  struct Case {
    const char* name;
    int width;
    int height;
    VideoView view;
  };
  const Case cases[] = {
      {"1920 x 1080 filling the width at scale 1: halved twice", 1920, 1080, VideoView{}},
      {"1920 x 1088 filling the width", 1920, 1088, VideoView{}},
      {"1920 x 1080 whole at scale 1", 1920, 1080, {480, 240, VideoFit::Whole}},
      {"1920 x 1080 at scale 2: halved once", 1920, 1080, {960, 480, VideoFit::FillWidth}},
      {"1280 x 720 at scale 1: halved once, then scaled", 1280, 720, VideoView{}},
      {"1440 x 1080 (4:3), the middle rows", 1440, 1080, VideoView{}},
      {"962 x 482: halved to 480 x 240 (the cut columns and rows)", 962, 482, VideoView{}},
      {"960 x 480 at scale 1.5: not halved", 960, 480, {720, 360, VideoFit::FillWidth}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const FramePtr frame = bt709Picture(c.width, c.height);
    ASSERT_TRUE(frame);
    // Luma rises by 16 every eighth of the height; the chroma planes carry a slope across.
    for (int y = 0; y < c.height; ++y) {
      std::memset(frame->data[0] + y * frame->linesize[0], 32 + 16 * (8 * y / c.height), c.width);
    }
    for (int plane = 1; plane < 3; ++plane) {
      for (int y = 0; y < (c.height + 1) / 2; ++y) {
        for (int x = 0; x < (c.width + 1) / 2; ++x) {
          frame->data[plane][y * frame->linesize[plane] + x] = static_cast<std::uint8_t>(
              plane == 1 ? 64 + 128 * x / c.width : 200 - 96 * x / c.width);
        }
      }
    }
    FfmpegFrameConverter halving;
    ViewPicture halved;
    ASSERT_TRUE(halving.convertForView(*frame, c.view, halved));
    const VideoPlacement at = placeVideo(c.width, c.height, c.view);
    ASSERT_EQ(halved.pixels.width, at.width);
    ASSERT_EQ(halved.pixels.height, at.height);
    EXPECT_EQ(halved.x, at.x);
    EXPECT_EQ(halved.y, at.y);
    Bitmap alone;
    {
      // The direct path: the same picture cropped and scaled in one pass of the scaler.
      const FramePtr cropped = bt709Picture(c.width, at.cropHeight);
      ASSERT_TRUE(cropped);
      const int top = at.cropTop / 2 * 2;
      for (int plane = 0; plane < 3; ++plane) {
        const int shift = plane == 0 ? 0 : 1;
        for (int y = 0; y < (at.cropHeight + shift) >> shift; ++y) {
          std::memcpy(cropped->data[plane] + y * cropped->linesize[plane],
                      frame->data[plane] + ((top >> shift) + y) * frame->linesize[plane],
                      static_cast<std::size_t>((c.width + shift) >> shift));
        }
      }
      FfmpegFrameConverter direct;
      ASSERT_TRUE(direct.convert(*cropped, alone));  // own size, then compared by area below
    }
    // Each view pixel against the mean of the picture pixels it covers in the direct path.
    const double sx = static_cast<double>(alone.width) / at.width;
    const double sy = static_cast<double>(alone.height) / at.height;
    for (const int y : {0, at.height / 2, at.height - 1}) {
      for (const int x : {0, at.width / 3, at.width - 1}) {
        const int x0 = static_cast<int>(x * sx);
        const int y0 = static_cast<int>(y * sy);
        const int x1 = std::max(x0 + 1, static_cast<int>((x + 1) * sx));
        const int y1 = std::max(y0 + 1, static_cast<int>((y + 1) * sy));
        for (const int shift : {0, 8, 16}) {
          long sum = 0;
          for (int yy = y0; yy < y1; ++yy) {
            for (int xx = x0; xx < x1; ++xx) sum += (alone.pixel(xx, yy) >> shift) & 0xFF;
          }
          const double want = static_cast<double>(sum) / ((x1 - x0) * (y1 - y0));
          const int got = static_cast<int>((halved.pixels.pixel(x, y) >> shift) & 0xFF);
          EXPECT_NEAR(got, want, 6) << "at " << x << "," << y << " channel " << shift;
        }
      }
    }
  }
}

TEST(FfmpegFields, StreamKindAndCodecOutsideTheirEnums) {
  AVCodecParameters* raw = avcodec_parameters_alloc();
  ASSERT_NE(raw, nullptr);
  struct Case {
    int type;
    int codec;
    bool video;
    AVCodecID expected;
  };
  const Case cases[] = {
      {AVMEDIA_TYPE_VIDEO, AV_CODEC_ID_MPEG4, true, AV_CODEC_ID_MPEG4},
      {AVMEDIA_TYPE_AUDIO, AV_CODEC_ID_PCM_S16LE, false, AV_CODEC_ID_PCM_S16LE},
      {77, 0x7FFFFFF0, false, AV_CODEC_ID_NONE},
      {-9, -3, false, AV_CODEC_ID_NONE},
  };
  for (const Case& c : cases) {
    storeNumber(raw->codec_type, c.type);
    storeNumber(raw->codec_id, c.codec);
    EXPECT_EQ(isVideoStream(*raw), c.video) << c.type;
    EXPECT_EQ(streamCodec(*raw), c.expected) << c.codec;
  }
  avcodec_parameters_free(&raw);
}

TEST(FfmpegFields, SoundSampleFormatOutsideItsEnum) {
  FramePtr frame(av_frame_alloc());
  for (const int format : {-1, static_cast<int>(AV_SAMPLE_FMT_NB), 5000}) {
    frame->format = format;
    EXPECT_EQ(soundSampleFormat(*frame), AV_SAMPLE_FMT_NONE) << format;
  }
  frame->format = AV_SAMPLE_FMT_S16;
  EXPECT_EQ(soundSampleFormat(*frame), AV_SAMPLE_FMT_S16);
}

}  // namespace
}  // namespace dravolin::platform
