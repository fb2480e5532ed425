#include "drive/drive.h"

#include <algorithm>

#include "sim/clock.h"
#include "sim/fixed.h"
#include "sim/simulation_tick.h"

namespace dravolin::drive {

namespace {

sim::HandleTexts handleTexts(const data::Settings& st) {
  return {st.Forward, st.Neutral,  st.Reverse, st.Neut,  st.Neut2,
          st.EB,      st.Maintain, st.Hold,    st.Apply, st.Hold2};
}

}  // namespace

Drive::Drive(DriveData data, platform::SoundSlots& sound)
    : data_(std::move(data)),
      sound_(sound),
      handleTexts_(handleTexts(data_.files.settings)),
      stationTexts_{data_.files.settings.Stop, data_.files.settings.Pass,
                    data_.files.settings.Stop2} {
  stationFlags_.reset(data_.files.line.stations.size());
}

sim::DoorSounds Drive::doorSounds() const {
  return {data_.files.train.Sound_DoorOpen, data_.files.train.Sound_DoorClose};
}

void Drive::masconupdate() {
  sim::masconupdate(data_.state, data_.files.train.params, handleTexts_, data_.cab);
}

void Drive::Door_operate() { sim::Door_operate(data_.state, sound_, doorSounds()); }

void Drive::timecalc(int time) { sim::timecalc(time, data_.cab.Label3, data_.cab.clock); }

void Drive::MMTimer1Timer() {
  sim::MMTimer1Timer(data_.state, data_.files.train.params, data_.files.line.params);
}

void Drive::doorClosingStep() {
  sim::doorClosingStep(data_.state, data_.cab.Lamp_Door, sound_, doorSounds());
}

void Drive::stationStep() {
  const sim::StationLine line{data_.files.line.stations, stationTexts_,
                              data_.files.line.oneMan != 0, data_.sounds.D, doorSounds()};
  sim::stationStep(data_.state, line, stationFlags_, data_.cab, sound_);
}

void Drive::StationClick(const std::string& itemName) {
  const std::vector<sim::StationRecord>& stations = data_.files.line.stations;
  const sim::LineParams& lp = data_.files.line.params;
  const sim::TrainParams& tp = data_.files.train.params;
  sim::TrainState& s = data_.state;

  // 1. The station the entry names. An unknown name must not move the train to station 0.
  int b = -1;
  for (std::size_t n = 0; n < stations.size(); ++n) {
    if (itemName == "Sta" + std::to_string(n)) b = static_cast<int>(n);
  }
  if (b < 0) return;
  const sim::StationRecord& to = stations[static_cast<std::size_t>(b)];

  // 2. Stopping stations before it: two announcements each have been made.
  const auto k = std::count_if(stations.begin(), stations.begin() + b,
                               [](const sim::StationRecord& r) { return r.type == 0; });

  s.Speed = sim::Fixed{};                // 3
  stationFlags_.reset(stations.size());  // 4
  const int lastLineSlot = std::min(data_.sounds.D + data_.sounds.S + data_.sounds.K,
                                    platform::SoundSlots::kSlotCount - 1);
  for (int slot = 1; slot <= lastLineSlot; ++slot) sound_.stop(slot);  // 5
  s.DoorsOpen = false;                                                 // 6
  data_.cab.Lamp_Door.visible = true;
  s.FrameIndex =  // 7
      sim::roundToInt((static_cast<long double>(to.rangeStart) + to.rangeEnd) / 2.0L);
  data_.cab.Label4.text = to.nameUtf8;         // 8
  s.ClockTicks = to.departureSoundTime - 150;  // 9
  const int ticksPerFrame = lp.FrameRate >= 1 && lp.FrameRate <= 30 ? 30 / lp.FrameRate : 1;
  s.ScheduleFrame =
      sim::roundToInt(static_cast<long double>(s.ClockTicks - lp.StartTime) / ticksPerFrame) +
      lp.StartPos + s.PreTimeFrames;  // 10
  s.HeadGradient = sim::Fixed{};      // 11
  s.Gradient = sim::Fixed{};
  protection_.ShownCode = sim::kRedrawSignal;
  indication_.LimitBlinking = false;
  s.PowerHandle = 0;  // 12
  s.PowerNotch = 0;
  s.BrakeHandle = -tp.Brake;
  s.BrakeNotch = -tp.Brake;
  s.DistanceToStop = 0;                             // 13
  masconupdate();                                   // 14
  input_.AnnounceCursor = 2 * static_cast<int>(k);  // 15
  s.DistanceStep = 0;                               // 16
  s.Distance = to.stopDistance;                     // 17
  s.SpeedUnitSegment = -1;                          // 18
  // The stop mark is this station's, so the stop line does not show the whole way as an overrun.
  s.NextStopDistance = to.stopDistance;
}

}  // namespace dravolin::drive
