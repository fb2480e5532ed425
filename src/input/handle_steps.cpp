#include "input/handle_steps.h"

namespace dravolin::input {

void resetEbDevice(InputContext& ctx) {
  ctx.protection.EbIdleTicks = 0;
  ctx.sound.stop(ctx.train.Sound_EBring);
  ctx.cab.Lamp_EB.visible = false;
}

void setReverserPosition(InputContext& ctx, int position) {
  ctx.state.Reverser = position;
  ctx.cab.Lamp_Fwd.visible = position == 1;
  ctx.cab.Lamp_Bck.visible = position == -1;
}

int lowestServiceStep(const InputContext& ctx) { return -(ctx.params().Brake - 1); }

void stepTowardsPower(InputContext& ctx) {
  sim::TrainState& s = ctx.state;
  const sim::TrainParams& p = ctx.params();
  if (s.BrakeHandle == 0 && s.PowerHandle < p.Power && !s.HoldingBrake) {
    s.PowerHandle += 1;
  }
  s.HoldingBrake = false;
  if (s.PowerHandle == 0 && s.BrakeHandle < 0 && !s.HoldingBrake) {
    s.BrakeHandle += 1;
    if (p.Hold == 1 && s.BrakeHandle == 0) {
      s.HoldingBrake = true;
    }
    if (p.BrakeType != 0) {
      platform::startIfIdle(ctx.sound, ctx.train.Sound_br1);
    } else if (s.BrakeHandle == 0 && s.BrakePressure.raw() != 0) {
      platform::startIfIdle(ctx.sound, ctx.train.Sound_br1);
    }
  }
  s.PowerChangePending = true;
  s.BrakeChangePending = true;
}

bool brakeApplyStep(InputContext& ctx, int lowest, bool rest) {
  sim::TrainState& s = ctx.state;
  const int hold = ctx.params().Hold;
  bool& latch = ctx.input.HoldExitLatch;
  if (s.HoldingBrake) {
    s.HoldingBrake = false;
    s.BrakeHandle = -1;
    latch = true;
  }
  if (!rest) {
    return false;
  }
  if (s.BrakeHandle > lowest && !s.HoldingBrake) {
    if (hold == 1) {
      if (s.BrakeHandle == 0) {
        s.HoldingBrake = true;
      } else if (!latch) {
        s.BrakeHandle -= 1;
      }
      latch = false;
    } else {
      s.BrakeHandle -= 1;
    }
  }
  return true;
}

}  // namespace dravolin::input
