// What the cab view shows of the line video: the frame number last put on it (the frame really
// on the screen, which after a jump may be a nearby frame while the right one is decoded), how
// much of the next frame was blended over it, and whether the current frame is due once whatever
// that number is. Start and pause ask for that once, so the still picture never outlasts a
// Start, also when the train stands on the frame shown last or on the frame below it. The idle
// handler draws only when a frame is due.
//
// Between two frames. The train knows how far it is from `FrameIndex` towards the next frame:
// the frame accumulator against the frame step. With blending, the picture is that frame with
// the next one in the direction of travel laid over it by that share, so that it moves at every
// present below the recording speed too.
#pragma once

#include <algorithm>
#include <cstdint>

#include "sim/train_state.h"

namespace dravolin::drive {

// Where the picture is to be: a frame, its neighbour in the direction of travel, and the share
// of the neighbour in the picture.
struct FramePosition {
  static constexpr int kBlendSteps = 256;  // the share is counted in 1/256

  int frame = 0;  // FrameIndex
  int next = 1;   // frame + 1 forwards, frame - 1 backwards
  int blend = 0;  // share of `next`, 0 to 255 (0: `frame` alone)

  int direction() const { return next >= frame ? 1 : -1; }
  bool operator==(const FramePosition&) const = default;
};

// The share of the next frame that `accumulator` of `step` stands for, in 1/256: 0 at the frame,
// 255 just before the next one. A step below 1 counts as 1 (as the position step raises it).
inline int blendShare(std::int64_t accumulator, std::int64_t step) {
  if (accumulator <= 0) return 0;
  const std::int64_t s = std::max<std::int64_t>(step, 1);
  return static_cast<int>(std::min<std::int64_t>(accumulator * FramePosition::kBlendSteps / s,
                                                 FramePosition::kBlendSteps - 1));
}

class ShownFrame {
 public:
  // Where the picture is to be with `state`: `FrameIndex`, and with `blending` the share of the
  // next frame that the accumulator has reached. The direction of travel is the speed's sign, or
  // the last one while the train stands (a stopped train keeps its place between two frames).
  FramePosition position(const sim::TrainState& state, bool blending) {
    if (state.Speed.raw() > 0) direction_ = 1;
    if (state.Speed.raw() < 0) direction_ = -1;
    FramePosition p;
    p.frame = state.FrameIndex;
    p.next = state.FrameIndex + direction_;
    p.blend = blending ? blendShare(state.FrameAccumulator, state.FrameStep) : 0;
    return p;
  }

  // Whether a pass with `frameIndex` (and `blend` of the next frame) has a frame to draw:
  // another picture than the one shown last, or any after a redraw request.
  bool due(int frameIndex, int blend = 0) const {
    return redrawDue_ || frameIndex != lastShown_ || blend != lastBlend_;
  }
  bool due(const FramePosition& p) const { return due(p.frame, p.blend); }
  // `frameIndex` was put on the cab view, with `blend` of the next frame over it.
  void presented(int frameIndex, int blend = 0) {
    lastShown_ = frameIndex;
    lastBlend_ = blend;
    redrawDue_ = false;
    ++presentations_;
  }
  // The current frame is to be drawn at the next chance, even when it is the one shown last.
  void requestRedraw() { redrawDue_ = true; }

  int lastShown() const { return lastShown_; }
  int lastBlend() const { return lastBlend_; }
  bool redrawDue() const { return redrawDue_; }
  // Frames put on the cab view so far.
  long presentations() const { return presentations_; }

 private:
  int lastShown_ = 1;  // as start-up leaves it: the start frame differs unless it is 1
  int lastBlend_ = 0;
  bool redrawDue_ = false;
  long presentations_ = 0;
  int direction_ = 1;  // the train faces forwards at load
};

}  // namespace dravolin::drive
