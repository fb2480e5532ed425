// Decoding the line video: packets in, numbered pictures out; the picture of frame n by a
// repeat, a step back, decoding on or a jump; at open, the decoder's delay and the end of the
// stream that really decodes. Frame numbers are explained in ffmpeg_video_stream.h.
#include <algorithm>
#include <cstdint>
#include <vector>

#include "platform/ffmpeg_video_stream.h"
#include "platform/message_ids.h"

extern "C" {
#include <libavutil/imgutils.h>
}

namespace dravolin::platform {

// ---------------------------------------------------------------------------------------------
// Decoding: packets in, numbered pictures out
// ---------------------------------------------------------------------------------------------

std::int64_t FfmpegVideoStream::slotOf(const AVPacket& p) const {
  if (p.dts == AV_NOPTS_VALUE) return lastFedSlot + 1;
  if (isAvi) return p.dts >= 0 ? p.dts : lastFedSlot + 1;
  if (packetDts.empty()) return lastFedSlot + 1;
  const auto it = std::lower_bound(packetDts.begin(), packetDts.end(), p.dts);
  if (it == packetDts.end() || *it != p.dts) return lastFedSlot + 1;
  return it - packetDts.begin();
}

bool FfmpegVideoStream::isKeySlot(std::int64_t slot) const {
  const auto it = std::lower_bound(keys.begin(), keys.end(), slot,
                                   [](const KeyFrame& k, std::int64_t s) { return k.slot < s; });
  return it != keys.end() && it->slot == slot;
}

// Reads the next video packet and gives it to the decoder, stamped with its slot. False at the
// end of the file or when this request has read as many packets as it may.
bool FfmpegVideoStream::feedPacket() {
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
bool FfmpegVideoStream::nextPicture(AVFrame* out, std::int64_t& number) {
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
bool FfmpegVideoStream::restartAt(std::size_t key) {
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
// Finding the picture of frame n
// ---------------------------------------------------------------------------------------------

// `picture` becomes the current one (and `picture` holds the previous current one).
void FfmpegVideoStream::makeCurrent(FramePtr& picture, std::int64_t number) {
  std::swap(current, picture);
  currentNumber = number;
  haveCurrent = true;
  FramePtr kept;
  if (recent.size() >= recentLimit) {
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
const AVFrame* FfmpegVideoStream::recentPicture(std::int64_t n) const {
  for (std::size_t i = 0; i + 1 < recent.size(); ++i) {
    if (recent[i].number <= n && recent[i + 1].number > n) return recent[i].picture.get();
  }
  return nullptr;
}

// Decodes on within the current run until `current` is the latest picture numbered at most n.
// False when the run has no such picture: its first picture lies beyond n, or nothing decoded.
bool FfmpegVideoStream::decodeOnTo(std::int64_t n) {
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
FfmpegVideoStream::RunStart FfmpegVideoStream::startRun(bool fromFirst) {
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
bool FfmpegVideoStream::jumpTo(std::int64_t n) {
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

const AVFrame* FfmpegVideoStream::pictureFor(std::int64_t n) {
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

const AVFrame* FfmpegVideoStream::deliver(int n) {
  if (n < 0 || n >= frames || (haveShown && shownNumber == n)) {
    return haveShown ? shown.get() : nullptr;
  }
  if (!codec) return nullptr;  // the decoder could not be opened again
  const AVFrame* picture = pictureFor(n);
  if (picture == nullptr) return nullptr;
  av_frame_unref(shown.get());
  if (av_frame_ref(shown.get(), picture) < 0) {
    haveShown = false;
    return nullptr;
  }
  haveShown = true;
  shownNumber = n;
  return shown.get();
}

// ---------------------------------------------------------------------------------------------
// Opening: the decoder's delay and the decodable end of the stream
// ---------------------------------------------------------------------------------------------

// Decodes the first picture: it is frame (first slot), so its stamp gives the decoder's delay.
bool FfmpegVideoStream::measureDelay() {
  if (!restartAt(0)) return false;
  delay = 0;
  std::int64_t number = 0;
  if (!nextPicture(ahead.get(), number)) {
    error = msg::videoUndecodable().text();
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
      error = msg::videoFirstFrameUnknown().text();
      return false;
    }
    lastNumber = keys.front().slot;
  }
  width = ahead->width;
  height = ahead->height;
  if (width > kMaxVideoSide || height > kMaxVideoSide) {
    error = msg::videoTooLarge(kMaxVideoFrameSide).text();
    return false;
  }
  const int bytes =
      av_image_get_buffer_size(static_cast<AVPixelFormat>(ahead->format), width, height, 1);
  recentLimit = std::clamp<std::size_t>(
      bytes > 0 ? kRecentBytes / static_cast<std::size_t>(bytes) : kRecentPictures, 2,
      kRecentPictures);
  makeCurrent(ahead, lastNumber);
  return width > 0 && height > 0;
}

// The last frames of a damaged file may not decode: the count ends after the last picture that
// comes out, or before the first picture made from an incomplete packet.
void FfmpegVideoStream::checkTail() {
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

}  // namespace dravolin::platform
