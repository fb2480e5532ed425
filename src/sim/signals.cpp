#include "sim/signals.h"

#include <array>
#include <cstddef>

namespace dravolin::sim {
namespace {

// Rows: kind 0 (repeater) to 5; columns: block state 0 to 4.
constexpr std::array<std::array<int, 5>, 6> kCodes{{
    {0, 1, 1, 1, 2},
    {3, 3, 4, 4, 5},
    {6, 6, 7, 7, 8},
    {9, 9, 10, 11, 12},
    {13, 14, 15, 15, 16},
    {17, 18, 19, 20, 21},
}};

// A point just passed: 0 < FrameIndex - frame < 10.
bool justPassed(int frameIndex, int frame) {
  const long long d = static_cast<long long>(frameIndex) - frame;
  return d > 0 && d < 10;
}

void switchLamp(CabPicture& lamp, bool on) { lamp.visible = on; }

// The cab lamps of the ATC show the class of the code; code 1 lights none.
void showAtcLamps(CabModel& cab, int code) {
  for (CabPicture* lamp : {&cab.Lamp_G, &cab.Lamp_YG, &cab.Lamp_Y, &cab.Lamp_YY, &cab.Lamp_R}) {
    switchLamp(*lamp, false);
  }
  switch (indicationClass(code)) {
    case IndicationClass::G:
      switchLamp(cab.Lamp_G, true);
      break;
    case IndicationClass::YG:
      switchLamp(cab.Lamp_YG, true);
      break;
    case IndicationClass::Y:
      switchLamp(cab.Lamp_Y, true);
      break;
    case IndicationClass::YY:
      switchLamp(cab.Lamp_YY, true);
      break;
    case IndicationClass::R:
      switchLamp(cab.Lamp_R, true);
      break;
    case IndicationClass::None:
      break;
  }
}

// A new indication of the signal ahead: its picture and name, or under ATC the chime and lamps.
void presentSignal(const SignalRecord& signal, int code, const ProtectionParams& p,
                   ProtectionState& ps, CabModel& cab, platform::SoundSlots& sounds) {
  if (p.ATS_Type == AtsType::Atc) {
    platform::restart(sounds, p.Sound_Atc);
    cab.SignalLabel.visible = false;
    cab.SignalLabel.text = signal.nameUtf8;
    ps.ShownCode = code;
    showAtcLamps(cab, code);
    return;
  }
  cab.SignalImage.clear();
  if (signal.kind < 6) {  // kinds above 5 have no picture
    cab.SignalImage.draw(cab.SignalImages, code);
    cab.SignalLabel.visible = true;
  }
  ps.ShownCode = code;
  cab.SignalLabel.text = signal.nameUtf8;
}

// The ATS check state a check point sets from the indication of the signal ahead.
void checkPoint(const ProtectionParams& p, ProtectionState& ps) {
  const bool speedChecks = p.ATS_Alert == AtsAlert::SpeedChecks;
  if (!speedChecks) ps.AtsCheck = kNoCheck;
  if (isBlockStopCode(ps.SignalCode)) ps.AtsCheck = 0;
  if (speedChecks) {
    switch (indicationClass(ps.SignalCode)) {
      case IndicationClass::YY:
        ps.AtsCheck = p.Speed_YY;
        break;
      case IndicationClass::Y:
        ps.AtsCheck = p.Speed_Y;
        break;
      case IndicationClass::YG:
        ps.AtsCheck = p.Speed_YG;
        break;
      case IndicationClass::G:
        // The repeater's G (2) leaves the check as it is.
        if (ps.SignalCode != 2) ps.AtsCheck = kNoCheck;
        break;
      case IndicationClass::R:
      case IndicationClass::None:
        break;
    }
  }
  ps.SignalCode = kNoSignalCode;
  ps.ShownCode = kNoSignalCode;
}

}  // namespace

int indicationCode(int kind, int state) {
  if (state < 0 || state > 4) return state;
  const int row = kind < 0 ? 0 : (kind > 5 ? 5 : kind);
  return kCodes[static_cast<std::size_t>(row)][static_cast<std::size_t>(state)];
}

IndicationClass indicationClass(int code) {
  switch (code) {
    case 0:
    case 3:
    case 6:
    case 9:
    case 13:
    case 17:
      return IndicationClass::R;
    case 14:
    case 18:
      return IndicationClass::YY;
    case 4:
    case 7:
    case 10:
    case 15:
    case 19:
      return IndicationClass::Y;
    case 11:
    case 20:
      return IndicationClass::YG;
    case 2:
    case 5:
    case 8:
    case 12:
    case 16:
    case 21:
      return IndicationClass::G;
    default:
      return IndicationClass::None;
  }
}

bool isBlockStopCode(int code) {
  return code == 3 || code == 6 || code == 9 || code == 13 || code == 17;
}

void blockStates(const TrainState& s, std::span<const SignalRecord> signals, SignalState& blocks) {
  const std::size_t n = signals.size();
  blocks.fit(n);
  for (std::size_t k = 0; k < n; ++k) {
    blocks.value[k] = 4;
    if (signals[k].kind == 0) continue;
    std::size_t next = k + 1;
    while (next < n && signals[next].kind == 0) ++next;
    if (next == n) continue;  // no block signal after it: it protects nothing
    if (!(signals[k].boundaryFrame < s.ScheduleFrame &&
          s.ScheduleFrame < signals[next].boundaryFrame)) {
      continue;
    }
    blocks.value[k] = 0;
    int v = 0;
    int blockSignalsBehind = 0;
    for (std::size_t j = k; j-- > 0 && blockSignalsBehind < 2;) {
      if (signals[j].kind != 0) {
        v += 2;
        ++blockSignalsBehind;
      }
      blocks.value[j] = v;
    }
  }
}

void fixedStates(const TrainState& s, std::span<const SignalRecord> signals, SignalState& blocks) {
  blocks.fit(signals.size());
  for (std::size_t k = 0; k < signals.size(); ++k) {
    const SignalRecord& r = signals[k];
    if ((r.control == 1 && s.ClockTicks < r.until) || r.control == 2) {
      blocks.value[k] = r.fixedState;
    }
  }
}

void signalAhead(const TrainState& s, const ProtectionParams& p,
                 std::span<const SignalRecord> signals, SignalState& blocks, ProtectionState& ps,
                 CabModel& cab, platform::SoundSlots& sounds) {
  blocks.fit(signals.size());
  for (std::size_t k = 0; k < signals.size(); ++k) {
    const SignalRecord& r = signals[k];
    int& value = blocks.value[k];

    const bool ahead = r.displayFromFrame <= s.FrameIndex && s.FrameIndex < r.boundaryFrame;
    if (ahead) {
      value = indicationCode(r.kind, value);
      ps.SignalCode = value;
      if (value != ps.ShownCode) presentSignal(r, value, p, ps, cab, sounds);
    }

    if (justPassed(s.FrameIndex, r.boundaryFrame)) {
      ps.AtsAcknowledged = false;
      if (cab.SignalImage.hasPicture()) cab.SignalImage.clear();
      cab.SignalLabel.text.clear();
      // The picture is gone, so the next signal ahead is drawn and named even when it shows the
      // same code. The ATC's cab signal has no picture and chimes only on a new indication.
      if (p.ATS_Type != AtsType::Atc) ps.ShownCode = kNoSignalCode;
    }

    // A transponder warns of a block signal at stop. A signal that is not the one ahead holds
    // its block state, which is read through the code table like the indication it would show.
    if (justPassed(s.FrameIndex, r.transponderFrame) && p.ATS_Type == AtsType::Ats &&
        p.ATS_Alert == AtsAlert::StopChecks && r.kind != 0) {
      const int code = ahead ? value : indicationCode(r.kind, value);
      if (indicationClass(code) == IndicationClass::R) ps.AtsCheck = kStopWarning;
    }

    if (justPassed(s.FrameIndex, r.checkFrame)) checkPoint(p, ps);
  }
}

}  // namespace dravolin::sim
