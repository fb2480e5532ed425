#include "cab/instruments.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>

namespace dravolin::cab {
namespace {

using sim::Fixed;

void turn(sim::CabNeedle& needle, long double value) {
  if (needle.exists) needle.angle = needleAngle(needle, value);
}

// Sets a label's text only when it changes, so an unchanged caption costs no allocation.
void setText(sim::CabLabel& label, std::string_view text) {
  if (label.text != text) label.text.assign(text);
}

}  // namespace

int needleAngle(const sim::CabNeedle& needle, long double value) {
  return sim::roundToInt(value * needle.anglePerUnit + static_cast<long double>(needle.zeroAngle));
}

void needles(const sim::TrainState& s, sim::CabModel& cab) {
  const Fixed speed = sim::abs(s.Speed);
  const bool rollingBackSlowly = s.Speed > Fixed::fromInt(-1) && s.Speed < Fixed::fromInt(0);
  if (speed < Fixed::fromInt(kSpeedNeedleLimit) && !rollingBackSlowly) {
    turn(cab.Needle_Speed, speed.ld());
  }
  if (std::llabs(static_cast<long long>(s.MotorCurrent)) < kAmmeterLimit)
    turn(cab.Needle_I, static_cast<long double>(s.MotorCurrent));
  turn(cab.Needle_V, s.LineVoltage.ld());
  turn(cab.Needle_BC, s.BcPressure.ld());
  turn(cab.Needle_ER, s.BpPressure.ld());
  turn(cab.Needle_BP, s.BpPressure.ld());
  turn(cab.Needle_MR, s.MrPressure.ld());
  turn(cab.Needle_SAP, s.SapPressure.ld());
}

void digitalSpeed(const sim::TrainState& s, sim::CabModel& cab) {
  char text[32];
  auto end = std::to_chars(text, text + sizeof text - 5, sim::roundToInt(s.Speed.ld())).ptr;
  for (char c : std::string_view("km/h")) *end++ = c;
  setText(cab.digi_speed, std::string_view(text, static_cast<std::size_t>(end - text)));
}

void showOthers(sim::CabModel& cab) {
  for (sim::CabPicture& other : cab.Others) {
    if (other.exists && !other.visible) other.visible = true;
  }
}

void panelLamps(const sim::TrainState& s, const sim::TrainParams& p, sim::CabModel& cab) {
  const int n = p.Brake;
  const bool aboveLoseElec = s.Speed > Fixed::fromInt(p.Lose_elec);
  const bool powering = !s.DoorsOpen && s.PowerNotch > 0;
  const bool serviceBrake = -n < s.BrakeNotch && s.BrakeNotch < 0;
  cab.Lamp_Power.visible = powering;
  cab.Lamp_Gen.visible = (s.HoldingBrake && s.ResistanceForce > Fixed() && aboveLoseElec) ||
                         (serviceBrake && aboveLoseElec);
  cab.Lamp_Ele.visible = powering || (s.BrakeNotch < 0 && s.BrakeHandle > -n && aboveLoseElec);
  cab.Lamp_Air.visible = serviceBrake;
}

void slideTimetableCard(bool shown, sim::CabModel& cab) {
  sim::CabPicture& card = cab.Staf;
  if (!card.exists) return;
  if (!shown && card.left < kWindowWidth) {
    card.left += kCardStep;
    if (card.left > kWindowWidth) card.left = kWindowWidth;
  }
  const int shownLeft = kWindowWidth - card.width;
  if (shown && card.left > shownLeft) {
    card.left -= kCardStep;
    if (card.left < shownLeft) card.left = shownLeft;
  }
}

void slewMeters(sim::TrainState& s) {
  if (s.LineVoltage != s.LineVoltageTarget) {
    if (s.LineVoltage > s.LineVoltageTarget) sim::addTo(s.LineVoltage, -0.5L);
    if (s.LineVoltage < s.LineVoltageTarget) sim::addTo(s.LineVoltage, 0.5L);
  }
  if (s.MotorCurrent != s.MotorCurrentTarget) {
    if (s.MotorCurrent > s.MotorCurrentTarget) s.MotorCurrent -= 20;
    if (s.MotorCurrent < s.MotorCurrentTarget) s.MotorCurrent += 20;
  }
}

void ammeterTarget(sim::TrainState& s, const sim::TrainParams& p) {
  s.MotorCurrentTarget = 0;
  const long double tonnes = p.Tons.ld();
  if (!p.electric() || tonnes <= 0) return;
  // Newtons per tonne of train to km/h/s: a = F / (t x 1000) x 3.6.
  const auto amperes = [tonnes](long double force) {
    return static_cast<long double>(kAmperesPerKmhPerS) * force * 3.6L / (tonnes * 1000.0L);
  };
  const int n = p.Brake;
  const bool electricBrake = p.Mc == 1 && -n < s.BrakeNotch && s.BrakeNotch < 0 &&
                             s.Speed > Fixed::fromInt(p.Lose_elec) && p.EBPress > 0;
  long double current = 0;
  if (s.PowerNotch > 0 && s.TractiveForce != Fixed()) {
    current = amperes(sim::abs(s.TractiveForce).ld());
  } else if (electricBrake && s.BrakePressure > Fixed()) {
    // The braking force of the display tick (tonnes x BrakeRate x pressure share / 3.6), of
    // which the motored cars brake electrically.
    const long double braking = tonnes * 1000.0L * p.BrakeRate.ld() *
                                (s.BrakePressure.ld() / static_cast<long double>(p.EBPress)) / 3.6L;
    const long double motored = std::clamp(p.Mt.ld() / tonnes, 0.0L, 1.0L);
    current = -amperes(braking * motored);
  }
  current = std::clamp(current, -1.0e6L, 1.0e6L);
  s.MotorCurrentTarget = sim::roundToInt(current);
}

void tunnelPanel(const sim::TrainState& s, std::span<const data::TunnelRecord> tunnels,
                 sim::CabModel& cab) {
  bool inside = false;
  for (const data::TunnelRecord& t : tunnels) {
    if (t.firstFrame < s.FrameIndex && s.FrameIndex < t.lastFrame) inside = true;
  }
  cab.Panel2.visible = inside;
}

void gearIndicator(const sim::TrainState& s, int& gearShown, sim::CabModel& cab) {
  if (s.PowerNotch > 0 && (gearShown != s.Gear || gearShown == -1)) {
    cab.Lamp_Gear.clear();
    cab.Lamp_Gear.draw(cab.GearImageList, s.Gear + 1);
    gearShown = s.Gear;
  }
  if (gearShown != -1 && (s.PowerNotch == 0 || s.GearShifting)) {
    cab.Lamp_Gear.clear();
    cab.Lamp_Gear.draw(cab.GearImageList, 0);
    gearShown = -1;
  }
}

void windowTitle(const std::string& lineNameUtf8, sim::CabModel& cab) {
  if (cab.Title == "Dravolin") cab.Title = lineNameUtf8;
}

}  // namespace dravolin::cab
