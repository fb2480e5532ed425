// The handle steps that the character keys, the mouse wheel and the controller box share. They
// write the handle variables, the holding brake and the change-pending flags; none of them calls
// the handle display, which is the caller's last step.
#pragma once

#include "input/input_context.h"

namespace dravolin::input {

// The input prologue: the EB device's idle counter to 0, its buzzer stopped, its lamp hidden.
void resetEbDevice(InputContext& ctx);

// One step of the combined handle towards power ("8", "z" on the combined handle, wheel down):
// brake released first (through the holding position on a "[Hold]" 1 train), then power up.
// Plays the brake release sound as the brake type requires. Sets both change-pending flags.
void stepTowardsPower(InputContext& ctx);

// The brake-apply step. Its first part always leaves the holding position for brake step 1 and
// sets the hold-exit latch; the rest (only when `rest` is true) moves one step towards the brake,
// down to `lowest` at most: from neutral a "[Hold]" 1 train goes to the holding position, and the
// step right after leaving it ends there (the latch is cleared). Returns whether the rest ran.
bool brakeApplyStep(InputContext& ctx, int lowest, bool rest);

// Puts the reverser at `position` (1 forward, 0 neutral, -1 reverse) with its direction lamps:
// Lamp_Fwd lit only forward, Lamp_Bck only in reverse.
void setReverserPosition(InputContext& ctx, int position);

// The lowest brake position the keys reach by single steps: the service step above emergency.
int lowestServiceStep(const InputContext& ctx);

}  // namespace dravolin::input
