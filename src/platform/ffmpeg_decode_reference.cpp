#include "platform/ffmpeg_decode_reference.h"

#include "platform/ffmpeg_fields.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include <chrono>
#include <cstdint>
#include <ctime>
#include <memory>
#include <thread>

namespace dravolin::platform {

namespace {

double threadCpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

struct Closer {
  void operator()(AVFormatContext* f) const { avformat_close_input(&f); }
  void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
  void operator()(AVPacket* p) const { av_packet_free(&p); }
  void operator()(AVFrame* f) const { av_frame_free(&f); }
};

}  // namespace

DecodeReference decodeSingleThreaded(const std::string& path, int first, int last,
                                     const DecodePace& pace) {
  DecodeReference result;
  AVFormatContext* raw = nullptr;
  if (avformat_open_input(&raw, path.c_str(), nullptr, nullptr) < 0) return result;
  const std::unique_ptr<AVFormatContext, Closer> format(raw);
  if (avformat_find_stream_info(format.get(), nullptr) < 0) return result;
  const int index = av_find_best_stream(format.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
  if (index < 0) return result;
  AVStream* stream = format->streams[index];
  const AVCodec* decoder = avcodec_find_decoder(streamCodec(*stream->codecpar));
  if (decoder == nullptr) return result;
  const std::unique_ptr<AVCodecContext, Closer> codec(avcodec_alloc_context3(decoder));
  if (!codec || avcodec_parameters_to_context(codec.get(), stream->codecpar) < 0) return result;
  codec->thread_count = 1;
  if (avcodec_open2(codec.get(), decoder, nullptr) < 0) return result;
  const std::unique_ptr<AVPacket, Closer> packet(av_packet_alloc());
  const std::unique_ptr<AVFrame, Closer> frame(av_frame_alloc());
  if (!packet || !frame) return result;

  // Frame n at the file's frame rate, as a time stamp of the stream.
  AVRational rate = stream->avg_frame_rate;
  if (rate.num <= 0 || rate.den <= 0) rate = stream->r_frame_rate;
  if (rate.num <= 0 || rate.den <= 0) rate = {30, 1};
  const std::int64_t start = stream->start_time == AV_NOPTS_VALUE ? 0 : stream->start_time;
  const auto stamp = [&](int n) {
    return start + av_rescale_q(n, av_inv_q(rate), stream->time_base);
  };
  for (unsigned i = 0; i < format->nb_streams; ++i) {
    if (static_cast<int>(i) != index) format->streams[i]->discard = AVDISCARD_ALL;
  }
  if (first > 0) av_seek_frame(format.get(), index, stamp(first), AVSEEK_FLAG_BACKWARD);

  const std::int64_t end = stamp(last);
  const double cpuStart = threadCpuSeconds();
  const auto wallStart = std::chrono::steady_clock::now();
  bool done = false;
  const auto receive = [&] {
    while (!done && avcodec_receive_frame(codec.get(), frame.get()) >= 0) {
      ++result.frames;
      const std::int64_t t = frame->best_effort_timestamp;
      if (t != AV_NOPTS_VALUE && t >= end) done = true;
      av_frame_unref(frame.get());
      if (pace.stop != nullptr && pace.stop->load()) done = true;
      if (!done && pace.framesPerSecond > 0) {
        std::this_thread::sleep_until(
            wallStart + std::chrono::duration<double>(result.frames / pace.framesPerSecond));
      }
    }
  };
  while (!done && av_read_frame(format.get(), packet.get()) >= 0) {
    if (packet->stream_index == index) {
      avcodec_send_packet(codec.get(), packet.get());
      receive();
    }
    av_packet_unref(packet.get());
  }
  if (!done) {
    avcodec_send_packet(codec.get(), nullptr);
    receive();
  }
  result.cpuSeconds = threadCpuSeconds() - cpuStart;
  result.ok = result.frames > 0;
  return result;
}

}  // namespace dravolin::platform
