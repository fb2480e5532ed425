// What the input handlers work on: the pieces of one drive they read and write, and the things
// the drive does on their behalf (the handle display, the doors, the value display window and its
// own event queue).
#pragma once

#include <deque>
#include <string>

#include "data/controller_map.h"
#include "data/line_file.h"
#include "data/sound_layout.h"
#include "data/train_file.h"
#include "input/input_state.h"
#include "platform/sound_slots.h"
#include "sim/cab_model.h"
#include "sim/protection_state.h"
#include "sim/train_state.h"

namespace dravolin::input {

// An event the controller box posts to the driving window: a typed character or a key-down.
struct PostedEvent {
  enum class Kind { Character, KeyDown };
  Kind kind = Kind::Character;
  int code = 0;  // the character (' ', '3') or the virtual key code (Enter)

  static PostedEvent character(char c) { return {Kind::Character, static_cast<unsigned char>(c)}; }
  static PostedEvent keyDown(int virtualKey) { return {Kind::KeyDown, virtualKey}; }
  bool operator==(const PostedEvent&) const = default;
};

// The drive's own queue of posted events, handled after the event that posted them, first in
// first out, as a window's message queue would.
class PostedEvents {
 public:
  void post(const PostedEvent& e) { queue_.push_back(e); }
  bool empty() const { return queue_.empty(); }
  std::size_t size() const { return queue_.size(); }
  PostedEvent take() {
    PostedEvent e = queue_.front();
    queue_.pop_front();
    return e;
  }

 private:
  std::deque<PostedEvent> queue_;
};

// What the drive does for the handlers.
class DriveActions {
 public:
  virtual ~DriveActions() = default;
  // Shows the handle positions in the cab (captions and notch pictures).
  virtual void masconupdate() = 0;
  // The one-man door command: opens or closes the doors.
  virtual void Door_operate() = 0;
  // The value display window.
  virtual bool valueDisplayVisible() const = 0;
  virtual void setValueDisplayVisible(bool visible) = 0;
  // Its caption; the controller box shows its raw messages there.
  virtual void setValueDisplayCaption(const std::string& text) = 0;
  // Puts an event on the drive's own queue (see PostedEvents and drainPostedEvents).
  virtual void postEvent(const PostedEvent& event) = 0;
};

// The pieces of one drive the input handlers read and write.
struct InputContext {
  sim::TrainState& state;
  const data::TrainFile& train;  // handles, brake, sound slot numbers
  const data::LineFile& line;    // one-man operation, announcements
  const data::ControllerMap& mascon;
  const data::SoundLayout& sounds;
  sim::ProtectionState& protection;
  const sim::IndicationState& indication;  // shown sign, announced limit
  sim::CabModel& cab;
  InputState& input;
  ProgramInputState& program;   // the keypad swap, kept across drives
  platform::SoundSlots& sound;  // the sound service ("slots" is a word Qt reserves)
  DriveActions& actions;

  const sim::TrainParams& params() const { return train.params; }
};

}  // namespace dravolin::input
