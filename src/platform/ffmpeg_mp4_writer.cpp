#include "platform/ffmpeg_mp4_writer.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

#include <cmath>
#include <ctime>

#include "platform/ffmpeg_fields.h"
#include "platform/footage.h"

namespace dravolin::platform {

namespace {

std::string isoTime(double s) {
  const auto t = static_cast<std::time_t>(std::floor(s));
  std::tm tm{};
  gmtime_r(&t, &tm);
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%06dZ", tm.tm_year + 1900,
                tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec,
                static_cast<int>(std::lround((s - std::floor(s)) * 1e6)) % 1000000);
  return text;
}

}  // namespace

struct FfmpegMp4Writer::Impl {
  std::string path;
  Options options;
  AVFormatContext* fmt = nullptr;
  AVStream* video = nullptr;
  AVStream* data = nullptr;
  AVCodecContext* enc = nullptr;
  AVFrame* frame = nullptr;
  AVPacket* packet = nullptr;
  SwsContext* sws = nullptr;
  std::int64_t pts = 0;
  bool headerWritten = false;
  bool finished = false;

  [[noreturn]] void fail(const std::string& why) const { throw FootageError(path + ": " + why); }

  ~Impl() {
    sws_freeContext(sws);
    av_packet_free(&packet);
    av_frame_free(&frame);
    avcodec_free_context(&enc);
    if (fmt != nullptr && fmt->pb != nullptr && !(fmt->oformat->flags & AVFMT_NOFILE)) {
      avio_closep(&fmt->pb);
    }
    avformat_free_context(fmt);
  }

  void open() {
    if (options.width <= 0 || options.height <= 0 || options.width % 2 || options.height % 2) {
      fail("動画の大きさが正しくありません");
    }
    if (avformat_alloc_output_context2(&fmt, nullptr, "mp4", path.c_str()) < 0 || !fmt) {
      fail("MP4 を作れません");
    }
    const AVCodec* codec = avcodec_find_encoder_by_name("libx264");
    if (codec == nullptr) fail("H.264 の符号化器 (libx264) がありません");
    video = avformat_new_stream(fmt, nullptr);
    enc = avcodec_alloc_context3(codec);
    if (!video || !enc) fail("メモリが足りません");
    enc->width = options.width;
    enc->height = options.height;
    enc->time_base = {options.fpsDenominator, options.fpsNumerator};
    enc->framerate = {options.fpsNumerator, options.fpsDenominator};
    enc->pix_fmt = AV_PIX_FMT_YUV420P;
    enc->colorspace = AVCOL_SPC_BT709;
    enc->color_primaries = AVCOL_PRI_BT709;
    enc->color_trc = AVCOL_TRC_BT709;
    enc->color_range = AVCOL_RANGE_MPEG;
    enc->gop_size = 2 * options.fpsNumerator / std::max(1, options.fpsDenominator);
    enc->thread_count = options.threads;
    if (fmt->oformat->flags & AVFMT_GLOBALHEADER) enc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    av_opt_set(enc->priv_data, "preset", options.preset, 0);
    av_opt_set_int(enc->priv_data, "crf", options.crf, 0);
    if (avcodec_open2(enc, codec, nullptr) < 0) fail("H.264 の符号化器を開けません");
    avcodec_parameters_from_context(video->codecpar, enc);
    video->time_base = enc->time_base;
    video->avg_frame_rate = enc->framerate;
    if (options.telemetry) {
      data = avformat_new_stream(fmt, nullptr);
      if (!data) fail("メモリが足りません");
      // The MP4 muxer knows "gpmd" as the tag of binary data.
      data->codecpar->codec_type = AVMEDIA_TYPE_DATA;
      data->codecpar->codec_id = AV_CODEC_ID_BIN_DATA;
      data->codecpar->codec_tag = MKTAG('g', 'p', 'm', 'd');
      data->time_base = {1, 1000};
    }
    if (options.creationTimeS) {
      av_dict_set(&fmt->metadata, "creation_time", isoTime(*options.creationTimeS).c_str(), 0);
    }
    if (avio_open(&fmt->pb, path.c_str(), AVIO_FLAG_WRITE) < 0) fail("書き込めません");
    if (avformat_write_header(fmt, nullptr) < 0) fail("MP4 の頭を書けません");
    headerWritten = true;
    frame = av_frame_alloc();
    packet = av_packet_alloc();
    if (!frame || !packet) fail("メモリが足りません");
    frame->format = AV_PIX_FMT_YUV420P;
    frame->width = options.width;
    frame->height = options.height;
    if (av_frame_get_buffer(frame, 0) < 0) fail("メモリが足りません");
  }

  void encode(AVFrame* f) {
    if (avcodec_send_frame(enc, f) < 0) fail("符号化に失敗しました");
    for (;;) {
      const int rc = avcodec_receive_packet(enc, packet);
      if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF) return;
      if (rc < 0) fail("符号化に失敗しました");
      av_packet_rescale_ts(packet, enc->time_base, video->time_base);
      packet->stream_index = video->index;
      if (av_interleaved_write_frame(fmt, packet) < 0) fail("書き込めません");
    }
  }

  void add(const std::uint8_t* const planes[], const int strides[], int w, int h,
           AVPixelFormat format, int matrix, bool fullRange) {
    sws = sws_getCachedContext(sws, w, h, format, options.width, options.height, AV_PIX_FMT_YUV420P,
                               SWS_BICUBIC, nullptr, nullptr, nullptr);
    if (!sws) fail("画像を変換できません");
    const int* table = sws_getCoefficients(matrix);
    sws_setColorspaceDetails(sws, table, fullRange ? 1 : 0, sws_getCoefficients(SWS_CS_ITU709), 0,
                             0, 1 << 16, 1 << 16);
    if (av_frame_make_writable(frame) < 0) fail("メモリが足りません");
    sws_scale(sws, planes, strides, 0, h, frame->data, frame->linesize);
    frame->pts = pts++;
    encode(frame);
  }
};

FfmpegMp4Writer::FfmpegMp4Writer(const std::string& path, const Options& options)
    : impl_(std::make_unique<Impl>()) {
  impl_->path = path;
  impl_->options = options;
  impl_->open();
}

FfmpegMp4Writer::~FfmpegMp4Writer() = default;

void FfmpegMp4Writer::addFrame(const Bitmap& picture) {
  if (picture.empty()) return;
  const std::uint8_t* planes[4] = {reinterpret_cast<const std::uint8_t*>(picture.pixels.data())};
  const int strides[4] = {picture.width * 4};
  impl_->add(planes, strides, picture.width, picture.height, AV_PIX_FMT_BGRA, SWS_CS_ITU709, true);
}

void FfmpegMp4Writer::addDecodedFrame(const AVFrame& picture) {
  const PictureColours colours = pictureColours(picture);
  if (colours.pixelFormat == AV_PIX_FMT_NONE) return;
  const std::uint8_t* planes[4] = {picture.data[0], picture.data[1], picture.data[2],
                                   picture.data[3]};
  const int strides[4] = {picture.linesize[0], picture.linesize[1], picture.linesize[2],
                          picture.linesize[3]};
  impl_->add(planes, strides, picture.width, picture.height, colours.pixelFormat,
             colours.bt709 ? SWS_CS_ITU709 : SWS_CS_ITU601, colours.fullRange);
}

void FfmpegMp4Writer::addTelemetry(const std::vector<std::uint8_t>& bytes, double timeS,
                                   double durationS) {
  if (impl_->data == nullptr) return;
  AVPacket* p = av_packet_alloc();
  if (p == nullptr || av_new_packet(p, static_cast<int>(bytes.size())) < 0) {
    av_packet_free(&p);
    impl_->fail("メモリが足りません");
  }
  std::copy(bytes.begin(), bytes.end(), p->data);
  p->pts = p->dts = std::llround(timeS * 1000);
  p->duration = std::llround(durationS * 1000);
  p->stream_index = impl_->data->index;
  p->flags |= AV_PKT_FLAG_KEY;
  const int rc = av_interleaved_write_frame(impl_->fmt, p);
  av_packet_free(&p);
  if (rc < 0) impl_->fail("GPS 記録を書き込めません");
}

void FfmpegMp4Writer::finish() {
  if (impl_->finished) return;
  impl_->encode(nullptr);
  if (av_write_trailer(impl_->fmt) < 0) impl_->fail("MP4 の索引を書けません");
  impl_->finished = true;
}

}  // namespace dravolin::platform
