// One drive's worth of pieces for the input handlers, with a recording drive and sound service.
#pragma once

#include <sstream>
#include <string>
#include <string_view>

#include "fixtures/fake_sound_slots.h"
#include "fixtures/sample_trains.h"
#include "input/controller_box.h"
#include "input/keyboard.h"
#include "input/mouse_wheel.h"

namespace dravolin::testing {

class FakeDrive : public input::DriveActions {
 public:
  void masconupdate() override { ++masconUpdates; }
  void Door_operate() override { ++doorOperations; }
  bool valueDisplayVisible() const override { return valueDisplay; }
  void setValueDisplayVisible(bool v) override { valueDisplay = v; }
  void setValueDisplayCaption(const std::string& text) override { caption = text; }
  void postEvent(const input::PostedEvent& e) override { posted.post(e); }

  int masconUpdates = 0;
  int doorOperations = 0;
  bool valueDisplay = false;
  std::string caption;
  input::PostedEvents posted;
};

// Slots of the rig's train file and sound layout.
inline constexpr int kBr1 = 1, kBr2 = 2, kEb = 3, kHorn = 4, kHorn2 = 5, kEbRing = 6, kAts1 = 7,
                     kAts2 = 8;

struct InputRig {
  explicit InputRig(const sim::TrainParams& p = electricTrain()) {
    train.params = p;
    train.Sound_br1 = kBr1;
    train.Sound_br2 = kBr2;
    train.Sound_EB = kEb;
    train.Sound_Horn = kHorn;
    train.Sound_Horn2 = kHorn2;
    train.Sound_EBring = kEbRing;
    train.Sound_Ats1 = kAts1;
    train.Sound_Ats2 = kAts2;
    sounds = {10, 5, 0, 3, 0};  // drive, line, announcement, other, motor sounds
    state = readyState(p, testLine());
    state.BrakeHandle = 0;
    state.AwaitingStart = false;
  }

  input::InputContext ctx() {
    return {state,      train, line,  mascon,  sounds, protection,
            indication, cab,   input, program, sound,  drive};
  }
  // Types each character; '<' is a wheel-up event and '>' a wheel-down event.
  void type(std::string_view keys) {
    for (char c : keys) step(c);
  }
  void step(char c) {
    auto x = ctx();
    if (c == '<') {
      input::WheelU(x);
    } else if (c == '>') {
      input::WheelD(x);
    } else {
      input::AsciiDown(x, c);
    }
  }
  void keyDown(int key, input::Modifiers m = 0) {
    auto x = ctx();
    input::keydowns(x, key, m);
  }
  void receive(std::string_view message) {
    auto x = ctx();
    input::RxChar(x, message);
  }
  void drain() {
    auto x = ctx();
    input::drainPostedEvents(x, drive.posted);
  }
  // The combined position: "EB", "B3", "H" (holding brake), "N", "P2".
  std::string position() const {
    if (state.HoldingBrake) return "H";
    if (state.BrakeHandle == -train.params.Brake) return "EB";
    if (state.BrakeHandle < 0) return "B" + std::to_string(-state.BrakeHandle);
    if (state.PowerHandle > 0) return "P" + std::to_string(state.PowerHandle);
    return "N";
  }
  // The position after each of `keys`, separated by spaces.
  std::string positionsAfter(std::string_view keys) {
    std::ostringstream out;
    for (char c : keys) {
      step(c);
      out << (out.tellp() > 0 ? " " : "") << position();
    }
    return out.str();
  }

  data::TrainFile train;
  data::LineFile line;
  data::ControllerMap mascon;
  data::SoundLayout sounds;
  sim::TrainState state;
  sim::ProtectionState protection;
  sim::IndicationState indication;
  sim::CabModel cab;
  input::InputState input;
  input::ProgramInputState program;
  FakeSoundSlots sound;
  FakeDrive drive;
};

}  // namespace dravolin::testing
