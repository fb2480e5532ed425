// The line video reader on FFmpeg.
//
// Sections:
//   1. Ownership of the FFmpeg objects
//   2. The open video: frame table, decoder position, last delivered picture
// (Conversion of the pictures to bitmaps is in ffmpeg_frame_converter.cpp.)
//   3. Frame table: from the container's index, or by reading every packet
//   4. Decoding: packets in, numbered pictures out
//   5. Finding the picture of frame n: repeat, forward, jump
//   6. Opening: the decoder's delay and the decodable end of the stream
//   7. The reader's operations
//
// Frame numbers. Every video packet occupies one slot of the stream: in an AVI the slot is the
// chunk's place in the stream, empty chunks included (an empty chunk repeats the picture before
// it); in other containers it is the packet's rank in decode order. The decoder stamps each
// picture it hands out with the slot of the packet it was given when the picture came out
// (AVFrame::pkt_dts, set from our own slot numbers). For a stream without reordering that is the
// picture's own slot; a decoder that reorders (B-frames, packed or not) hands out every picture
// the same fixed number of slots late, whichever key frame decoding started from. That delay is
// measured once at open on the first picture, whose number is that of the first slot, and a
// picture's frame number is its stamp minus the delay. Frame n is the latest picture whose number
// is at most n, so a request for an empty slot gets the picture shown before it.
//
// Robustness. A file whose header and index disagree is read through once at open, and only the
// frames that really decode count. Every decoding run reads at most as many packets as the stream
// has (plus a margin) and stops at the end of the file; a jump tries a few key frames before the
// target and then the first one, so no request loops without bound on a damaged file. A key frame
// that decodes to something other than a key picture (a wrong index flag) is dropped from the
// table.

#include "platform/ffmpeg_video_reader.h"

#include "platform/ffmpeg_fields.h"
#include "platform/ffmpeg_frame_converter.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/avutil.h>
}

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <limits>
#include <mutex>
#include <vector>

namespace dravolin::platform {
namespace {

// ---------------------------------------------------------------------------------------------
// 1. Ownership of the FFmpeg objects
// ---------------------------------------------------------------------------------------------

struct FormatCloser {
  void operator()(AVFormatContext* format) const { avformat_close_input(&format); }
};
struct CodecFreer {
  void operator()(AVCodecContext* codec) const { avcodec_free_context(&codec); }
};
struct PacketFreer {
  void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};
struct FrameFreer {
  void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
using FormatPtr = std::unique_ptr<AVFormatContext, FormatCloser>;
using CodecPtr = std::unique_ptr<AVCodecContext, CodecFreer>;
using PacketPtr = std::unique_ptr<AVPacket, PacketFreer>;
using FramePtr = std::unique_ptr<AVFrame, FrameFreer>;

// FFmpeg reports every damaged packet on standard error; the program keeps quiet about it unless
// DRAVOLIN_FFMPEG_LOG is set.
void quietLibraryOnce() {
  static std::once_flag once;
  std::call_once(once, [] {
    const char* wanted = std::getenv("DRAVOLIN_FFMPEG_LOG");
    av_log_set_level(wanted != nullptr && *wanted != '\0' ? AV_LOG_INFO : AV_LOG_QUIET);
  });
}

// The largest picture side a line video may have: checked in the headers before the decoder
// opens, and held to by the decoder itself (max_pixels), before any picture buffer is allocated.
constexpr int kMaxVideoSide = kMaxVideoFrameSide;

constexpr std::int64_t kNoSlot = std::numeric_limits<std::int64_t>::min();
// A target this few slots past the packets already given to the decoder is reached by decoding
// on rather than by a jump, even where a key frame lies in between.
constexpr std::int64_t kForwardSlots = 3;
// Pictures kept for steps back.
constexpr std::size_t kRecentPictures = 16;
// Key frames tried before the target of a jump before falling back to the first one.
constexpr int kJumpAttempts = 3;
// Packets beyond the stream's length one decoding run may read, for the decoder's delay.
constexpr int kPacketMargin = 64;
// Pictures beyond the decoder's delay that may come out of a run before its key picture.
constexpr std::int64_t kLeadingPictures = 8;

// An AVI read with its "idx1" index hidden (its tag reads as "JUNK"): the demultiplexer then
// finds the frames from the chunks themselves, as it does for a file without an index.
class IndexlessAvi {
 public:
  explicit IndexlessAvi(const std::string& path) : fd_(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {
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
  IndexlessAvi(const IndexlessAvi&) = delete;
  IndexlessAvi& operator=(const IndexlessAvi&) = delete;
  ~IndexlessAvi() {
    if (fd_ >= 0) ::close(fd_);
  }
  bool ok() const { return fd_ >= 0 && size_ >= 0; }

  static int read(void* opaque, std::uint8_t* buffer, int size) {
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
  static std::int64_t seek(void* opaque, std::int64_t offset, int whence) {
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

 private:
  int fd_;
  std::int64_t size_ = -1;
  std::int64_t pos_ = 0;
  std::int64_t idx1_ = -1;
};

// Whether the movie data of an AVI lies wholly inside the file: the "movi" list of every "RIFF"
// part ends at or before the end of the file. A file cut part-way ends inside its last movie list
// (with the index after it lost); a file that lost only its index keeps all of its movie data.
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

struct IoFreer {
  void operator()(AVIOContext* io) const {
    if (io != nullptr) av_freep(&io->buffer);
    avio_context_free(&io);
  }
};
using IoPtr = std::unique_ptr<AVIOContext, IoFreer>;

struct KeyFrame {
  std::int64_t slot = 0;
  std::int64_t dts = 0;  // as the demultiplexer reports it, in the stream's time base
};

}  // namespace

// ---------------------------------------------------------------------------------------------
// 2. The open video
// ---------------------------------------------------------------------------------------------

struct FfmpegVideoReader::Video {
  // The file with its index hidden, when it is read so (declared first: it outlives the format).
  std::unique_ptr<IndexlessAvi> indexless;
  IoPtr io;
  FormatPtr format;
  CodecPtr codec;
  PacketPtr packet{av_packet_alloc()};
  AVStream* stream = nullptr;
  bool isAvi = false;
  bool intraOnly = false;  // every picture is a key picture (MJPEG and the like)
  int width = 0;
  int height = 0;
  double rate = 0;

  // Frame table.
  std::vector<KeyFrame> keys;            // in decode order
  std::vector<std::int64_t> packetDts;   // outside AVI: demultiplexer dts of every packet, by slot
  std::vector<std::int64_t> cutPackets;  // file positions of packets whose data is incomplete
  bool indexDisagrees = false;           // the AVI index names other chunks than its frames
  bool aviDataWhole = true;              // an AVI's movie data is not cut off by the file's end
  std::int64_t frames = 0;
  std::int64_t delay = 0;  // slots between a packet going in and its picture coming out

  // Decoder position within the current run (from the last jump on).
  std::int64_t lastFedSlot = -1;
  std::int64_t lastStamp = kNoSlot;   // slot stamp of the last picture out
  std::int64_t lastNumber = kNoSlot;  // frame number of the last picture out
  int packetsLeft = 0;                // packets this request may still read
  bool waitingForKey = false;
  bool draining = false;
  bool ended = false;                  // the whole stream after the run's start has come out
  bool broken = false;                 // the run stopped early; the next request starts afresh
  FramePtr current{av_frame_alloc()};  // latest picture out with number <= the last target
  std::int64_t currentNumber = kNoSlot;
  FramePtr ahead{av_frame_alloc()};  // a picture out beyond the last target
  std::int64_t aheadNumber = kNoSlot;
  bool haveCurrent = false;
  bool haveAhead = false;
  // The last pictures of the run up to current, oldest first, one after another as they came
  // out: a step back (the train reversing) finds its picture here without a jump.
  struct Recent {
    FramePtr picture;
    std::int64_t number = 0;
  };
  std::deque<Recent> recent;

  // Last delivered frame, delivered again for a repeated or out-of-range request.
  FramePtr shown{av_frame_alloc()};
  std::int64_t shownNumber = kNoSlot;
  bool haveShown = false;

  FfmpegFrameConverter converter;

  std::string path;
  std::string error;  // why the file was refused; empty when it was not read far enough to say

  bool openFile(const std::string& path, bool ignoreIndex);
  bool indexMatchesChunks();
  bool openDecoder();
  bool tableFromIndex();
  bool tableByReading();
  bool measureDelay();
  void checkTail();

  int packetBudget() const {
    return static_cast<int>(
        std::min<std::int64_t>(frames + delay + kPacketMargin, std::numeric_limits<int>::max()));
  }
  std::int64_t slotOf(const AVPacket& p) const;
  bool isKeySlot(std::int64_t slot) const;
  bool feedPacket();
  bool nextPicture(AVFrame* out, std::int64_t& number);
  bool restartAt(std::size_t key);
  bool decodeOnTo(std::int64_t n);
  enum class RunStart { Started, Nothing, NotAKeyFrame };
  RunStart startRun(bool fromFirst);
  bool jumpTo(std::int64_t n);
  void makeCurrent(FramePtr& picture, std::int64_t number);
  const AVFrame* recentPicture(std::int64_t n) const;
  const AVFrame* pictureFor(std::int64_t n);
};

// ---------------------------------------------------------------------------------------------
// 3. Frame table
// ---------------------------------------------------------------------------------------------

bool FfmpegVideoReader::Video::openFile(const std::string& file, bool ignoreIndex) {
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
    error = kVideoTooLarge;
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

bool FfmpegVideoReader::Video::openDecoder() {
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
  codec->thread_count = 0;  // as many as the machine has cores
  codec->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
  return avcodec_open2(codec.get(), decoder, nullptr) >= 0;
}

// The index of an AVI must name, in file order, every chunk of this stream and nothing else: an
// index with garbage offsets over intact chunks would otherwise make a jump, and every frame read
// after it, land on another frame than the one it names; an index that stops early (the
// demultiplexer's own, made from the chunks it read while probing a file without an index) would
// leave the frames after it out. The check walks the chunk headers from each entry to the next,
// and from the last one to the end of the file (8 bytes read a chunk, the frame data is skipped).
bool FfmpegVideoReader::Video::indexMatchesChunks() {
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
bool FfmpegVideoReader::Video::tableFromIndex() {
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
bool FfmpegVideoReader::Video::tableByReading() {
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

// ---------------------------------------------------------------------------------------------
// 4. Decoding
// ---------------------------------------------------------------------------------------------

std::int64_t FfmpegVideoReader::Video::slotOf(const AVPacket& p) const {
  if (p.dts == AV_NOPTS_VALUE) return lastFedSlot + 1;
  if (isAvi) return p.dts >= 0 ? p.dts : lastFedSlot + 1;
  if (packetDts.empty()) return lastFedSlot + 1;
  const auto it = std::lower_bound(packetDts.begin(), packetDts.end(), p.dts);
  if (it == packetDts.end() || *it != p.dts) return lastFedSlot + 1;
  return it - packetDts.begin();
}

bool FfmpegVideoReader::Video::isKeySlot(std::int64_t slot) const {
  const auto it = std::lower_bound(keys.begin(), keys.end(), slot,
                                   [](const KeyFrame& k, std::int64_t s) { return k.slot < s; });
  return it != keys.end() && it->slot == slot;
}

// Reads the next video packet and gives it to the decoder, stamped with its slot. False at the
// end of the file or when this request has read as many packets as it may.
bool FfmpegVideoReader::Video::feedPacket() {
  AVPacket* p = packet.get();
  while (packetsLeft > 0) {
    av_packet_unref(p);
    if (av_read_frame(format.get(), p) < 0) return false;
    if (p->stream_index != stream->index) continue;
    --packetsLeft;
    const std::int64_t slot = slotOf(*p);
    if (waitingForKey) {
      // After a jump the decoder starts on a key frame; anything before it cannot be decoded.
      if (!intraOnly && (p->flags & AV_PKT_FLAG_KEY) == 0 && !isKeySlot(slot)) continue;
      waitingForKey = false;
    }
    p->dts = slot;
    // A decoder without reordering hands each picture out with its own packet's pts: the picture
    // is numbered by it, whatever came out before (a first chunk that does not decode).
    p->pts = intraOnly ? slot : AV_NOPTS_VALUE;
    lastFedSlot = std::max(lastFedSlot, slot);
    // A damaged packet the decoder refuses is simply skipped.
    avcodec_send_packet(codec.get(), p);
    av_packet_unref(p);
    return true;
  }
  return false;
}

// The next picture of the run, in display order, with its frame number. False when the stream
// has ended (ended is set) or the run cannot go on (broken is set).
bool FfmpegVideoReader::Video::nextPicture(AVFrame* out, std::int64_t& number) {
  int failures = 0;
  for (;;) {
    av_frame_unref(out);
    const int received = avcodec_receive_frame(codec.get(), out);
    if (received >= 0) {
      if (intraOnly && out->pts != AV_NOPTS_VALUE) {
        lastStamp = out->pts;
      } else if (out->pkt_dts != AV_NOPTS_VALUE) {
        lastStamp = out->pkt_dts;
      } else {
        // Pictures that come out only at the end of the stream: one slot after another.
        lastStamp =
            std::max(lastStamp == kNoSlot ? lastFedSlot + 1 : lastStamp + 1, lastFedSlot + 1);
      }
      number = lastStamp - delay;
      if (lastNumber != kNoSlot && number <= lastNumber) number = lastNumber + 1;
      lastNumber = number;
      return true;
    }
    if (received == AVERROR_EOF) {
      ended = true;
      return false;
    }
    if (draining) {
      // Only pictures still inside the decoder can come now; a decoder that neither hands one
      // out nor reports the end is given up on.
      if (++failures > kPacketMargin) {
        broken = true;
        return false;
      }
      continue;
    }
    if (!feedPacket()) {
      if (packetsLeft <= 0) {
        broken = true;
        return false;
      }
      avcodec_send_packet(codec.get(), nullptr);
      draining = true;
    }
  }
}

// Starts a new run at key frame `key`: the demultiplexer and the decoder start afresh there.
bool FfmpegVideoReader::Video::restartAt(std::size_t key) {
  avcodec_flush_buffers(codec.get());
  haveCurrent = haveAhead = false;
  recent.clear();
  draining = ended = broken = false;
  lastStamp = lastNumber = kNoSlot;
  lastFedSlot = keys[key].slot - 1;
  waitingForKey = true;
  packetsLeft = packetBudget();
  if (av_seek_frame(format.get(), stream->index, keys[key].dts, AVSEEK_FLAG_BACKWARD) < 0) {
    broken = true;
    return false;
  }
  return true;
}

// ---------------------------------------------------------------------------------------------
// 5. Finding the picture of frame n
// ---------------------------------------------------------------------------------------------

// `picture` becomes the current one (and `picture` holds the previous current one).
void FfmpegVideoReader::Video::makeCurrent(FramePtr& picture, std::int64_t number) {
  std::swap(current, picture);
  currentNumber = number;
  haveCurrent = true;
  FramePtr kept;
  if (recent.size() >= kRecentPictures) {
    kept = std::move(recent.front().picture);
    recent.pop_front();
    av_frame_unref(kept.get());
  } else {
    kept.reset(av_frame_alloc());
  }
  if (kept && av_frame_ref(kept.get(), current.get()) >= 0) {
    recent.push_back({std::move(kept), number});
  } else {
    recent.clear();  // a gap would make the pictures around it wrong
  }
}

// The latest kept picture numbered at most n, when the picture after it is numbered beyond n.
const AVFrame* FfmpegVideoReader::Video::recentPicture(std::int64_t n) const {
  for (std::size_t i = 0; i + 1 < recent.size(); ++i) {
    if (recent[i].number <= n && recent[i + 1].number > n) return recent[i].picture.get();
  }
  return nullptr;
}

// Decodes on within the current run until `current` is the latest picture numbered at most n.
// False when the run has no such picture: its first picture lies beyond n, or nothing decoded.
bool FfmpegVideoReader::Video::decodeOnTo(std::int64_t n) {
  if (haveAhead) {
    if (aheadNumber > n) return haveCurrent && currentNumber <= n;
    makeCurrent(ahead, aheadNumber);
    haveAhead = false;
  }
  while (!(haveCurrent && currentNumber == n)) {
    std::int64_t number = 0;
    if (!nextPicture(ahead.get(), number)) break;
    if (number > n) {
      aheadNumber = number;
      haveAhead = true;
      break;
    }
    makeCurrent(ahead, number);
  }
  // A run that stopped early may not have reached a picture between current and n.
  if (broken && !haveAhead && !(haveCurrent && currentNumber == n)) return false;
  return haveCurrent && currentNumber <= n;
}

// Decodes the first pictures of a run up to its key picture. Pictures that come out before it
// are leading pictures that may refer to pictures before the key frame, so they are dropped;
// from the start of the file every picture counts.
FfmpegVideoReader::Video::RunStart FfmpegVideoReader::Video::startRun(bool fromFirst) {
  for (std::int64_t dropped = 0;; ++dropped) {
    std::int64_t number = 0;
    if (!nextPicture(ahead.get(), number)) return RunStart::Nothing;
    if (fromFirst || intraOnly || ahead->key_frame != 0) {
      aheadNumber = number;
      haveAhead = true;
      return RunStart::Started;
    }
    if (dropped >= delay + kLeadingPictures) return RunStart::NotAKeyFrame;
  }
}

// Starts a run at the last key frame at or before n and decodes to n. When the picture of n
// cannot be reached from there (it belongs to an earlier key frame, or the key frame is bad), an
// earlier key frame is tried, then the first one.
bool FfmpegVideoReader::Video::jumpTo(std::int64_t n) {
  auto after = std::upper_bound(keys.begin(), keys.end(), n,
                                [](std::int64_t s, const KeyFrame& k) { return s < k.slot; });
  std::size_t key = after == keys.begin() ? 0 : static_cast<std::size_t>(after - keys.begin()) - 1;
  for (int attempt = 0;; ++attempt) {
    const bool last = key == 0 || attempt >= kJumpAttempts;
    if (last) key = 0;
    if (restartAt(key)) {
      const RunStart start = startRun(key == 0);
      if (start == RunStart::NotAKeyFrame) {
        // The index calls this a key frame, but it decodes to pictures that need earlier ones.
        keys.erase(keys.begin() + static_cast<std::ptrdiff_t>(key));
        --key;
        continue;
      }
      if (start == RunStart::Started && decodeOnTo(n)) return true;
    }
    if (last) return false;
    --key;
  }
}

const AVFrame* FfmpegVideoReader::Video::pictureFor(std::int64_t n) {
  packetsLeft = packetBudget();
  if (haveCurrent && currentNumber > n) {
    if (const AVFrame* kept = recentPicture(n)) return kept;
  }
  if (!broken && haveCurrent && currentNumber <= n) {
    if (haveAhead && aheadNumber > n) return current.get();  // n is an empty slot after current
    if (ended && !haveAhead) return current.get();  // nothing after current: it is the last
    const auto after = std::upper_bound(
        keys.begin(), keys.end(), n, [](std::int64_t s, const KeyFrame& k) { return s < k.slot; });
    const std::int64_t keySlot = after == keys.begin() ? 0 : std::prev(after)->slot;
    if (keySlot <= lastFedSlot + kForwardSlots && decodeOnTo(n)) return current.get();
  }
  return jumpTo(n) ? current.get() : nullptr;
}

// ---------------------------------------------------------------------------------------------
// 6. Opening: the decoder's delay and the decodable end of the stream
// ---------------------------------------------------------------------------------------------

// Decodes the first picture: it is frame (first slot), so its stamp gives the decoder's delay.
bool FfmpegVideoReader::Video::measureDelay() {
  if (!restartAt(0)) return false;
  delay = 0;
  std::int64_t number = 0;
  if (!nextPicture(ahead.get(), number)) {
    error = kVideoUndecodable;
    return false;
  }
  if (intraOnly) {
    // Numbered by its own packet: a first chunk that does not decode leaves its frame out
    // rather than moving every later one a frame ahead.
    delay = 0;
    lastNumber = number;
  } else {
    // The first picture out must be that of the first key frame. When it is not a key picture,
    // or it comes out so late that it may be the next key frame's, which frame it is cannot be
    // told: the file is refused rather than shown a frame out.
    delay = lastStamp - keys.front().slot;
    if (delay < 0) delay = 0;
    if (ahead->key_frame == 0) {
      error = kVideoFirstFrameUnknown;
      return false;
    }
    lastNumber = keys.front().slot;
  }
  makeCurrent(ahead, lastNumber);
  width = current->width;
  height = current->height;
  if (width > kMaxVideoSide || height > kMaxVideoSide) {
    error = kVideoTooLarge;
    return false;
  }
  return width > 0 && height > 0;
}

// The last frames of a damaged file may not decode: the count ends after the last picture that
// comes out, or before the first picture made from an incomplete packet.
void FfmpegVideoReader::Video::checkTail() {
  std::sort(cutPackets.begin(), cutPackets.end());
  // Decoding starts a key frame early: the pictures shown just before the last key frame may
  // come after it in the file and need the key frame before it.
  const std::size_t tried = std::min<std::size_t>(keys.size(), kJumpAttempts);
  for (std::size_t i = 0; i < tried; ++i) {
    const std::size_t key = keys.size() - 1 - i;
    if (!restartAt(key > 0 ? key - 1 : 0)) continue;
    std::int64_t last = kNoSlot;
    std::int64_t number = 0;
    // A reordering decoder's last pictures come out only when it is drained, numbered one slot
    // after another. That is their number at the true end of a stream; in a stream cut off the
    // B-frames shown before the pictures still held for reordering may be missing, so which
    // frames those are cannot be told: they are left out of the count rather than shown as other
    // frames. In an AVI (whose chunks number every picture) only the held pictures (the
    // decoder's reordering depth) are in doubt, and the AVI is cut off when its movie data runs
    // past the end of the file (its empty chunks are dropped frames, not damage). In another
    // container every picture that comes out while draining is in doubt, and the stream is cut
    // off when a packet is incomplete or the header promises more frames.
    const bool cutOff = isAvi ? !aviDataWhole : !cutPackets.empty() || stream->nb_frames > frames;
    std::vector<std::int64_t> drained;
    std::int64_t lastBeforeDraining = kNoSlot;
    while (nextPicture(ahead.get(), number)) {
      if (cutOff && delay > 0 && draining) {
        if (!isAvi) {
          frames = std::min(frames, number);
          break;
        }
        drained.push_back(number);
      } else {
        lastBeforeDraining = number;
      }
      last = number;
      if (std::binary_search(cutPackets.begin(), cutPackets.end(), ahead->pkt_pos)) {
        frames = std::min(frames, number);
      }
    }
    if (!drained.empty()) {
      // A frame missing among the drained pictures is a cut-off picture the decoder dropped,
      // not an empty chunk: the count ends before it rather than showing the picture before.
      std::int64_t next = lastBeforeDraining == kNoSlot ? drained.front() : lastBeforeDraining + 1;
      for (const std::int64_t n : drained) {
        if (n != next) {
          frames = std::min(frames, next);
          break;
        }
        ++next;
      }
      const std::size_t held = std::min<std::size_t>(
          drained.size(), static_cast<std::size_t>(std::max(1, codec->has_b_frames)));
      frames = std::min(frames, drained[drained.size() - held]);
    }
    if (last != kNoSlot) {
      frames = std::min(frames, last + 1);
      break;
    }
  }
  broken = true;  // the next request starts afresh
  haveCurrent = haveAhead = false;
}

// ---------------------------------------------------------------------------------------------
// 7. The reader's operations
// ---------------------------------------------------------------------------------------------

FfmpegVideoReader::FfmpegVideoReader() { quietLibraryOnce(); }

FfmpegVideoReader::~FfmpegVideoReader() = default;

void FfmpegVideoReader::close() { video_.reset(); }

bool FfmpegVideoReader::open(const std::string& path) {
  close();
  error_.clear();
  auto video = std::make_unique<Video>();
  bool opened = openVideo(*video, path, false);
  if (!opened && video->indexDisagrees) {
    // The index names other chunks than its frames: the file is read again without it, and the
    // frames are found from the chunks themselves.
    video = std::make_unique<Video>();
    opened = openVideo(*video, path, true);
  }
  if (!opened) {
    error_ = video->error.empty() ? std::string(kVideoUnreadable) : video->error;
    return false;
  }
  video_ = std::move(video);
  return true;
}

bool FfmpegVideoReader::openVideo(Video& v, const std::string& path, bool ignoreIndex) {
  Video* video = &v;
  if (!video->packet || !video->current || !video->ahead || !video->shown) return false;
  if (!video->openFile(path, ignoreIndex) || !video->openDecoder()) return false;
  bool checked = false;
  if (ignoreIndex || !video->tableFromIndex()) {
    if (video->isAvi && !ignoreIndex) {
      // An AVI index that cannot be used as it stands still steers the demultiplexer: the file
      // is read again without it.
      video->indexDisagrees = true;
      return false;
    }
    if (!video->tableByReading()) return false;
    checked = true;
  } else if (video->stream->nb_frames != video->frames) {
    checked = true;  // the index holds more than the header claims: make sure they decode
  }
  if (video->frames > std::numeric_limits<int>::max()) return false;
  if (!video->measureDelay()) return false;
  if (checked) {
    video->checkTail();
    if (video->frames <= 0) return false;
  }
  return true;
}

int FfmpegVideoReader::frameCount() const { return video_ ? static_cast<int>(video_->frames) : -1; }

bool FfmpegVideoReader::getFrame(int n, Bitmap& bitmap) {
  if (!video_) return false;
  Video& v = *video_;
  if (n < 0 || n >= v.frames || (v.haveShown && v.shownNumber == n)) {
    return v.haveShown && v.converter.convert(*v.shown, bitmap);
  }
  const AVFrame* picture = v.pictureFor(n);
  if (picture == nullptr) return false;
  av_frame_unref(v.shown.get());
  if (av_frame_ref(v.shown.get(), picture) < 0) {
    v.haveShown = false;
    return false;
  }
  v.haveShown = true;
  v.shownNumber = n;
  return v.converter.convert(*v.shown, bitmap);
}

int FfmpegVideoReader::width() const { return video_ ? video_->width : 0; }

int FfmpegVideoReader::height() const { return video_ ? video_->height : 0; }

double FfmpegVideoReader::frameRate() const { return video_ ? video_->rate : 0; }

}  // namespace dravolin::platform
