// The line video's file and frame table: opening the container, the first video stream, the
// decoder, and the frames the stream holds, from an AVI's index when it names every chunk, or
// by reading every packet once. The AVI checks read chunk headers only (8 or 12 bytes each).
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <thread>

#include "platform/ffmpeg_fields.h"
#include "platform/ffmpeg_video_stream.h"
#include "platform/message_ids.h"

namespace dravolin::platform {

// ---------------------------------------------------------------------------------------------
// AVI helpers
// ---------------------------------------------------------------------------------------------

IndexlessAvi::IndexlessAvi(const std::string& path)
    : fd_(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {
  if (fd_ < 0) return;
  size_ = ::lseek(fd_, 0, SEEK_END);
  // The top-level chunks after "RIFF" size "AVI ".
  std::int64_t at = 12;
  for (int steps = 0; steps < 1000 && at + 8 <= size_; ++steps) {
    std::uint8_t h[8];
    if (::pread(fd_, h, 8, static_cast<off_t>(at)) != 8) break;
    if (std::memcmp(h, "idx1", 4) == 0) {
      idx1_ = at;
      break;
    }
    const std::int64_t length =
        h[4] | (h[5] << 8) | (h[6] << 16) | (static_cast<std::int64_t>(h[7]) << 24);
    at += 8 + length + (length & 1);
  }
}

IndexlessAvi::~IndexlessAvi() {
  if (fd_ >= 0) ::close(fd_);
}

int IndexlessAvi::read(void* opaque, std::uint8_t* buffer, int size) {
  auto* self = static_cast<IndexlessAvi*>(opaque);
  const ssize_t got =
      ::pread(self->fd_, buffer, static_cast<std::size_t>(size), static_cast<off_t>(self->pos_));
  if (got <= 0) return AVERROR_EOF;
  if (self->idx1_ >= 0) {
    for (std::int64_t k = 0; k < 4; ++k) {
      const std::int64_t at = self->idx1_ + k - self->pos_;
      if (at >= 0 && at < got) buffer[at] = static_cast<std::uint8_t>("JUNK"[k]);
    }
  }
  self->pos_ += got;
  return static_cast<int>(got);
}

std::int64_t IndexlessAvi::seek(void* opaque, std::int64_t offset, int whence) {
  auto* self = static_cast<IndexlessAvi*>(opaque);
  if ((whence & AVSEEK_SIZE) != 0) return self->size_;
  switch (whence & ~AVSEEK_FORCE) {
    case SEEK_SET:
      self->pos_ = offset;
      break;
    case SEEK_CUR:
      self->pos_ += offset;
      break;
    case SEEK_END:
      self->pos_ = self->size_ + offset;
      break;
    default:
      return -1;
  }
  return self->pos_;
}

bool aviMovieDataWhole(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  const std::int64_t size = ::lseek(fd, 0, SEEK_END);
  const auto read12 = [fd](std::int64_t at, std::uint8_t(&h)[12]) {
    return ::pread(fd, h, sizeof h, static_cast<off_t>(at)) == static_cast<ssize_t>(sizeof h);
  };
  const auto size32 = [](const std::uint8_t* b) {
    return static_cast<std::int64_t>(b[0] | (b[1] << 8) | (b[2] << 16) |
                                     (static_cast<std::uint32_t>(b[3]) << 24));
  };
  bool whole = true;
  std::int64_t part = 0;
  std::uint8_t h[12];
  for (int parts = 0; whole && parts < 1000 && read12(part, h) && std::memcmp(h, "RIFF", 4) == 0;
       ++parts) {
    const std::int64_t partEnd = part + 8 + size32(h + 4);
    std::int64_t at = part + 12;
    for (int steps = 0; steps < 1000 && at < std::min(partEnd, size) && read12(at, h); ++steps) {
      const std::int64_t length = size32(h + 4);
      if (std::memcmp(h, "LIST", 4) == 0 && std::memcmp(h + 8, "movi", 4) == 0 &&
          at + 8 + length > size) {
        whole = false;
        break;
      }
      at += 8 + length + (length & 1);
    }
    part = partEnd + (partEnd & 1);
  }
  ::close(fd);
  return whole;
}

// ---------------------------------------------------------------------------------------------
// Opening and the frame table
// ---------------------------------------------------------------------------------------------

bool FfmpegVideoStream::openFile(const std::string& file, bool ignoreIndex) {
  path = file;
  AVFormatContext* raw = avformat_alloc_context();
  if (raw == nullptr) return false;
  if (ignoreIndex) {
    indexless = std::make_unique<IndexlessAvi>(path);
    constexpr int kBufferBytes = 64 * 1024;
    auto* buffer = static_cast<std::uint8_t*>(av_malloc(kBufferBytes));
    if (buffer != nullptr) {
      io.reset(avio_alloc_context(buffer, kBufferBytes, 0, indexless.get(), &IndexlessAvi::read,
                                  nullptr, &IndexlessAvi::seek));
      if (!io) av_free(buffer);
    }
    if (!indexless->ok() || !io) {
      avformat_free_context(raw);
      return false;
    }
    raw->pb = io.get();
  }
  if (avformat_open_input(&raw, path.c_str(), nullptr, nullptr) < 0) return false;
  format.reset(raw);
  if (avformat_find_stream_info(format.get(), nullptr) < 0) return false;
  for (unsigned i = 0; i < format->nb_streams; ++i) {
    AVStream* s = format->streams[i];
    const bool video =
        isVideoStream(*s->codecpar) && (s->disposition & AV_DISPOSITION_ATTACHED_PIC) == 0;
    if (video && stream == nullptr) {
      stream = s;
    } else {
      s->discard = AVDISCARD_ALL;  // the demultiplexer skips their data
    }
  }
  if (stream == nullptr) return false;
  if (stream->codecpar->width > kMaxVideoSide || stream->codecpar->height > kMaxVideoSide) {
    error = msg::videoTooLarge(kMaxVideoFrameSide).text();
    return false;
  }
  isAvi = std::strcmp(format->iformat->name, "avi") == 0;
  if (isAvi) aviDataWhole = aviMovieDataWhole(path);
  const AVCodecDescriptor* descriptor = avcodec_descriptor_get(streamCodec(*stream->codecpar));
  intraOnly = descriptor != nullptr && (descriptor->props & AV_CODEC_PROP_INTRA_ONLY) != 0;
  AVRational r = stream->r_frame_rate;
  if (r.num <= 0 || r.den <= 0) r = stream->avg_frame_rate;
  if (r.num <= 0 || r.den <= 0) r = av_inv_q(stream->time_base);
  rate = r.num > 0 && r.den > 0 ? av_q2d(r) : 0;
  return true;
}

bool FfmpegVideoStream::openDecoder() {
  const AVCodecID codecId = streamCodec(*stream->codecpar);
  if (codecId == AV_CODEC_ID_NONE) return false;
  const AVCodec* decoder = avcodec_find_decoder(codecId);
  if (decoder == nullptr) return false;
  codec.reset(avcodec_alloc_context3(decoder));
  if (!codec || avcodec_parameters_to_context(codec.get(), stream->codecpar) < 0) return false;
  codec->pkt_timebase = stream->time_base;
  // A picture whose own header states a larger size is refused by the decoder before it
  // allocates anything for it.
  codec->max_pixels = static_cast<std::int64_t>(kMaxVideoSide) * kMaxVideoSide;
  // Decoding threads by the picture's size: one up to 1920 x 1088, which one core decodes several
  // times faster than 30 frames a second, then one more per such picture's worth of pixels (4 for
  // 3840 x 2160), at most one per core. Each frame thread adds work of its own (FFmpeg's choice of
  // cores + 1 costs a quarter more processor time for the same 1080p pictures on a 2-core machine)
  // and pictures in flight; the drive needs 30 pictures a second, and a jump is decoded off the
  // window's thread.
  constexpr std::int64_t kPixelsPerThread = 1920 * 1088;
  const std::int64_t pixels =
      static_cast<std::int64_t>(stream->codecpar->width) * stream->codecpar->height;
  const auto cores = static_cast<std::int64_t>(std::max(1u, std::thread::hardware_concurrency()));
  codec->thread_count = static_cast<int>(std::clamp<std::int64_t>(
      (pixels + kPixelsPerThread - 1) / kPixelsPerThread, 1, std::min<std::int64_t>(cores, 4)));
  codec->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
  return avcodec_open2(codec.get(), decoder, nullptr) >= 0;
}

// The index of an AVI must name, in file order, every chunk of this stream and nothing else: an
// index with garbage offsets over intact chunks would otherwise make a jump, and every frame read
// after it, land on another frame than the one it names; an index that stops early (the
// demultiplexer's own, made from the chunks it read while probing a file without an index) would
// leave the frames after it out. The check walks the chunk headers from each entry to the next,
// and from the last one to the end of the file (8 bytes read a chunk, the frame data is skipped).
bool FfmpegVideoStream::indexMatchesChunks() {
  const int entries = avformat_index_get_entries_count(stream);
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  const unsigned number = static_cast<unsigned>(stream->index);
  const auto header = [fd](std::int64_t at, std::uint8_t(&h)[12]) {
    return ::pread(fd, h, sizeof h, static_cast<off_t>(at)) >= 8;
  };
  const auto size32 = [](const std::uint8_t* b) {
    return static_cast<std::int64_t>(b[0] | (b[1] << 8) | (b[2] << 16) |
                                     (static_cast<std::uint32_t>(b[3]) << 24));
  };
  const auto ours = [number](const std::uint8_t(&h)[12]) {
    return h[0] == '0' + number / 10 % 10 && h[1] == '0' + number % 10 &&
           (h[2] == 'd' || h[2] == 'i');
  };
  // The next chunk of this stream from `at` on: other streams' chunks, "JUNK" and the index are
  // skipped, "LIST" ("movi", "rec ") and "RIFF" ("AVIX", the later parts of a large file) are
  // entered. kEnd when the file ends first, kLost when the walk goes on without end.
  constexpr std::int64_t kEnd = -1;
  constexpr std::int64_t kLost = -2;
  const auto nextOfStream = [&](std::int64_t at) {
    std::uint8_t h[12];
    for (int steps = 0; steps <= 1'000'000; ++steps) {
      if (!header(at, h)) return kEnd;
      if (std::memcmp(h, "LIST", 4) == 0 || std::memcmp(h, "RIFF", 4) == 0) {
        at += 12;
      } else if (ours(h)) {
        return at;
      } else {
        at += 8 + size32(h + 4) + (size32(h + 4) & 1);
      }
    }
    return kLost;
  };
  bool ok = true;
  std::int64_t expected = -1;  // where the walk says the next chunk of the stream is
  for (int i = 0; i < entries && ok; ++i) {
    const AVIndexEntry* e = avformat_index_get_entry(stream, i);
    std::uint8_t h[12];
    ok = e != nullptr && header(e->pos, h) && ours(h) && size32(h + 4) == e->size &&
         (expected < 0 || e->pos == expected);
    if (!ok) break;
    expected = nextOfStream(e->pos + 8 + size32(h + 4) + (size32(h + 4) & 1));
    // Between entries the walk must find the next one; after the last, no chunk may follow.
    ok = i + 1 < entries ? expected >= 0 : expected == kEnd;
  }
  ::close(fd);
  return ok;
}

// An AVI's own index, when it covers at least the frames the header claims and stays inside
// the file. False when the table must be built by reading the file.
bool FfmpegVideoStream::tableFromIndex() {
  if (!isAvi) return false;
  const int entries = avformat_index_get_entries_count(stream);
  if (entries <= 0) return false;
  const std::int64_t fileSize = avio_size(format->pb);
  std::int64_t previous = -1;
  for (int i = 0; i < entries; ++i) {
    const AVIndexEntry* e = avformat_index_get_entry(stream, i);
    if (e == nullptr || e->timestamp <= previous || e->timestamp < 0) return false;
    if (fileSize > 0 && e->pos + 8 + e->size > fileSize) return false;  // 8: chunk header
    previous = e->timestamp;
    if (intraOnly || (e->flags & AVINDEX_KEYFRAME) != 0)
      keys.push_back({e->timestamp, e->timestamp});
  }
  const std::int64_t slots = previous + 1;
  if (stream->nb_frames > slots) return false;  // the index was cut short
  if (!indexMatchesChunks()) {
    keys.clear();
    indexDisagrees = true;
    return false;
  }
  if (keys.empty() || keys.front().slot != avformat_index_get_entry(stream, 0)->timestamp) {
    const std::int64_t first = avformat_index_get_entry(stream, 0)->timestamp;
    keys.insert(keys.begin(), KeyFrame{first, first});
  }
  frames = slots;
  return true;
}

// Reads every packet of the file once: the slots that hold a complete packet, and the key frames.
bool FfmpegVideoStream::tableByReading() {
  keys.clear();
  packetDts.clear();
  std::int64_t lastComplete = -1;
  std::int64_t lastSlot = -1;
  bool timestampsUsable = true;
  AVPacket* p = packet.get();
  while (av_read_frame(format.get(), p) >= 0) {
    if (p->stream_index == stream->index) {
      std::int64_t slot = lastSlot + 1;
      if (isAvi) {
        if (p->dts != AV_NOPTS_VALUE && p->dts > lastSlot) slot = p->dts;
      } else {
        if (p->dts == AV_NOPTS_VALUE || (!packetDts.empty() && p->dts <= packetDts.back())) {
          timestampsUsable = false;
        }
        packetDts.push_back(p->dts);
      }
      lastSlot = slot;
      const bool complete = (p->flags & AV_PKT_FLAG_CORRUPT) == 0 && p->size > 0;
      if (!complete) cutPackets.push_back(p->pos);
      if (complete) {
        lastComplete = std::max(lastComplete, slot);
        const bool key = intraOnly || (p->flags & AV_PKT_FLAG_KEY) != 0;
        if (key && (keys.empty() || slot > keys.back().slot)) {
          keys.push_back({slot, p->dts == AV_NOPTS_VALUE ? slot : p->dts});
          if (isAvi && p->pos >= 8) {
            // The AVI demultiplexer seeks to a chunk's header, 8 bytes before its data.
            av_add_index_entry(stream, p->pos - 8, p->dts, p->size, 0, AVINDEX_KEYFRAME);
          }
        }
      }
    }
    av_packet_unref(p);
  }
  if (!timestampsUsable) {
    // Without usable time stamps only the start of the file can be found again: every jump
    // decodes from there, counting packets.
    packetDts.clear();
    if (keys.size() > 1) keys.resize(1);
  }
  frames = lastComplete + 1;
  while (!keys.empty() && keys.back().slot >= frames) keys.pop_back();
  return frames > 0 && !keys.empty();
}

}  // namespace dravolin::platform
