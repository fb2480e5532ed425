#include "platform/ffmpeg_fields.h"

extern "C" {
#include <libavutil/pixdesc.h>
}

namespace dravolin::platform {

PictureColours pictureColours(const AVFrame& picture) {
  PictureColours colours;
  // AVFrame::format is an int already; a number is a pixel format when FFmpeg describes it.
  const int format = picture.format;
  if (format >= 0 && format < AV_PIX_FMT_NB &&
      av_pix_fmt_desc_get(static_cast<AVPixelFormat>(format)) != nullptr) {
    colours.pixelFormat = static_cast<AVPixelFormat>(format);
  }
  const int space = storedNumber(picture.colorspace);
  colours.bt709 = space == AVCOL_SPC_BT709;
  colours.bt2020 = space == AVCOL_SPC_BT2020_NCL || space == AVCOL_SPC_BT2020_CL;
  colours.fullRange = storedNumber(picture.color_range) == AVCOL_RANGE_JPEG;
  return colours;
}

bool isVideoStream(const AVCodecParameters& parameters) {
  return storedNumber(parameters.codec_type) == AVMEDIA_TYPE_VIDEO;
}

AVCodecID streamCodec(const AVCodecParameters& parameters) {
  const int number = storedNumber(parameters.codec_id);
  // Only numbers FFmpeg has a descriptor for are codecs; the walk over the descriptors never
  // turns an unknown number into the enum.
  for (const AVCodecDescriptor* d = avcodec_descriptor_next(nullptr); d != nullptr;
       d = avcodec_descriptor_next(d)) {
    if (storedNumber(d->id) == number) return d->id;
  }
  return AV_CODEC_ID_NONE;
}

AVSampleFormat soundSampleFormat(const AVFrame& sound) {
  const int format = sound.format;
  if (format < 0 || format >= AV_SAMPLE_FMT_NB) return AV_SAMPLE_FMT_NONE;
  return static_cast<AVSampleFormat>(format);
}

}  // namespace dravolin::platform
