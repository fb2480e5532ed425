#include "platform/ffmpeg_audio_reader.h"

#include "platform/ffmpeg_fields.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/avutil.h>
}

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>

namespace dravolin::platform {

namespace {

struct FormatCloser {
  void operator()(AVFormatContext* f) const { avformat_close_input(&f); }
};
struct CodecFreer {
  void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct PacketFreer {
  void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct FrameFreer {
  void operator()(AVFrame* f) const { av_frame_free(&f); }
};

// Sample s of channel ch of a decoded frame as a value in -1 .. 1; formats FFmpeg's audio
// decoders give: 8-bit unsigned, 16- and 32-bit signed, float and double, packed or planar.
double sampleAt(const AVFrame& f, AVSampleFormat fmt, int channels, int s, int ch) {
  const bool planar = av_sample_fmt_is_planar(fmt) != 0;
  const int bytes = av_get_bytes_per_sample(fmt);
  const std::uint8_t* base = planar ? f.extended_data[ch] : f.extended_data[0];
  const std::size_t index =
      planar ? static_cast<std::size_t>(s) : static_cast<std::size_t>(s) * channels + ch;
  const std::uint8_t* p = base + index * static_cast<std::size_t>(bytes);
  switch (av_get_packed_sample_fmt(fmt)) {
    case AV_SAMPLE_FMT_U8:
      return (static_cast<int>(*p) - 128) / 128.0;
    case AV_SAMPLE_FMT_S16: {
      std::int16_t v;
      std::memcpy(&v, p, sizeof v);
      return v / 32768.0;
    }
    case AV_SAMPLE_FMT_S32: {
      std::int32_t v;
      std::memcpy(&v, p, sizeof v);
      return v / 2147483648.0;
    }
    case AV_SAMPLE_FMT_FLT: {
      float v;
      std::memcpy(&v, p, sizeof v);
      return v;
    }
    case AV_SAMPLE_FMT_DBL: {
      double v;
      std::memcpy(&v, p, sizeof v);
      return v;
    }
    default:
      return 0;
  }
}

void append(Wave& w, const AVFrame& f, AVSampleFormat fmt, int channels) {
  const int out = w.channels;
  for (int s = 0; s < f.nb_samples; ++s) {
    if (static_cast<std::int64_t>(w.samples.size()) + 2 * out > kMaxDecodedAudioBytes) return;
    for (int ch = 0; ch < out; ++ch) {
      double v = sampleAt(f, fmt, channels, s, ch);
      if (!std::isfinite(v)) v = 0;
      const auto i = static_cast<std::int16_t>(std::lround(std::clamp(v, -1.0, 1.0) * 32767.0));
      w.samples.push_back(static_cast<std::byte>(static_cast<std::uint16_t>(i) & 0xFF));
      w.samples.push_back(static_cast<std::byte>(static_cast<std::uint16_t>(i) >> 8));
    }
  }
}

}  // namespace

std::optional<Wave> readAudioTrack(const std::string& path) {
  AVFormatContext* raw = nullptr;
  if (avformat_open_input(&raw, path.c_str(), nullptr, nullptr) < 0) return std::nullopt;
  std::unique_ptr<AVFormatContext, FormatCloser> format(raw);
  if (avformat_find_stream_info(format.get(), nullptr) < 0) return std::nullopt;
  const AVCodec* codec = nullptr;
  const int stream = av_find_best_stream(format.get(), AVMEDIA_TYPE_AUDIO, -1, -1, &codec, 0);
  if (stream < 0 || codec == nullptr) return std::nullopt;
  std::unique_ptr<AVCodecContext, CodecFreer> decoder(avcodec_alloc_context3(codec));
  if (!decoder ||
      avcodec_parameters_to_context(decoder.get(), format->streams[stream]->codecpar) < 0 ||
      avcodec_open2(decoder.get(), codec, nullptr) < 0) {
    return std::nullopt;
  }
  const int channels = decoder->ch_layout.nb_channels;
  if (channels < 1 || decoder->sample_rate < 1) return std::nullopt;
  Wave wave;
  wave.type = SampleType::Signed16;
  wave.channels = std::min(channels, 2);
  wave.rateHz = decoder->sample_rate;

  std::unique_ptr<AVPacket, PacketFreer> packet(av_packet_alloc());
  std::unique_ptr<AVFrame, FrameFreer> frame(av_frame_alloc());
  if (!packet || !frame) return std::nullopt;
  const auto drain = [&] {
    while (avcodec_receive_frame(decoder.get(), frame.get()) == 0) {
      const AVSampleFormat fmt = soundSampleFormat(*frame);
      if (fmt != AV_SAMPLE_FMT_NONE && frame->ch_layout.nb_channels == channels) {
        append(wave, *frame, fmt, channels);
      }
      av_frame_unref(frame.get());
    }
  };
  while (av_read_frame(format.get(), packet.get()) >= 0) {
    if (packet->stream_index == stream && avcodec_send_packet(decoder.get(), packet.get()) >= 0) {
      drain();
    }
    av_packet_unref(packet.get());
    if (static_cast<std::int64_t>(wave.samples.size()) + 4 > kMaxDecodedAudioBytes) break;
  }
  avcodec_send_packet(decoder.get(), nullptr);
  drain();
  if (wave.samples.empty()) return std::nullopt;
  return wave;
}

}  // namespace dravolin::platform
