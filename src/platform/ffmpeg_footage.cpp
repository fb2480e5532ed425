#include "platform/ffmpeg_footage.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/parseutils.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <utility>

#include "platform/ffmpeg_fields.h"
#include "platform/ffmpeg_mp4_writer.h"

namespace dravolin::platform {

namespace {

constexpr int kMotionWidth = 160;  // the grey picture motion is measured on
constexpr int kBlockColumns = 8;
constexpr int kBlockRows = 4;

void quietLog() {
  static const bool once = [] {
    const char* wanted = std::getenv("DRAVOLIN_FFMPEG_LOG");
    av_log_set_level(wanted != nullptr && *wanted != '\0' ? AV_LOG_INFO : AV_LOG_QUIET);
    return true;
  }();
  (void)once;
}

// One open file with its video stream's decoder; frames come out in display order.
class Input {
 public:
  Input(const std::string& path, bool decode) : path_(path) {
    quietLog();
    if (avformat_open_input(&fmt_, path.c_str(), nullptr, nullptr) < 0) {
      fail("動画ファイルを読み込めません");
    }
    if (avformat_find_stream_info(fmt_, nullptr) < 0) fail("動画ファイルを読み込めません");
    for (unsigned i = 0; i < fmt_->nb_streams; ++i) {
      if (isVideoStream(*fmt_->streams[i]->codecpar) &&
          !(fmt_->streams[i]->disposition & AV_DISPOSITION_ATTACHED_PIC)) {
        video_ = static_cast<int>(i);
        break;
      }
    }
    if (video_ < 0) fail("映像の流れがありません");
    AVStream* st = fmt_->streams[video_];
    if (st->codecpar->width > kMaxFootageSide || st->codecpar->height > kMaxFootageSide) {
      fail("動画の画面が大きすぎます");
    }
    timeBase_ = av_q2d(st->time_base);
    start_ = st->start_time != AV_NOPTS_VALUE ? st->start_time : 0;
    const AVRational rate = st->avg_frame_rate.num > 0 ? st->avg_frame_rate : st->r_frame_rate;
    fps_ = rate.num > 0 && rate.den > 0 ? av_q2d(rate) : 30.0;
    if (!decode) return;
    const AVCodec* codec = avcodec_find_decoder(streamCodec(*st->codecpar));
    dec_ = codec != nullptr ? avcodec_alloc_context3(codec) : nullptr;
    if (dec_ == nullptr || avcodec_parameters_to_context(dec_, st->codecpar) < 0) {
      fail("映像を復号できません");
    }
    dec_->max_pixels = static_cast<std::int64_t>(kMaxFootageSide) * kMaxFootageSide;
    dec_->thread_count = 0;
    if (avcodec_open2(dec_, codec, nullptr) < 0) fail("映像を復号できません");
    packet_ = av_packet_alloc();
    frame_ = av_frame_alloc();
    if (!packet_ || !frame_) fail("メモリが足りません");
    for (unsigned i = 0; i < fmt_->nb_streams; ++i) {
      if (static_cast<int>(i) != video_) fmt_->streams[i]->discard = AVDISCARD_ALL;
    }
  }
  ~Input() {
    av_frame_free(&frame_);
    av_packet_free(&packet_);
    avcodec_free_context(&dec_);
    avformat_close_input(&fmt_);
  }
  Input(const Input&) = delete;
  Input& operator=(const Input&) = delete;

  [[noreturn]] void fail(const std::string& why) const { throw FootageError(path_ + ": " + why); }

  AVFormatContext* format() const { return fmt_; }
  AVStream* stream() const { return fmt_->streams[video_]; }
  double fps() const { return fps_; }
  double startS() const { return static_cast<double>(start_) * timeBase_; }
  double durationS() const {
    const AVStream* st = stream();
    if (st->duration > 0 && st->duration != AV_NOPTS_VALUE) return st->duration * timeBase_;
    if (fmt_->duration > 0) return static_cast<double>(fmt_->duration) / AV_TIME_BASE;
    return 0;
  }

  // The next decoded frame (valid until the next call), or nullptr at the end.
  const AVFrame* next() {
    for (;;) {
      const int got = avcodec_receive_frame(dec_, frame_);
      if (got == 0) {
        const std::int64_t ts = frame_->best_effort_timestamp;
        time_ = ts != AV_NOPTS_VALUE ? static_cast<double>(ts - start_) * timeBase_
                                     : time_ + 1.0 / fps_;
        return frame_;
      }
      // At the end, or a decoder that fails while giving out what it holds: no more frames. A
      // picture it gave up on before the end is skipped: the next packets follow.
      if (got == AVERROR_EOF || draining_) return nullptr;
      const int rc = av_read_frame(fmt_, packet_);
      if (rc < 0) {
        draining_ = true;
        avcodec_send_packet(dec_, nullptr);
        continue;
      }
      if (packet_->stream_index == video_) avcodec_send_packet(dec_, packet_);
      av_packet_unref(packet_);
    }
  }
  double time() const { return time_; }

  // Positions the reading just before `timeS` (the key frame at or before it).
  void seek(double timeS) {
    const auto ts = start_ + static_cast<std::int64_t>(std::floor(timeS / timeBase_));
    av_seek_frame(fmt_, video_, ts, AVSEEK_FLAG_BACKWARD);
    avcodec_flush_buffers(dec_);
    draining_ = false;
  }

 private:
  std::string path_;
  AVFormatContext* fmt_ = nullptr;
  AVCodecContext* dec_ = nullptr;
  AVPacket* packet_ = nullptr;
  AVFrame* frame_ = nullptr;
  int video_ = -1;
  double timeBase_ = 0;
  std::int64_t start_ = 0;
  double fps_ = 30;
  double time_ = 0;
  bool draining_ = false;
};

// Converts decoded pictures to one pixel format and size.
class Scaler {
 public:
  ~Scaler() { sws_freeContext(sws_); }
  // False for a picture whose pixel format is not known.
  bool run(const AVFrame& f, AVPixelFormat to, int w, int h, std::uint8_t* out, int stride,
           int flags) {
    const PictureColours c = pictureColours(f);
    if (c.pixelFormat == AV_PIX_FMT_NONE || f.width <= 0 || f.height <= 0) return false;
    sws_ = sws_getCachedContext(sws_, f.width, f.height, c.pixelFormat, w, h, to, flags, nullptr,
                                nullptr, nullptr);
    if (sws_ == nullptr) return false;
    sws_setColorspaceDetails(sws_, sws_getCoefficients(c.bt709 ? SWS_CS_ITU709 : SWS_CS_ITU601),
                             c.fullRange ? 1 : 0, sws_getCoefficients(SWS_CS_ITU709), 1, 0, 1 << 16,
                             1 << 16);
    std::uint8_t* planes[4] = {out};
    const int strides[4] = {stride};
    sws_scale(sws_, f.data, f.linesize, 0, f.height, planes, strides);
    return true;
  }

 private:
  SwsContext* sws_ = nullptr;
};

double parseCreationTime(const AVDictionary* metadata) {
  const AVDictionaryEntry* e = av_dict_get(metadata, "creation_time", nullptr, 0);
  std::int64_t us = 0;
  if (e == nullptr || e->value == nullptr || av_parse_time(&us, e->value, 0) < 0) return NAN;
  return static_cast<double>(us) / 1e6;
}

}  // namespace

float blockMotion(const std::uint8_t* previous, const std::uint8_t* current, int width, int height,
                  int stride) {
  std::vector<float> blocks;
  const int top = height / 2;
  for (int by = 0; by < kBlockRows; ++by) {
    for (int bx = 0; bx < kBlockColumns; ++bx) {
      const int x0 = width * bx / kBlockColumns, x1 = width * (bx + 1) / kBlockColumns;
      const int y0 = top + (height - top) * by / kBlockRows;
      const int y1 = top + (height - top) * (by + 1) / kBlockRows;
      long sum = 0;
      for (int y = y0; y < y1; ++y) {
        for (int x = x0; x < x1; ++x) {
          const std::size_t i = static_cast<std::size_t>(y) * static_cast<std::size_t>(stride) +
                                static_cast<std::size_t>(x);
          sum += std::abs(static_cast<int>(current[i]) - static_cast<int>(previous[i]));
        }
      }
      const int count = (x1 - x0) * (y1 - y0);
      if (count > 0) blocks.push_back(static_cast<float>(sum) / static_cast<float>(count));
    }
  }
  if (blocks.empty()) return 0;
  const auto k = static_cast<std::ptrdiff_t>(blocks.size() * 4 / 5);
  std::nth_element(blocks.begin(), blocks.begin() + k, blocks.end());
  return blocks[static_cast<std::size_t>(k)];
}

FootageInfo FfmpegFootage::probe(const std::string& path) {
  Input in(path, false);
  FootageInfo info;
  const AVStream* st = in.stream();
  info.width = st->codecpar->width;
  info.height = st->codecpar->height;
  info.frameRate = in.fps();
  info.durationS = in.durationS();
  info.frameCount = st->nb_frames;
  double created = parseCreationTime(in.format()->metadata);
  if (std::isnan(created)) created = parseCreationTime(st->metadata);
  if (!std::isnan(created) && created > 0) info.creationTimeS = created;
  for (unsigned i = 0; i < in.format()->nb_streams; ++i) {
    const AVCodecParameters* p = in.format()->streams[i]->codecpar;
    if (p->codec_tag == MKTAG('g', 'p', 'm', 'd')) info.hasTelemetry = true;
  }
  if (const AVCodecDescriptor* d = avcodec_descriptor_get(streamCodec(*st->codecpar))) {
    info.videoCodec = d->name;
  }
  return info;
}

std::vector<TelemetryPacket> FfmpegFootage::telemetry(const std::string& path) {
  Input in(path, false);
  AVFormatContext* fmt = in.format();
  int index = -1;
  for (unsigned i = 0; i < fmt->nb_streams; ++i) {
    if (fmt->streams[i]->codecpar->codec_tag == MKTAG('g', 'p', 'm', 'd') && index < 0) {
      index = static_cast<int>(i);
    } else {
      fmt->streams[i]->discard = AVDISCARD_ALL;
    }
  }
  std::vector<TelemetryPacket> out;
  if (index < 0) return out;
  const double tb = av_q2d(fmt->streams[index]->time_base);
  AVPacket* p = av_packet_alloc();
  if (p == nullptr) in.fail("メモリが足りません");
  while (av_read_frame(fmt, p) >= 0) {
    if (p->stream_index == index && p->size > 0) {
      TelemetryPacket t;
      t.bytes.assign(p->data, p->data + p->size);
      const std::int64_t ts = p->pts != AV_NOPTS_VALUE ? p->pts : p->dts;
      t.timeS = static_cast<double>(ts) * tb - in.startS();
      t.durationS = static_cast<double>(p->duration) * tb;
      t.fileOffset = p->pos;
      out.push_back(std::move(t));
    }
    av_packet_unref(p);
  }
  av_packet_free(&p);
  return out;
}

namespace {

// The size of the grey pictures motion is measured on: kMotionWidth wide (or the video's width
// when narrower), the video's aspect ratio kept.
std::pair<int, int> motionSize(const AVStream& st) {
  const int w = std::max(8, std::min(kMotionWidth, st.codecpar->width));
  const int h =
      std::max(4, static_cast<int>(std::lround(static_cast<double>(w) * st.codecpar->height /
                                               std::max(1, st.codecpar->width))));
  return {w, h};
}

}  // namespace

std::vector<FrameMotion> FfmpegFootage::motion(const std::string& path,
                                               const FootageProgress& progress) {
  Input in(path, true);
  const auto [w, h] = motionSize(*in.stream());
  const double duration = std::max(1e-3, in.durationS());
  std::vector<std::uint8_t> previous(static_cast<std::size_t>(w) * static_cast<std::size_t>(h));
  std::vector<std::uint8_t> current(previous.size());
  Scaler scaler;
  std::vector<FrameMotion> out;
  while (const AVFrame* f = in.next()) {
    if (!scaler.run(*f, AV_PIX_FMT_GRAY8, w, h, current.data(), w, SWS_AREA)) continue;
    const float m = out.empty() ? 0.0f : blockMotion(previous.data(), current.data(), w, h, w);
    out.push_back({in.time(), m});
    std::swap(previous, current);
    if (out.size() % 15 == 0 && progress && !progress(std::clamp(in.time() / duration, 0.0, 1.0))) {
      throw FootageCancelled();
    }
  }
  if (progress && !progress(1.0)) throw FootageCancelled();
  return out;
}

std::vector<FrameDifference> FfmpegFootage::differences(const std::string& path, double fromS,
                                                        double toS, double referenceS) {
  Input in(path, true);
  const auto [w, h] = motionSize(*in.stream());
  const std::size_t size = static_cast<std::size_t>(w) * static_cast<std::size_t>(h);
  in.seek(std::max(0.0, fromS - 1.0));
  std::vector<std::pair<double, std::vector<std::uint8_t>>> frames;
  std::vector<std::uint8_t> reference;
  double bestGap = 1e300;
  Scaler scaler;
  while (const AVFrame* f = in.next()) {
    const double t = in.time();
    if (t > toS + 1e-6) break;
    if (t < fromS - 1e-6) continue;
    std::vector<std::uint8_t> grey(size);
    if (!scaler.run(*f, AV_PIX_FMT_GRAY8, w, h, grey.data(), w, SWS_AREA)) continue;
    if (std::abs(t - referenceS) < bestGap) {
      bestGap = std::abs(t - referenceS);
      reference = grey;
    }
    frames.emplace_back(t, std::move(grey));
  }
  std::vector<FrameDifference> out;
  if (reference.empty()) return out;
  for (const auto& [t, grey] : frames) {
    out.push_back({t, blockMotion(reference.data(), grey.data(), w, h, w)});
  }
  return out;
}

Bitmap FfmpegFootage::frameAt(const std::string& path, double timeS, int width, int height) {
  Input in(path, true);
  const double half = 0.5 / in.fps();
  in.seek(std::max(0.0, timeS - 1.0));
  // The last frame shown at or before the time (the first one, when the time is before it).
  AVFrame* shown = av_frame_alloc();
  if (shown == nullptr) in.fail("メモリが足りません");
  bool have = false;
  while (const AVFrame* f = in.next()) {
    if (have && in.time() > timeS + half) break;
    av_frame_unref(shown);
    have = av_frame_ref(shown, f) == 0;
  }
  Bitmap b;
  b.width = width;
  b.height = height;
  b.pixels.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), 0xFF000000);
  Scaler scaler;
  const bool ok =
      have && scaler.run(*shown, AV_PIX_FMT_BGRA, width, height,
                         reinterpret_cast<std::uint8_t*>(b.pixels.data()), width * 4, SWS_BICUBIC);
  av_frame_free(&shown);
  if (!ok) in.fail("フレームを取り出せません");
  for (std::uint32_t& p : b.pixels) p |= 0xFF000000;
  return b;
}

void FfmpegFootage::writeLineVideo(const std::string& path, const std::string& out, int fps,
                                   const FootageProgress& progress) {
  Input in(path, true);
  const AVStream* st = in.stream();
  FfmpegMp4Writer::Options o;
  o.width = st->codecpar->width / 2 * 2;
  o.height = st->codecpar->height / 2 * 2;
  o.fpsNumerator = fps;
  const double duration = std::max(1e-3, in.durationS());
  FfmpegMp4Writer writer(out, o);
  AVFrame* current = av_frame_alloc();
  if (current == nullptr) in.fail("メモリが足りません");
  std::int64_t k = 0;
  double lastTime = 0;
  bool any = false;
  try {
    // Output frame k shows the input frame on screen at k / fps.
    while (const AVFrame* f = in.next()) {
      const double t = in.time();
      if (any) {
        for (; static_cast<double>(k) / fps < t - 1e-9; ++k) writer.addDecodedFrame(*current);
      }
      av_frame_unref(current);
      if (av_frame_ref(current, f) < 0) in.fail("メモリが足りません");
      any = true;
      lastTime = t;
      if (progress && !progress(std::clamp(t / duration, 0.0, 1.0))) throw FootageCancelled();
    }
    if (any) {
      const double end = lastTime + 1.0 / in.fps();
      for (; static_cast<double>(k) / fps < end - 1e-9; ++k) writer.addDecodedFrame(*current);
    }
    writer.finish();
  } catch (...) {
    av_frame_free(&current);
    throw;
  }
  av_frame_free(&current);
  if (progress) progress(1.0);
}

}  // namespace dravolin::platform
