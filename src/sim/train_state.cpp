#include "sim/train_state.h"

#include <algorithm>

#include "sim/route.h"

namespace dravolin::sim {

const char* wheelStateText(WheelState state) {
  switch (state) {
    case WheelState::Normal:
      return "Normal";
    case WheelState::Racing:
      return "Racing";
    case WheelState::Sliding:
      return "Sliding";
    case WheelState::None:
      break;
  }
  return "";
}

TrainState loadState(const TrainParams& train, const LineParams& line) {
  TrainState s;
  s.Speed = Fixed();
  s.Reverser = 1;
  s.PowerHandle = 0;
  s.BrakeHandle = -train.Brake;
  s.PowerNotch = 0;
  s.BrakeNotch = -train.Brake;
  s.BrakePressure = Fixed::fromInt(train.EBPress);
  s.MrPressure = Fixed::fromInt(train.HighAirPress);
  s.AdhesionBase = Fixed::fromRaw(3450);  // 0.345
  s.FrameIndex = line.StartPos;
  // Distance is measured from the line's origin from the start on, so entering the next row
  // does not make it jump; the row the train starts in is the one it is in.
  s.Distance = lineDistanceAt(line, line.StartPos);
  s.LastGradientSampleDistance = s.Distance;  // the gradient is sampled every 20 m run
  s.SpeedUnitSegment = std::max(speedUnitRowAt(line, line.StartPos), 0);
  s.ClockTicks = line.StartTime;
  s.PreTimeFrames = line.PreTimeFrames;
  s.ScheduleFrame = line.StartPos + line.PreTimeFrames;
  s.DoorsOpen = true;
  s.DoorCommand = true;
  s.LineVoltageTarget = Fixed::fromInt(18);
  s.AwaitingStart = true;
  return s;
}

}  // namespace dravolin::sim
