// One drive: the driving window's logic for one run, with no toolkit. It owns the train state,
// the tables and the cab model (all held in its DriveData), the protection, indication, sound
// and input state, the per-station progress and the run state of the start/pause command, and
// it uses the sound service it is given. Its methods keep the driving window's handler names
// and sequence the steps of sim/, cab/ and input/.
//
// Sections: creation; start, pause and closing; the ticks; input handlers; display-tick steps
// of its own; what the drive holds.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "cab/sound_control.h"
#include "cab/value_display.h"
#include "drive/drive_data.h"
#include "drive/evaluation.h"
#include "drive/shown_frame.h"
#include "drive/startup.h"
#include "input/input_context.h"
#include "input/input_state.h"
#include "input/key_codes.h"
#include "platform/sound_slots.h"
#include "sim/doors.h"
#include "sim/handles.h"
#include "sim/protection_params.h"
#include "sim/protection_state.h"
#include "sim/signals.h"
#include "sim/station_stops.h"

namespace dravolin::drive {

// Captions of the Start item once it has been used: msg::pauseCaption() and msg::resumeCaption().
// The Start item's designed caption, shown until the settings file gives another.
inline constexpr std::string_view kStartCaption = "Start";

// The train-file and line-file values the signals and train protection read.
sim::ProtectionParams protectionParams(const data::TrainFile& train, const data::LineFile& line);

class Drive {
 public:
  // Takes over what start-up loading built; its state and cab model become the live ones.
  // `program` is the input state kept across drives (the keypad swap); it must outlive the drive.
  Drive(DriveData data, platform::SoundSlots& sound, input::ProgramInputState& program);

  Drive(const Drive&) = delete;
  Drive& operator=(const Drive&) = delete;

  // --- creation ---

  // The whole start-up: loading, then the handle display once. Throws data::LoadError.
  static std::unique_ptr<Drive> FormCreate(const LoadRequest& request,
                                           const StartupServices& services,
                                           input::ProgramInputState& program,
                                           const StartupProgress& progress = {});

  // --- start, pause and closing ---

  // Start, pause or resume: toggles the running flag (the owner starts or stops both ticks by
  // it), clears AwaitingStart and asks for the current frame to be drawn once more.
  void start1Click();
  // Whether both ticks run; a reference, so a virtual-time loop can watch it change.
  const bool& running() const { return running_; }
  // The Start item's caption: the loaded caption until first used, then pause or resume.
  const std::string& startCaption() const { return startCaption_; }
  // What the cab view shows of the line video; the video presentation asks it whether a frame
  // is due and tells it what it drew.
  ShownFrame& shownFrame() { return shownFrame_; }
  const ShownFrame& shownFrame() const { return shownFrame_; }
  // The drive's part of closing the window: stops the ticks, resets the distance to the stop,
  // the pattern states and both protection brakes, and stops every sound slot in use.
  void FormCloseQuery();

  // --- the ticks ---

  // One 33 ms simulation tick.
  void MMTimer1Timer();
  // One 100 ms display tick: the second half of the physics, protection, station stops and the
  // presentation of the state, in their one order.
  void Timer1Timer();

  // --- input handlers; events they post are handled right after them, in order ---

  void keydowns(int virtualKey, input::Modifiers modifiers);
  void AsciiDown(char key);
  void WheelD();
  void WheelU();
  // One receive event of the controller box: every byte that was waiting.
  void RxChar(std::string_view bytes);
  // One command of a USB controller, gamepad or joystick: a code line (1 to 22) of the
  // controller box, performed as the box's, with the handles kept within the train's range.
  void ControllerCommand(int line);

  // --- handlers shared by several events ---

  // Shows the handle positions in the cab.
  void masconupdate();
  // The door key: opens or starts closing the doors at standstill.
  void Door_operate();
  // A station entry of the "Move" menu, named "Sta" followed by the station index: puts the
  // train at rest at that station's stop position, five seconds before its departure sound.
  // A name that matches no station does nothing.
  void StationClick(const std::string& itemName);
  // Shows `time` (1/30 s) in the clock digits and on the clock face.
  void timecalc(int time);

  // --- display-tick steps of the drive's own ---

  // Door closing and the door lamp.
  void doorClosingStep();
  // The station stop sequence.
  void stationStep();

  // --- what the drive holds ---

  sim::TrainState& state() { return data_.state; }
  const sim::TrainState& state() const { return data_.state; }
  sim::CabModel& cab() { return data_.cab; }
  const sim::CabModel& cab() const { return data_.cab; }
  sim::ProtectionState& protection() { return protection_; }
  const sim::ProtectionState& protection() const { return protection_; }
  const sim::ProtectionParams& protectionParams() const { return protectionParams_; }
  sim::IndicationState& indication() { return indication_; }
  const sim::IndicationState& indication() const { return indication_; }
  input::InputState& input() { return input_; }
  const input::InputState& input() const { return input_; }
  const sim::StationFlags& stationFlags() const { return stationFlags_; }
  const sim::SignalState& signalState() const { return signalState_; }
  const cab::SoundControlState& soundControl() const { return soundControl_; }
  cab::ValueDisplay& valueDisplay() { return valueDisplay_; }
  const cab::ValueDisplay& valueDisplay() const { return valueDisplay_; }
  int gearShown() const { return gearShown_; }
  const DriveData& data() const { return data_; }
  // Display ticks run so far.
  int displayTickCount() const { return displayTicks_; }
  // The judgement of the drive's stops so far.
  const Evaluation& evaluation() const { return evaluation_; }

 private:
  // What the input handlers ask of the drive.
  class Actions : public input::DriveActions {
   public:
    explicit Actions(Drive& drive) : drive_(drive) {}
    void masconupdate() override { drive_.masconupdate(); }
    void Door_operate() override { drive_.Door_operate(); }
    bool valueDisplayVisible() const override { return drive_.valueDisplay_.visible; }
    void setValueDisplayVisible(bool visible) override { drive_.valueDisplay_.visible = visible; }
    void setValueDisplayCaption(const std::string& text) override {
      drive_.valueDisplay_.caption = text;
    }
    void postEvent(const input::PostedEvent& event) override { drive_.posted_.post(event); }

   private:
    Drive& drive_;
  };

  sim::DoorSounds doorSounds() const;
  input::InputContext inputContext();
  // Handles the events the last input event posted.
  void drainPosted(input::InputContext& ctx);
  // The line's last frame: the line video's, or without a video the frame where the speed
  // profile ends; -1 with neither.
  int lineEndFrame() const;
  // Keeps FrameIndex within the line (from frame 0 to lineEnd_ when known).
  void keepFrameInVideo();
  // Stops a train that runs onto either end frame of the line.
  void bufferStop();
  // Gives the labels the display tick writes room for their longest texts.
  void reserveTickTexts();

  // Display-tick steps that group several calls or gather many arguments.
  void compressorStep();
  void placeSoundsStep();
  void gradientStep();
  void signalStatesStep();
  void signalAheadStep();
  void protectionStep();
  void ebDeviceStep();
  void trainSoundsStep();

  DriveData data_;
  platform::SoundSlots& sound_;
  input::ProgramInputState& program_;
  Actions actions_{*this};
  sim::HandleTexts handleTexts_;
  sim::StationTexts stationTexts_;
  sim::ProtectionParams protectionParams_;
  sim::ProtectionState protection_;
  sim::IndicationState indication_;
  sim::SignalState signalState_;
  cab::SoundControlState soundControl_;
  cab::ValueDisplay valueDisplay_;
  input::InputState input_;
  input::PostedEvents posted_;
  sim::StationFlags stationFlags_;
  Evaluation evaluation_;
  int displayTicks_ = 0;
  int gearShown_ = 0;  // gear picture drawn last; -1 the neutral picture
  int lineEnd_ = -1;   // lineEndFrame()
  bool running_ = false;
  ShownFrame shownFrame_;
  std::string startCaption_;
};

}  // namespace dravolin::drive
