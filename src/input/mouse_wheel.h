// The mouse wheel works the combined handle whatever the train's handle arrangement, also before
// the first Start and regardless of the keypad swap: down one step towards power, up one step
// towards the brake, reaching emergency by single steps and silently.
#pragma once

#include "input/input_context.h"

namespace dravolin::input {

void WheelD(InputContext& ctx);
void WheelU(InputContext& ctx);

}  // namespace dravolin::input
