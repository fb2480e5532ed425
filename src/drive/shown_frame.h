// What the cab view shows of the line video: the frame number last put on it, and whether the
// current frame is due once whatever that number is. Start and pause ask for that once, so the
// still picture never outlasts a Start, also when the train stands on the frame shown last or on
// the frame below it. The idle handler draws only when a frame is due.
#pragma once

namespace dravolin::drive {

class ShownFrame {
 public:
  // Whether a pass with `frameIndex` has a frame to draw: another frame than the one shown last,
  // or any frame after a redraw request.
  bool due(int frameIndex) const { return redrawDue_ || frameIndex != lastShown_; }
  // `frameIndex` was put on the cab view.
  void presented(int frameIndex) {
    lastShown_ = frameIndex;
    redrawDue_ = false;
    ++presentations_;
  }
  // The current frame is to be drawn at the next chance, even when it is the one shown last.
  void requestRedraw() { redrawDue_ = true; }

  int lastShown() const { return lastShown_; }
  bool redrawDue() const { return redrawDue_; }
  // Frames put on the cab view so far.
  long presentations() const { return presentations_; }

 private:
  int lastShown_ = 1;  // as start-up leaves it: the start frame differs unless it is 1
  bool redrawDue_ = false;
  long presentations_ = 0;
};

}  // namespace dravolin::drive
