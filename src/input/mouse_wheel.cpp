#include "input/mouse_wheel.h"

#include "input/handle_steps.h"

namespace dravolin::input {

void WheelD(InputContext& ctx) {
  resetEbDevice(ctx);
  stepTowardsPower(ctx);
  ctx.actions.masconupdate();
}

void WheelU(InputContext& ctx) {
  resetEbDevice(ctx);
  sim::TrainState& s = ctx.state;
  brakeApplyStep(ctx, -ctx.params().Brake, s.PowerHandle == 0);
  if (s.BrakeHandle == 0 && s.PowerHandle > 0) {
    s.PowerHandle -= 1;
  }
  s.PowerChangePending = true;
  s.BrakeChangePending = true;
  ctx.actions.masconupdate();
}

}  // namespace dravolin::input
