// The drive's run: creation, start and pause, closing, and the input handlers with the events
// they post.
#include <algorithm>

#include "drive/drive.h"
#include "input/controller_box.h"
#include "input/keyboard.h"
#include "input/mouse_wheel.h"
#include "platform/message_ids.h"

namespace dravolin::drive {

std::unique_ptr<Drive> Drive::FormCreate(const LoadRequest& request,
                                         const StartupServices& services,
                                         input::ProgramInputState& program,
                                         const StartupProgress& progress) {
  auto drive =
      std::make_unique<Drive>(loadDriveData(request, services, progress), services.sounds, program);
  // The start-up ends with the handle display.
  drive->masconupdate();
  return drive;
}

void Drive::start1Click() {
  running_ = !running_;
  startCaption_ = (running_ ? msg::pauseCaption() : msg::resumeCaption()).text();
  data_.state.AwaitingStart = false;
  // The current frame is drawn at the next chance, whichever frame was shown before.
  shownFrame_.requestRedraw();
}

void Drive::FormCloseQuery() {
  running_ = false;
  sim::TrainState& s = data_.state;
  s.DistanceToStop = 0;
  protection_.PatternState = 0;
  protection_.PreviousPatternState = 0;
  s.AtsBrakeApplied = false;
  s.AtcBrakeApplied = false;
  // Every slot that holds a sound of this drive: the groups from slot 0, and the motor sounds.
  const SoundLayout& l = data_.sounds;
  const int below = std::min(l.otherSound(l.O), platform::SoundSlots::kSlotCount);
  for (int slot = 0; slot < below; ++slot) sound_.stop(slot);
  for (int i = 0; i < l.M && SoundLayout::motorSound(i) < platform::SoundSlots::kSlotCount; ++i) {
    sound_.stop(SoundLayout::motorSound(i));
  }
}

input::InputContext Drive::inputContext() {
  return {data_.state,  data_.files.train, data_.files.line, data_.files.mascon,
          data_.sounds, protection_,       indication_,      data_.cab,
          input_,       program_,          sound_,           actions_};
}

void Drive::drainPosted(input::InputContext& ctx) {
  if (!posted_.empty()) input::drainPostedEvents(ctx, posted_);
}

namespace {

// The practice keys (Shift alone): the recording speed, the speed, the clock and the frame keys.
bool practiceKey(int virtualKey, input::Modifiers modifiers) {
  if (modifiers != input::kShift) return false;
  switch (virtualKey) {
    case input::kKeyF1:
    case input::kKeyF5:
    case input::kKeyF6:
    case input::kKeyF7:
    case input::kKeyF8:
    case input::kKeyF9:
    case input::kKeyF10:
    case input::kKeyF11:
    case input::kKeyF12:
      return true;
    default:
      return false;
  }
}

}  // namespace

void Drive::keydowns(int virtualKey, input::Modifiers modifiers) {
  // A drive that used them is judged as practice, whenever they were used: before Start they
  // would still change where the drive starts, its speed or its clock.
  if (practiceKey(virtualKey, modifiers)) evaluation_.markPractice();
  input::InputContext ctx = inputContext();
  input::keydowns(ctx, virtualKey, modifiers);
  drainPosted(ctx);
}

void Drive::AsciiDown(char key) {
  input::InputContext ctx = inputContext();
  input::AsciiDown(ctx, key);
  drainPosted(ctx);
}

void Drive::WheelD() {
  input::InputContext ctx = inputContext();
  input::WheelD(ctx);
  drainPosted(ctx);
}

void Drive::WheelU() {
  input::InputContext ctx = inputContext();
  input::WheelU(ctx);
  drainPosted(ctx);
}

void Drive::RxChar(std::string_view bytes) {
  input::InputContext ctx = inputContext();
  input::RxChar(ctx, bytes);
  drainPosted(ctx);
}

void Drive::ControllerCommand(int line) {
  input::InputContext ctx = inputContext();
  input::deviceCommand(ctx, line);
  drainPosted(ctx);
}

}  // namespace dravolin::drive
