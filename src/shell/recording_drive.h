// The driving window's drive as the window hands its events to it: every input is given its
// virtual millisecond by the window's clock (which first runs the ticks due before it), written
// to the drive's recording, then handed to the drive. While the drive is paused its virtual
// time stands still, so an event recorded then is written out at once. During a replay the
// driver's own inputs are not taken; the replay hands its events in through replayed().
#pragma once

#include <charconv>
#include <memory>
#include <string_view>

#include "drive/recording.h"
#include "platform/virtual_time_sound_slots.h"
#include "shell/drive_clock.h"
#include "shell/drive_handlers.h"

namespace dravolin::shell {

class RecordingDrive final : public DriveHandlers {
 public:
  RecordingDrive(std::unique_ptr<DriveHandlers> drive, DriveClock& clock,
                 platform::VirtualTimeSoundSlots* sounds)
      : d_(std::move(drive)), clock_(clock), sounds_(sounds) {}

  // Where the events are written; none: not recorded.
  void setRecorder(drive::DriveRecorder* recorder) { recorder_ = recorder; }
  // A replay: only the replay's events reach the drive.
  void setReplaying(bool on) { replaying_ = on; }
  bool replaying() const { return replaying_; }
  // Runs `apply` with the replay's events let through.
  template <typename F>
  void replayed(F&& apply) {
    const bool was = passReplay_;
    passReplay_ = true;
    apply();
    passReplay_ = was;
  }

  // Any script event (a controller's "axis 0 -12000"): recorded at its millisecond; returns
  // whether the drive takes it (not during a replay's own time).
  bool recordLine(std::string_view text) {
    if (!live()) return false;
    const int t = at();
    if (recorder_ != nullptr) recorder_->record(t, text);
    written();
    return true;
  }
  // The value display window was closed by its close box: F5 shows it again.
  void valuesClosed() {
    if (!live()) return;
    const int t = at();
    if (recorder_ != nullptr) recorder_->recordEvent(t, drive::ScriptEventKind::ValuesClosed);
    written();
    d_->valueDisplay().visible = false;
  }

  void MMTimer1Timer() override { d_->MMTimer1Timer(); }
  void Timer1Timer() override { d_->Timer1Timer(); }
  void start1Click() override {
    if (!live()) return;
    const int t = at();
    if (recorder_ != nullptr) recorder_->recordEvent(t, drive::ScriptEventKind::Start);
    written();
    d_->start1Click();
  }
  void keydowns(int virtualKey, unsigned modifiers) override {
    if (!live()) return;
    const int t = at();
    if (recorder_ != nullptr) recorder_->recordKey(t, virtualKey, modifiers);
    written();
    d_->keydowns(virtualKey, modifiers);
  }
  void AsciiDown(char key) override {
    if (!live()) return;
    const int t = at();
    if (recorder_ != nullptr) recorder_->recordChar(t, key);
    written();
    d_->AsciiDown(key);
  }
  void WheelD() override {
    if (!live()) return;
    const int t = at();
    if (recorder_ != nullptr) recorder_->recordEvent(t, drive::ScriptEventKind::WheelDown);
    written();
    d_->WheelD();
  }
  void WheelU() override {
    if (!live()) return;
    const int t = at();
    if (recorder_ != nullptr) recorder_->recordEvent(t, drive::ScriptEventKind::WheelUp);
    written();
    d_->WheelU();
  }
  void RxChar(const std::string& message) override {
    if (!live()) return;
    const int t = at();
    if (recorder_ != nullptr) recorder_->recordSerial(t, message);
    written();
    d_->RxChar(message);
  }
  // A USB controller's command, recorded as such ("controller 3"): it replays the same whatever
  // the device's profile and calibration were.
  void ControllerCommand(int line) override {
    if (!live()) return;
    const int t = at();
    if (recorder_ != nullptr) recorder_->recordController(t, line);
    written();
    d_->ControllerCommand(line);
  }
  void StationClick(const std::string& itemName) override {
    if (!live()) return;
    const int t = at();
    if (recorder_ != nullptr && itemName.starts_with("Sta")) {
      int station = 0;
      const char* first = itemName.data() + 3;
      const char* last = itemName.data() + itemName.size();
      if (std::from_chars(first, last, station).ptr == last && first != last) {
        recorder_->recordStation(t, station);
      }
    }
    written();
    d_->StationClick(itemName);
  }
  void FormCloseQuery() override {
    const int t = at();
    if (recorder_ != nullptr) recorder_->end(t);
    d_->FormCloseQuery();
  }
  const drive::DriveData& data() const override { return d_->data(); }
  sim::TrainState& state() override { return d_->state(); }
  const sim::CabModel& cab() const override { return d_->cab(); }
  cab::ValueDisplay& valueDisplay() override { return d_->valueDisplay(); }
  drive::ShownFrame& shownFrame() override { return d_->shownFrame(); }
  const drive::Evaluation* evaluation() const override { return d_->evaluation(); }

  DriveHandlers& inner() { return *d_; }
  // Whether an input handed in now reaches the drive.
  bool live() const { return !replaying_ || passReplay_; }

 private:
  // While paused virtual time stands still: what was recorded is written out at once.
  void written() {
    if (recorder_ != nullptr && !clock_.running()) recorder_->flush();
  }
  // The millisecond of an input handled now; the sounds' virtual time moves to it.
  int at() {
    const int t = clock_.eventMs();
    if (sounds_ != nullptr) sounds_->setTimeMs(t);
    return t;
  }

  std::unique_ptr<DriveHandlers> d_;
  DriveClock& clock_;
  platform::VirtualTimeSoundSlots* sounds_;
  drive::DriveRecorder* recorder_ = nullptr;
  bool replaying_ = false;
  bool passReplay_ = false;
};

}  // namespace dravolin::shell
