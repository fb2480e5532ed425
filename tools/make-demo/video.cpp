#include <QPainter>
#include <QPainterPath>
#include <stdexcept>

#include "tools/make-demo/demo.h"
#include "tools/make-demo/scene.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libswscale/swscale.h>
}

namespace dravolin::demo {

namespace {

// Writes an AVI file: MPEG-4 part 2 video, 480 x 240 at 30 fps with a key frame every second,
// and optionally a 16-bit mono PCM sound track. Bit-exact: no encoder or muxer version strings
// and no time stamps, so the same pictures give the same bytes.
class AviWriter {
 public:
  AviWriter(const std::string& path, bool withSound) {
    if (avformat_alloc_output_context2(&fmt_, nullptr, "avi", path.c_str()) < 0)
      fail("no AVI muxer");
    fmt_->flags |= AVFMT_FLAG_BITEXACT;
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_MPEG4);
    if (!codec) fail("no MPEG-4 encoder");
    video_ = avformat_new_stream(fmt_, nullptr);
    enc_ = avcodec_alloc_context3(codec);
    enc_->width = 480;
    enc_->height = 240;
    enc_->time_base = {1, kFps};
    enc_->framerate = {kFps, 1};
    enc_->gop_size = kFps;
    enc_->max_b_frames = 0;
    enc_->pix_fmt = AV_PIX_FMT_YUV420P;
    enc_->flags |= AV_CODEC_FLAG_BITEXACT | AV_CODEC_FLAG_QSCALE;
    enc_->global_quality = FF_QP2LAMBDA * 4;
    enc_->thread_count = 1;
    enc_->codec_tag = MKTAG('F', 'M', 'P', '4');
    if (fmt_->oformat->flags & AVFMT_GLOBALHEADER) enc_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if (avcodec_open2(enc_, codec, nullptr) < 0) fail("cannot open the MPEG-4 encoder");
    avcodec_parameters_from_context(video_->codecpar, enc_);
    video_->time_base = enc_->time_base;
    if (withSound) {
      audio_ = avformat_new_stream(fmt_, nullptr);
      audio_->codecpar->codec_type = AVMEDIA_TYPE_AUDIO;
      audio_->codecpar->codec_id = AV_CODEC_ID_PCM_S16LE;
      audio_->codecpar->sample_rate = 22050;
      av_channel_layout_default(&audio_->codecpar->ch_layout, 1);
      audio_->codecpar->bits_per_coded_sample = 16;
      audio_->codecpar->block_align = 2;
      audio_->codecpar->bit_rate = 22050 * 16;
      audio_->time_base = {1, 22050};
    }
    if (avio_open(&fmt_->pb, path.c_str(), AVIO_FLAG_WRITE) < 0) fail("cannot write " + path);
    if (avformat_write_header(fmt_, nullptr) < 0) fail("cannot write the AVI header");
    frame_ = av_frame_alloc();
    frame_->format = AV_PIX_FMT_YUV420P;
    frame_->width = 480;
    frame_->height = 240;
    av_frame_get_buffer(frame_, 0);
    sws_ = sws_getContext(480, 240, AV_PIX_FMT_BGRA, 480, 240, AV_PIX_FMT_YUV420P,
                          SWS_BILINEAR | SWS_BITEXACT, nullptr, nullptr, nullptr);
    packet_ = av_packet_alloc();
  }
  ~AviWriter() {
    sws_freeContext(sws_);
    av_packet_free(&packet_);
    av_frame_free(&frame_);
    avcodec_free_context(&enc_);
    if (fmt_ && fmt_->pb) avio_closep(&fmt_->pb);
    avformat_free_context(fmt_);
  }

  // Adds one picture (Format_RGB32, 480 x 240).
  void add(const QImage& image) {
    av_frame_make_writable(frame_);
    const uint8_t* src[] = {image.constBits()};
    const int stride[] = {static_cast<int>(image.bytesPerLine())};
    sws_scale(sws_, src, stride, 0, 240, frame_->data, frame_->linesize);
    frame_->pts = pts_++;
    frame_->quality = enc_->global_quality;
    encode(frame_);
  }

  // Adds the whole sound track (written in one-second packets between the pictures).
  void addSound(const std::vector<short>& pcm) { pcm_ = pcm; }

  void finish() {
    encode(nullptr);
    flushSound(INT64_MAX);
    if (av_write_trailer(fmt_) < 0) fail("cannot finish the AVI file");
  }

 private:
  [[noreturn]] static void fail(const std::string& what) { throw std::runtime_error(what); }

  void encode(AVFrame* f) {
    if (avcodec_send_frame(enc_, f) < 0) fail("encoding failed");
    while (avcodec_receive_packet(enc_, packet_) == 0) {
      av_packet_rescale_ts(packet_, enc_->time_base, video_->time_base);
      packet_->stream_index = video_->index;
      const int64_t upTo = (packet_->pts + 1) * 22050 / kFps;
      if (av_interleaved_write_frame(fmt_, packet_) < 0) fail("cannot write a video packet");
      flushSound(upTo);
    }
  }

  void flushSound(int64_t upTo) {
    if (!audio_) return;
    while (written_ < static_cast<int64_t>(pcm_.size()) && written_ < upTo) {
      const int64_t n = std::min<int64_t>(2205, static_cast<int64_t>(pcm_.size()) - written_);
      AVPacket* p = av_packet_alloc();
      av_new_packet(p, static_cast<int>(n * 2));
      for (int64_t i = 0; i < n; ++i) {
        const auto v = static_cast<uint16_t>(pcm_[written_ + i]);
        p->data[2 * i] = static_cast<uint8_t>(v & 0xFF);
        p->data[2 * i + 1] = static_cast<uint8_t>(v >> 8);
      }
      p->pts = p->dts = written_;
      p->duration = n;
      p->stream_index = audio_->index;
      written_ += n;
      const int rc = av_interleaved_write_frame(fmt_, p);
      av_packet_free(&p);
      if (rc < 0) fail("cannot write a sound packet");
    }
  }

  AVFormatContext* fmt_ = nullptr;
  AVStream* video_ = nullptr;
  AVStream* audio_ = nullptr;
  AVCodecContext* enc_ = nullptr;
  AVFrame* frame_ = nullptr;
  AVPacket* packet_ = nullptr;
  SwsContext* sws_ = nullptr;
  int64_t pts_ = 0;
  std::vector<short> pcm_;
  int64_t written_ = 0;
};

void lineVideo(const Plan& plan, const Output& out) {
  const std::string name = "move\\sakura.avi";
  if (!out.wants(name)) return;
  const Scene scene(plan);
  AviWriter avi(out.path(name).string(), false);
  QImage img(480, 240, QImage::Format_RGB32);
  for (int f = 0; f < plan.frameCount(); ++f) {
    scene.render(f, img);
    avi.add(img);
  }
  avi.finish();
  ++out.written;
}

void openingVideo(const Plan& plan, const Output& out) {
  const std::string name = "move\\opening.avi";
  if (!out.wants(name)) return;
  // Eight seconds of the line around the bridge, the title fading in over them.
  const Scene scene(plan);
  AviWriter avi(out.path(name).string(), true);
  avi.addSound(openingTune());
  QImage img(480, 240, QImage::Format_RGB32);
  const int from = plan.frameAt(plan.bridge.fromM - 500);
  QFont title("Noto Sans CJK JP");
  title.setPixelSize(48);
  title.setBold(true);
  for (int f = 0; f < 8 * kFps; ++f) {
    scene.render(from + f, img);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    const double fade = std::clamp((f - 60) / 60.0, 0.0, 1.0);
    if (f < 20) p.fillRect(img.rect(), QColor(0, 0, 0, 255 - f * 12));
    if (fade > 0) {
      QPainterPath path;
      path.addText(QPointF(130, 110), title, "Dravolin");
      p.setOpacity(fade);
      p.setPen(QPen(QColor(20, 40, 70), 5));
      p.drawPath(path);
      p.fillPath(path, Qt::white);
      QFont sub = title;
      sub.setPixelSize(18);
      p.setFont(sub);
      p.setPen(Qt::white);
      p.drawText(QRect(0, 125, 480, 30), Qt::AlignCenter, "デモ路線 さくら線");
    }
    if (f > 8 * kFps - 20) {
      p.setOpacity(1);
      p.fillRect(img.rect(), QColor(0, 0, 0, (f - (8 * kFps - 20)) * 12));
    }
    p.end();
    avi.add(img);
  }
  avi.finish();
  ++out.written;
}

}  // namespace

void writeVideos(const Plan& plan, const Output& out) {
  if (out.fast()) return;
  openingVideo(plan, out);
  lineVideo(plan, out);
}

}  // namespace dravolin::demo
