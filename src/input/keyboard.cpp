// Sections: helpers; call-out; key-down handler; character handler (handles, other keys).
#include "input/keyboard.h"

#include "platform/message_ids.h"

#include <limits>

#include "input/ats_buttons.h"
#include "input/handle_steps.h"
#include "sim/signals.h"

namespace dravolin::input {

// --- helpers ---

namespace {

// Adds without overflowing: the frame and clock adjustments are not clamped otherwise.
void addSaturating(int& x, int delta) {
  const long long sum = static_cast<long long>(x) + delta;
  if (sum > std::numeric_limits<int>::max()) {
    x = std::numeric_limits<int>::max();
  } else if (sum < std::numeric_limits<int>::min()) {
    x = std::numeric_limits<int>::min();
  } else {
    x = static_cast<int>(sum);
  }
}

// Restarts announcement k when the line has it. Without "[KankoSound2]" the line has no
// announcements at all, and the slots after the line sounds belong to the other-indication sounds.
void restartAnnouncement(InputContext& ctx, int k) {
  if (k >= 0 && k < ctx.sounds.K) platform::restart(ctx.sound, ctx.sounds.announcement(k));
}

// The slot of line sound i, or -1 (on which every slot operation does nothing) when the line has
// no such sound.
int lineSoundSlot(const InputContext& ctx, int i) {
  return i >= 0 && i < ctx.sounds.S ? ctx.sounds.lineSound(i) : -1;
}

// The name an announcement is chosen by: empty for the 28 fixed ones.
const std::string& announcementName(const InputContext& ctx, int k) {
  static const std::string none;
  const int extra = k - data::kFixedAnnouncements;
  if (extra >= 0 && extra < static_cast<int>(ctx.line.kankoSound2.size())) {
    return ctx.line.kankoSound2[extra].textUtf8;
  }
  return none;
}

// The fixed call-out announcement of an indication code's class; -1 for none.
int fixedCallOut(int code) {
  if (code == 1) return 5;  // repeater, no class
  switch (sim::indicationClass(code)) {
    case sim::IndicationClass::R:
      return 0;
    case sim::IndicationClass::YY:
      return 1;
    case sim::IndicationClass::Y:
      return 2;
    case sim::IndicationClass::YG:
      return 3;
    case sim::IndicationClass::G:
      return 4;
    case sim::IndicationClass::None:
      break;
  }
  return -1;
}

bool reverserFree(const sim::TrainState& s) { return sim::abs(s.Speed) <= sim::Fixed::fromInt(1); }

}  // namespace

std::optional<std::string> gearCaption(int gear) {
  if (gear == 0) return msg::gearConverter().text();
  if (gear >= 1 && gear <= 4) return msg::gearDirect(gear).text();
  return std::nullopt;
}

// --- call-out ---

void callOut(InputContext& ctx) {
  const sim::IndicationState& ind = ctx.indication;
  if (ind.ShownSign != sim::kNoSign) {
    const int o = ind.ShownSign;
    if (o >= 0 && o < ctx.sounds.O) {
      platform::restart(ctx.sound, ctx.sounds.otherSound(o));
    }
    return;
  }
  if (ind.LimitBlinking) {
    // Fixed announcements 6 to 27 are the limits 15 to 120 km/h in steps of 5.
    const int n = sim::roundToInt(static_cast<long double>(ind.AnnouncedLimitKmh) * 0.2L);
    restartAnnouncement(ctx, 3 + n);
    return;
  }
  const int code = ctx.protection.SignalCode;
  if (code != sim::kNoSignalCode) {
    const std::string& label = ctx.cab.SignalLabel.text;
    for (int k = 0; k < ctx.sounds.K; ++k) {
      const std::string& name = announcementName(ctx, k);
      // An unnamed announcement is never chosen by the label: the fixed ones are played below.
      if (!name.empty() && name == label) {
        restartAnnouncement(ctx, k);
      }
    }
  }
  const int fixed = fixedCallOut(code);
  if (fixed >= 0) {
    restartAnnouncement(ctx, fixed);
  }
}

// --- key-down handler ---

void keydowns(InputContext& ctx, int key, Modifiers modifiers) {
  sim::TrainState& s = ctx.state;
  if (key == kKeyScrollLock) {
    ctx.program.KeypadSwap = !ctx.program.KeypadSwap;
  }
  if (key == kKeyEnter) {
    callOut(ctx);
  }
  if (modifiers == kShift) {
    switch (key) {
      case kKeyF1:
        s.AutoSpeed = true;
        break;
      case kKeyF2:
        s.AutoSpeed = false;
        break;
      case kKeyF11:
        if (s.Speed.raw() > 100000) s.Speed = sim::Fixed::fromRaw(s.Speed.raw() - 100000);
        break;
      case kKeyF12:
        if (s.Speed.raw() < 10000000) s.Speed = sim::Fixed::fromRaw(s.Speed.raw() + 100000);
        break;
      case kKeyF10:
        addSaturating(s.ClockTicks, 900);
        break;
      case kKeyF9:
        addSaturating(s.ClockTicks, -900);
        break;
      case kKeyF8:
        addSaturating(s.FrameIndex, 1000);
        break;
      case kKeyF7:
        addSaturating(s.FrameIndex, -1000);
        break;
      case kKeyF6:
        addSaturating(s.FrameIndex, 100);
        break;
      case kKeyF5:
        addSaturating(s.FrameIndex, -100);
        break;
      default:
        break;
    }
  }
  if (key == kKeyF5) {
    if (!ctx.actions.valueDisplayVisible()) {
      ctx.actions.setValueDisplayVisible(true);
      return;
    }
    ctx.actions.setValueDisplayVisible(false);
  }
  sim::CabPicture& card = ctx.cab.Staf;
  const bool tallCard = card.exists && card.height > 440;
  if (key == kKeyF3 && tallCard && card.top == 0) {
    card.top = 440 - card.height;  // its lower end shows
  }
  if (key == kKeyF2 && tallCard && card.top < 0) {
    card.top = 0;
  }
  if (key == kKeyF1 && card.exists) {
    ctx.input.TimetableShown = !ctx.input.TimetableShown;
  }
}

// --- character handler ---

namespace {

void setReverser(InputContext& ctx, int position) {
  setReverserPosition(ctx, position);
  ctx.actions.masconupdate();
}

// "2" and, without its sound, "a" on the combined handle: one step towards the brake.
void stepTowardsBrake(InputContext& ctx, bool withSound) {
  sim::TrainState& s = ctx.state;
  const bool rest = brakeApplyStep(ctx, lowestServiceStep(ctx), s.PowerHandle == 0);
  if (rest && withSound && ctx.params().BrakeType == 0 && s.BrakeHandle <= -3) {
    platform::startIfIdle(ctx.sound, ctx.train.Sound_br1);
  }
  if (s.BrakeHandle == 0 && s.PowerHandle > 0) {
    s.PowerHandle -= 1;
  }
  s.PowerChangePending = true;
  s.BrakeChangePending = true;
}

void emergencyByHandle(InputContext& ctx) {  // "0"
  sim::TrainState& s = ctx.state;
  const int n = ctx.params().Brake;
  s.HoldingBrake = false;
  if (s.BrakeHandle != -n) platform::restart(ctx.sound, ctx.train.Sound_EB);
  s.BrakeHandle = -n;
  s.PowerHandle = 0;
  s.PowerChangePending = true;
  s.BrakeChangePending = true;
}

void releaseAll(InputContext& ctx) {  // "5"
  sim::TrainState& s = ctx.state;
  if (s.BrakeHandle < 0 && (ctx.params().BrakeType != 0 || s.BrakePressure.raw() != 0)) {
    platform::startIfIdle(ctx.sound, ctx.train.Sound_br2);
  }
  s.HoldingBrake = false;
  s.BrakeHandle = 0;
  s.PowerHandle = 0;
  s.PowerChangePending = true;
  s.BrakeChangePending = true;
}

void combinedHandleLetters(InputContext& ctx, char key) {
  sim::TrainState& s = ctx.state;
  switch (key) {
    case 'z':
      stepTowardsPower(ctx);
      break;
    case 'a':
      stepTowardsBrake(ctx, false);
      break;
    case 'q':
      s.HoldingBrake = false;
      s.PowerHandle = 0;
      s.BrakeHandle = -ctx.params().Brake;
      s.PowerChangePending = true;
      s.BrakeChangePending = true;
      break;
    default:
      break;
  }
}

void separateHandles(InputContext& ctx, char key) {
  sim::TrainState& s = ctx.state;
  const sim::TrainParams& p = ctx.params();
  switch (key) {
    case 'z':
      if (s.PowerHandle < p.Power) s.PowerHandle += 1;
      s.PowerChangePending = true;
      break;
    case 'a':
      if (s.PowerHandle > 0) s.PowerHandle -= 1;
      s.PowerChangePending = true;
      break;
    case ',':
      s.HoldingBrake = false;
      if (s.BrakeHandle < 0) {
        s.BrakeHandle += 1;
        if (p.Hold == 1 && s.BrakeHandle == 0) s.HoldingBrake = true;
      }
      s.BrakeChangePending = true;
      if (p.BrakeType != 0 || s.BrakeHandle == 0) {
        platform::startIfIdle(ctx.sound, ctx.train.Sound_br1);
      }
      break;
    case '.':
      brakeApplyStep(ctx, lowestServiceStep(ctx), true);
      s.BrakeChangePending = true;
      if (p.BrakeType == 0 && s.BrakeHandle <= -3 && s.BrakePressure.raw() != 0) {
        platform::startIfIdle(ctx.sound, ctx.train.Sound_br1);
      }
      break;
    case '/':
      if (s.BrakeHandle != -p.Brake) {
        s.HoldingBrake = false;
        platform::restart(ctx.sound, ctx.train.Sound_EB);
        s.BrakeHandle = -p.Brake;
        s.BrakeChangePending = true;
      }
      break;
    default:
      break;
  }
}

// "1": the next one-man announcement, unless the one at the cursor still plays.
void nextAnnouncement(InputContext& ctx) {
  int& cursor = ctx.input.AnnounceCursor;
  const auto& list = ctx.line.announce;
  if (cursor < 0 || cursor >= static_cast<int>(list.size())) return;
  const int slot = lineSoundSlot(ctx, list[cursor].sound);
  if (ctx.sound.isPlaying(slot)) return;
  if (cursor > 0) ctx.sound.stop(lineSoundSlot(ctx, list[cursor - 1].sound));
  ctx.sound.stop(slot);
  ctx.sound.playOnce(slot);
  cursor += 1;
}

// "-": back one announcement.
void previousAnnouncement(InputContext& ctx) {
  int& cursor = ctx.input.AnnounceCursor;
  const auto& list = ctx.line.announce;
  if (cursor <= 0) return;
  if (cursor <= static_cast<int>(list.size())) {
    ctx.sound.stop(lineSoundSlot(ctx, list[cursor - 1].sound));
  }
  cursor -= 1;
}

void otherKeys(InputContext& ctx, char key) {
  sim::TrainState& s = ctx.state;
  const sim::TrainParams& p = ctx.params();
  const bool oneMan = ctx.line.oneMan == 1;
  const bool manualGears =
      p.diesel() && p.Gear_Type == static_cast<int>(sim::GearType::Manual) && s.PowerNotch == 0;
  switch (key) {
    case '6':
      platform::restart(ctx.sound, ctx.train.Sound_Horn2);
      break;
    case '3':
      platform::restart(ctx.sound, ctx.train.Sound_Horn);
      break;
    case 'd':
    case '7':
      if (oneMan) ctx.actions.Door_operate();
      break;
    case 'r':
      atsReset(ctx.protection, s, ctx.train, ctx.sound);
      break;
    case ' ':
      atsConfirm(ctx.protection, s, ctx.train, ctx.sound);
      break;
    case '1':
      if (oneMan) nextAnnouncement(ctx);
      break;
    case '-':
      if (oneMan) previousAnnouncement(ctx);
      break;
    case 's':
      if (manualGears && s.TargetGear < p.GearCount() - 1) {
        s.TargetGear += 1;
        s.GearShifting = true;
      }
      break;
    case 'x':
      if (manualGears && s.TargetGear > 0) {
        s.TargetGear -= 1;
        s.GearShifting = true;
      }
      break;
    default:
      break;
  }
  if (std::optional<std::string> caption = gearCaption(s.TargetGear)) {
    ctx.cab.GearLabel.text = std::move(*caption);
  }
}

}  // namespace

void AsciiDown(InputContext& ctx, char& key) {
  resetEbDevice(ctx);
  if (ctx.program.KeypadSwap) {
    if (key == '2') {
      key = '8';
    } else if (key == '8') {
      key = '2';
    }
  }
  if (ctx.state.AwaitingStart) {
    return;
  }

  if ((key == 'f' || key == 'b' || key == 'n') && reverserFree(ctx.state)) {
    setReverser(ctx, key == 'f' ? 1 : key == 'b' ? -1 : 0);
  }
  if (ctx.params().Handle == 0) {
    combinedHandleLetters(ctx, key);
  } else if (ctx.params().Handle == 1) {
    separateHandles(ctx, key);
  }
  switch (key) {
    case '8':
      stepTowardsPower(ctx);
      break;
    case '2':
      stepTowardsBrake(ctx, true);
      break;
    case '5':
      releaseAll(ctx);
      break;
    case '0':
      emergencyByHandle(ctx);
      break;
    default:
      break;
  }
  ctx.actions.masconupdate();
  otherKeys(ctx, key);
}

}  // namespace dravolin::input
