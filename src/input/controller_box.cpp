#include "input/controller_box.h"

#include <algorithm>

#include "input/handle_steps.h"
#include "input/keyboard.h"

namespace dravolin::input {

namespace {

// The box's emergency position.
constexpr int kBoxEmergency = -9;

// The box's codes are those of a handle with 6 power notches and 8 service brake steps; on a
// train with fewer, a code beyond the train's last notch or service step means that last one, and
// emergency is always the train's own emergency position, so the handles stay in the train's range.
//
// A handle position from the box is a position of the whole handle: it leaves the holding brake
// position, and no brake step is left to end on step 1.
void setHandles(InputContext& ctx, int power, int brake) {
  const sim::TrainParams& p = ctx.train.params;
  ctx.state.HoldingBrake = false;
  ctx.input.HoldExitLatch = false;
  ctx.state.PowerHandle = std::clamp(power, 0, std::max(p.Power, 0));
  ctx.state.BrakeHandle = brake == kBoxEmergency ? -std::max(p.Brake, 0)
                                                 : std::clamp(brake, 1 - std::max(p.Brake, 1), 0);
  ctx.state.PowerChangePending = true;
  ctx.state.BrakeChangePending = true;
}

// The action of code line `line` (1 to 22). With `fit` the handle positions stay within the
// train's own range: a power notch above its last is its last, a brake step beyond its service
// steps its last service step, and emergency its own emergency position.
void act(InputContext& ctx, int line, bool fit) {
  sim::TrainState& s = ctx.state;
  const int lastPower = std::max(0, ctx.params().Power);
  const int emergency = std::max(1, ctx.params().Brake);
  if (line <= 6) {  // power 1 to 6
    setHandles(ctx, fit ? std::min(line, lastPower) : line, 0);
  } else if (line == 7) {  // neutral
    setHandles(ctx, 0, 0);
  } else if (line <= 15) {  // brake 1 to 8
    setHandles(ctx, 0, -(fit ? std::min(line - 7, std::max(1, emergency - 1)) : line - 7));
  } else if (line == 16) {  // emergency
    setHandles(ctx, 0, kBoxEmergency);
    platform::restart(ctx.sound, ctx.train.Sound_EB);
  } else if (line <= 19) {  // reverser forward, neutral, reverse
    if (sim::abs(s.Speed) > sim::Fixed::fromInt(1)) return;
    setReverserPosition(ctx, line == 17 ? 1 : line == 18 ? 0 : -1);
  } else if (line == 20) {
    ctx.actions.postEvent(PostedEvent::character(' '));
    return;
  } else if (line == 21) {
    ctx.actions.postEvent(PostedEvent::character('3'));
    return;
  } else {
    ctx.actions.postEvent(PostedEvent::keyDown(kKeyEnter));
    return;
  }
  ctx.actions.masconupdate();
}

}  // namespace

void RxChar(InputContext& ctx, std::string_view message) {
  resetEbDevice(ctx);
  ctx.actions.setValueDisplayCaption(std::string(message));
  const std::string_view key = message.substr(0, kControllerKeyLength);
  const auto& codes = ctx.mascon.codes;
  const int lines = std::min(kControllerLines, static_cast<int>(codes.size()));
  for (int i = 0; i < lines; ++i) {
    if (codes[i] == key) act(ctx, i + 1, false);
  }
}

void deviceCommand(InputContext& ctx, int line) {
  if (line < 1 || line > kControllerLines) return;
  resetEbDevice(ctx);
  act(ctx, line, true);
}

void drainPostedEvents(InputContext& ctx, PostedEvents& events) {
  while (!events.empty()) {
    const PostedEvent e = events.take();
    if (e.kind == PostedEvent::Kind::Character) {
      char c = static_cast<char>(e.code);
      AsciiDown(ctx, c);
    } else {
      keydowns(ctx, e.code, 0);
    }
  }
}

}  // namespace dravolin::input
