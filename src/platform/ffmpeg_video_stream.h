// The open line video of the FFmpeg video reader: the FFmpeg objects, the frame table, the
// decoder's position and the pictures kept. Private to the reader's sources:
//   ffmpeg_video_index.cpp     opening the file, the frame table and the frame count
//   ffmpeg_video_decoding.cpp  decoding runs, finding the picture of frame n, the decoder's delay
//                              and the decodable end of the stream
//   ffmpeg_video_reader.cpp    the reader's operations
// (Scaling and colour conversion are in ffmpeg_frame_converter.cpp.)
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
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/avutil.h>
}

#include <cstddef>
#include <cstdint>
#include <deque>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "platform/ffmpeg_frame_converter.h"
#include "platform/ffmpeg_video_reader.h"

namespace dravolin::platform {

// ---------------------------------------------------------------------------------------------
// Ownership of the FFmpeg objects
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
struct IoFreer {
  void operator()(AVIOContext* io) const {
    if (io != nullptr) av_freep(&io->buffer);
    avio_context_free(&io);
  }
};
using FormatPtr = std::unique_ptr<AVFormatContext, FormatCloser>;
using CodecPtr = std::unique_ptr<AVCodecContext, CodecFreer>;
using PacketPtr = std::unique_ptr<AVPacket, PacketFreer>;
using FramePtr = std::unique_ptr<AVFrame, FrameFreer>;
using IoPtr = std::unique_ptr<AVIOContext, IoFreer>;

// ---------------------------------------------------------------------------------------------
// Limits
// ---------------------------------------------------------------------------------------------

// The largest picture side a line video may have: checked in the headers before the decoder
// opens, and held to by the decoder itself (max_pixels), before any picture buffer is allocated.
inline constexpr int kMaxVideoSide = kMaxVideoFrameSide;

inline constexpr std::int64_t kNoSlot = std::numeric_limits<std::int64_t>::min();
// A target this few slots past the packets already given to the decoder is reached by decoding
// on rather than by a jump, even where a key frame lies in between.
inline constexpr std::int64_t kForwardSlots = 3;
// Decoded pictures kept for steps back: at most this many, and at most this many bytes of
// picture data (16 pictures of 1920 x 1080, 3 of 3840 x 2160).
inline constexpr std::size_t kRecentPictures = 16;
inline constexpr std::size_t kRecentBytes = 48u << 20;
// Key frames tried before the target of a jump before falling back to the first one.
inline constexpr int kJumpAttempts = 3;
// Packets beyond the stream's length one decoding run may read, for the decoder's delay.
inline constexpr int kPacketMargin = 64;
// Pictures beyond the decoder's delay that may come out of a run before its key picture.
inline constexpr std::int64_t kLeadingPictures = 8;

// ---------------------------------------------------------------------------------------------
// AVI helpers (ffmpeg_video_index.cpp)
// ---------------------------------------------------------------------------------------------

// An AVI read with its "idx1" index hidden (its tag reads as "JUNK"): the demultiplexer then
// finds the frames from the chunks themselves, as it does for a file without an index.
class IndexlessAvi {
 public:
  explicit IndexlessAvi(const std::string& path);
  IndexlessAvi(const IndexlessAvi&) = delete;
  IndexlessAvi& operator=(const IndexlessAvi&) = delete;
  ~IndexlessAvi();
  bool ok() const { return fd_ >= 0 && size_ >= 0; }

  // The reading and seeking callbacks of FFmpeg's custom I/O; `opaque` is the object.
  static int read(void* opaque, std::uint8_t* buffer, int size);
  static std::int64_t seek(void* opaque, std::int64_t offset, int whence);

 private:
  int fd_;
  std::int64_t size_ = -1;
  std::int64_t pos_ = 0;
  std::int64_t idx1_ = -1;
};

// Whether the movie data of an AVI lies wholly inside the file: the "movi" list of every "RIFF"
// part ends at or before the end of the file. A file cut part-way ends inside its last movie list
// (with the index after it lost); a file that lost only its index keeps all of its movie data.
bool aviMovieDataWhole(const std::string& path);

struct KeyFrame {
  std::int64_t slot = 0;
  std::int64_t dts = 0;  // as the demultiplexer reports it, in the stream's time base
};

// ---------------------------------------------------------------------------------------------
// The open video
// ---------------------------------------------------------------------------------------------

struct FfmpegVideoStream {
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
  std::size_t recentLimit = kRecentPictures;  // by the picture's size (kRecentBytes)

  // Last delivered frame, delivered again for a repeated or out-of-range request.
  FramePtr shown{av_frame_alloc()};
  std::int64_t shownNumber = kNoSlot;
  bool haveShown = false;

  FfmpegFrameConverter converter;

  std::string path;
  std::string error;  // why the file was refused; empty when it was not read far enough to say

  // Opening and the frame table (ffmpeg_video_index.cpp).
  bool openFile(const std::string& path, bool ignoreIndex);
  bool openDecoder();
  bool indexMatchesChunks();
  bool tableFromIndex();
  bool tableByReading();

  // Decoding (ffmpeg_video_decoding.cpp).
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
  // The picture of frame n (0 <= n < frames), or null when it cannot be decoded.
  const AVFrame* pictureFor(std::int64_t n);
  bool measureDelay();
  void checkTail();
  // The picture delivered for a request of frame n: the frame's own, or for a repeated or
  // out-of-range request the one delivered last; null when there is none.
  const AVFrame* deliver(int n);
};

}  // namespace dravolin::platform
