// What the driving window asks of one drive: the handlers it forwards its events to, and the
// models it draws. The real drive is wrapped by makeDriveHandlers(); tests may give their own.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "cab/value_display.h"
#include "drive/drive_data.h"
#include "drive/evaluation.h"
#include "drive/shown_frame.h"
#include "drive/startup.h"
#include "platform/sound_slots.h"
#include "sim/cab_model.h"
#include "sim/train_state.h"

namespace dravolin::shell {

class DriveHandlers {
 public:
  virtual ~DriveHandlers() = default;

  // The 33 ms simulation tick and the 100 ms display tick.
  virtual void MMTimer1Timer() = 0;
  virtual void Timer1Timer() = 0;
  // The drive's part of the Start command (the first one ends the wait for the start).
  virtual void start1Click() = 0;
  // A key-down (virtual key code, modifier set) and a typed character.
  virtual void keydowns(int virtualKey, unsigned modifiers) = 0;
  virtual void AsciiDown(char key) = 0;
  // One notch of the mouse wheel.
  virtual void WheelD() = 0;
  virtual void WheelU() = 0;
  // A message received from the controller box.
  virtual void RxChar(const std::string& message) = 0;
  // A command of a USB controller: a code line of the controller box (1 to 22).
  virtual void ControllerCommand(int line) = 0;
  // A station entry of the "Move" menu, by its item name.
  virtual void StationClick(const std::string& itemName) = 0;
  // The drive's closing steps: train-state resets and every sound stopped. The ticks are
  // stopped before this is called.
  virtual void FormCloseQuery() = 0;

  // What start-up loading built (the tables, the station menu), read-only.
  virtual const drive::DriveData& data() const = 0;
  virtual sim::TrainState& state() = 0;
  virtual const sim::CabModel& cab() const = 0;
  virtual cab::ValueDisplay& valueDisplay() = 0;
  // What the cab view shows of the line video; the video presentation keeps it.
  virtual drive::ShownFrame& shownFrame() = 0;
  // The judgement of the drive's stops; none for a drive that is not judged.
  virtual const drive::Evaluation* evaluation() const { return nullptr; }
};

// Creates one drive: its start-up loading (progress texts to `progress`), then the handle
// display. Throws data::LoadError with the text to show.
using DriveFactory = std::function<std::unique_ptr<DriveHandlers>(
    const drive::LoadRequest& request, const drive::StartupServices& services,
    const drive::StartupProgress& progress)>;

}  // namespace dravolin::shell
