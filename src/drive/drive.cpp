#include "drive/drive.h"

#include <algorithm>
#include <limits>

#include "cab/instruments.h"
#include "sim/clock.h"
#include "sim/fixed.h"
#include "sim/simulation_tick.h"

namespace dravolin::drive {

namespace {

sim::HandleTexts handleTexts(const data::Settings& st) {
  return {st.Forward, st.Neutral,  st.Reverse, st.Neut,  st.Neut2,
          st.EB,      st.Maintain, st.Hold,    st.Apply, st.Hold2};
}

// Clock and frame sums of file values may leave 32 bits; they saturate instead.
int saturated(long long v) {
  return static_cast<int>(
      std::clamp<long long>(v, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

}  // namespace

sim::ProtectionParams protectionParams(const data::TrainFile& train, const data::LineFile& line) {
  sim::ProtectionParams p;
  p.ATS_Type = sim::atsTypeOf(train.ATS_Type);
  p.ATS_Alert = sim::atsAlertOf(train.ATS_Alert);
  p.ATS_Time = train.ATS_Time;
  p.ATS_Cnt = sim::atsChimeOf(train.ATS_Cnt);
  p.Brake = train.params.Brake;
  p.BrakeRate = train.params.BrakeRate;
  p.Speed_YY = line.speedYY;
  p.Speed_Y = line.speedY;
  p.Speed_YG = line.speedYG;
  p.Speed_G = line.speedG;
  p.Sound_Ats1 = train.Sound_Ats1;
  p.Sound_Ats2 = train.Sound_Ats2;
  p.Sound_Atc = train.Sound_Atc;
  p.Sound_EBring = train.Sound_EBring;
  return p;
}

Drive::Drive(DriveData data, platform::SoundSlots& sound, input::ProgramInputState& program)
    : data_(std::move(data)),
      sound_(sound),
      program_(program),
      handleTexts_(handleTexts(data_.files.settings)),
      stationTexts_{data_.files.settings.Stop, data_.files.settings.Pass,
                    data_.files.settings.Stop2},
      protectionParams_(drive::protectionParams(data_.files.train, data_.files.line)),
      soundControl_(cab::startSoundControl(data_.files.train, data_.files.line)),
      startCaption_(data_.files.settings.Start.value_or(std::string(kStartCaption))) {
  stationFlags_.reset(data_.files.line.stations.size());
  signalState_.fit(data_.files.line.signals.size());
  protection_.EbFitted = data_.files.train.EB == 1;
  evaluation_ = Evaluation(data_.files.line, data_.state, -data_.files.train.params.Brake);
  lineEnd_ = lineEndFrame();
  reserveTickTexts();
}

void Drive::reserveTickTexts() {
  // The display tick writes these texts while the train runs; with room for the longest text
  // each can hold, no tick allocates.
  const data::LineFile& line = data_.files.line;
  std::size_t station = 0;
  for (const sim::StationRecord& st : line.stations)
    station = std::max(station, st.nameUtf8.size());
  const std::size_t suffix =
      std::max({stationTexts_.Stop.size(), stationTexts_.Pass.size(), stationTexts_.Stop2.size()});
  data_.cab.Label4.text.reserve(station + suffix);
  std::size_t signal = 0;
  for (const sim::SignalRecord& sg : line.signals) signal = std::max(signal, sg.nameUtf8.size());
  data_.cab.SignalLabel.text.reserve(signal);
  data_.cab.Title.reserve(line.lineNameUtf8.size());
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
  keepFrameInVideo();
  bufferStop();
  cab::ammeterTarget(data_.state, data_.files.train.params);
}

int Drive::lineEndFrame() const {
  if (data_.videoFrameCount > 0) return data_.videoFrameCount - 1;
  int end = -1;
  for (const sim::SpeedUnitRow& row : data_.files.line.params.SpeedUnit) {
    end = std::max(end, row.endFrame);
  }
  return end;
}

void Drive::keepFrameInVideo() {
  // The train's picture is a frame of the line video: running backwards from its first frame,
  // past its last one or a frame key beyond either end leaves the train on that end frame.
  int& frame = data_.state.FrameIndex;
  frame = std::max(frame, 0);
  if (lineEnd_ >= 0) frame = std::min(frame, lineEnd_);
}

void Drive::bufferStop() {
  // The line ends where its video ends: a train running onto the line's last frame (or back
  // onto its first) stops there, as at a buffer stop, with the handles at power off and
  // emergency. Without it the picture would hold while the train and its distance ran on.
  sim::TrainState& s = data_.state;
  if (lineEnd_ < 0) return;
  const bool atEnd = s.FrameIndex >= lineEnd_ && s.Speed > sim::Fixed{};
  const bool atStart = s.FrameIndex <= 0 && s.Speed < sim::Fixed{};
  if (!atEnd && !atStart) return;
  const sim::TrainParams& tp = data_.files.train.params;
  s.Speed = sim::Fixed{};
  s.FrameAccumulator = 0;
  s.PowerHandle = 0;
  s.PowerNotch = 0;
  s.PowerChangePending = false;
  s.BrakeHandle = -tp.Brake;
  s.BrakeNotch = -tp.Brake;
  s.BrakeChangePending = false;
  masconupdate();
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

  // The station the entry names. An unknown name must not move the train to station 0.
  int b = -1;
  for (std::size_t n = 0; n < stations.size(); ++n) {
    if (itemName == "Sta" + std::to_string(n)) b = static_cast<int>(n);
  }
  if (b < 0) return;
  const sim::StationRecord& to = stations[static_cast<std::size_t>(b)];
  // Before Start the move chooses where the drive begins; once driving, it is practice.
  if (!s.AwaitingStart) evaluation_.markPractice();

  // Stopping stations before it: two announcements each have been made.
  const auto k = std::count_if(stations.begin(), stations.begin() + b,
                               [](const sim::StationRecord& r) { return r.type == 0; });

  // At rest at the stop position, doors closed and the line sounds silent, five seconds before
  // the departure sound, handles at emergency. The brake air, the clock display and pending
  // handle changes stay as they are.
  s.Speed = sim::Fixed{};
  stationFlags_.reset(stations.size());
  const int lastLineSlot = std::min(data_.sounds.D + data_.sounds.S + data_.sounds.K,
                                    platform::SoundSlots::kSlotCount - 1);
  for (int slot = 1; slot <= lastLineSlot; ++slot) sound_.stop(slot);
  cab::forgetAnnouncementWindows(soundControl_);
  s.DoorsOpen = false;
  data_.cab.Lamp_Door.visible = true;
  s.FrameIndex = sim::roundToInt((static_cast<long double>(to.rangeStart) + to.rangeEnd) / 2.0L);
  data_.cab.Label4.text = to.nameUtf8;
  s.ClockTicks = saturated(static_cast<long long>(to.departureSoundTime) - 150);
  const int ticksPerFrame = lp.FrameRate >= 1 && lp.FrameRate <= 30 ? 30 / lp.FrameRate : 1;
  const long double sinceStart =
      static_cast<long double>(s.ClockTicks) - static_cast<long double>(lp.StartTime);
  s.ScheduleFrame = saturated(static_cast<long long>(sim::roundToInt(sinceStart / ticksPerFrame)) +
                              lp.StartPos + s.PreTimeFrames);
  s.HeadGradient = sim::Fixed{};
  s.Gradient = sim::Fixed{};
  protection_.ShownCode = sim::kRedrawSignal;
  indication_.LimitBlinking = false;
  s.PowerHandle = 0;
  s.PowerNotch = 0;
  s.BrakeHandle = -tp.Brake;
  s.BrakeNotch = -tp.Brake;
  s.DistanceToStop = 0;
  masconupdate();
  input_.AnnounceCursor = 2 * static_cast<int>(k);
  s.DistanceStep = 0;
  s.Distance = to.stopDistance;
  s.SpeedUnitSegment = -1;
  // The stop mark is this station's, so the stop line does not show the whole way as an overrun.
  s.NextStopDistance = to.stopDistance;
  // The judgement starts again from this station.
  evaluation_.moved(s);
}

}  // namespace dravolin::drive
