#include "cab/instruments.h"

#include <gtest/gtest.h>

#include <vector>

namespace dravolin::cab {
namespace {

using sim::Fixed;

sim::CabNeedle needle(int zero, long double perUnit) {
  sim::CabNeedle n;
  n.exists = true;
  n.zeroAngle = zero;
  n.anglePerUnit = perUnit;
  n.angle = -999;  // not turned yet
  return n;
}

Fixed kmh(const char* text) { return Fixed::round(std::stold(text)); }

TEST(Instruments, SpeedNeedleAndDigitalSpeed) {
  struct Case {
    const char* speed;
    int angle;  // -999: the needle stays
    const char* digits;
  };
  const std::vector<Case> cases = {
      {"0", -90, "0km/h"},       {"2.5", -85, "2km/h"},    {"3.5", -83, "4km/h"},
      {"159.9", 230, "160km/h"}, {"160", -999, "160km/h"}, {"-0.5", -999, "0km/h"},
      {"-1.0", -88, "-1km/h"},   {"-3", -84, "-3km/h"},    {"-170", -999, "-170km/h"},
  };
  for (const Case& c : cases) {
    sim::TrainState s;
    s.Speed = kmh(c.speed);
    sim::CabModel cab;
    cab.Needle_Speed = needle(-90, 2);
    needles(s, cab);
    digitalSpeed(s, cab);
    EXPECT_EQ(cab.Needle_Speed.angle, c.angle) << c.speed;
    EXPECT_EQ(cab.digi_speed.text, c.digits) << c.speed;
  }
}

TEST(Instruments, OtherNeedlesFollowTheirValuesAndAMissingNeedleIsSkipped) {
  sim::TrainState s;
  s.BcPressure = Fixed::fromInt(200);
  s.BpPressure = Fixed::fromInt(490);
  s.MrPressure = Fixed::fromInt(800);
  s.SapPressure = kmh("12.5");
  s.LineVoltage = kmh("17.5");
  s.MotorCurrent = 1500;  // at the ammeter's limit: it stays
  sim::CabModel cab;
  cab.Needle_BC = needle(0, 0.25L);
  cab.Needle_ER = needle(10, 0.5L);
  cab.Needle_BP = needle(10, 0.5L);
  cab.Needle_MR = needle(0, 0.25L);
  cab.Needle_SAP = needle(0, 1);
  cab.Needle_V = needle(0, 2);
  cab.Needle_I = needle(0, 0.1L);
  needles(s, cab);
  EXPECT_EQ(cab.Needle_BC.angle, 50);
  EXPECT_EQ(cab.Needle_ER.angle, 255);
  EXPECT_EQ(cab.Needle_BP.angle, 255);
  EXPECT_EQ(cab.Needle_MR.angle, 200);
  EXPECT_EQ(cab.Needle_SAP.angle, 12);  // 12.5 rounds to even
  EXPECT_EQ(cab.Needle_V.angle, 35);
  EXPECT_EQ(cab.Needle_I.angle, -999);
  EXPECT_EQ(cab.Needle_Speed.angle, 0);  // not there: untouched
  s.MotorCurrent = -1480;
  needles(s, cab);
  EXPECT_EQ(cab.Needle_I.angle, -148);
}

TEST(Instruments, PanelLamps) {
  sim::TrainParams p;
  p.Brake = 8;
  p.Lose_elec = 5;
  struct Case {
    bool doorsOpen;
    int powerNotch, brakeNotch, brakeHandle;
    bool holding;
    int resistance;
    const char* speed;
    bool power, gen, ele, air;
  };
  const std::vector<Case> cases = {
      // power with the doors closed, and with them open
      {false, 2, 0, 0, false, 0, "40", true, false, true, false},
      {true, 2, 0, 0, false, 0, "40", false, false, false, false},
      // service brake above and below Lose_elec
      {false, 0, -3, -3, false, 0, "40", false, true, true, true},
      {false, 0, -3, -3, false, 0, "5", false, false, false, true},
      // emergency and release: no air lamp
      {false, 0, -8, -8, false, 0, "40", false, false, false, false},
      {false, 0, 0, 0, false, 0, "40", false, false, false, false},
      // emergency in effect while the handle is back at a service step
      {false, 0, -8, -3, false, 0, "40", false, false, true, false},
      // holding brake with a forward resistance above Lose_elec
      {false, 0, 0, 0, true, 10, "40", false, true, false, false},
      {false, 0, 0, 0, true, -10, "40", false, false, false, false},
  };
  for (const Case& c : cases) {
    sim::TrainState s;
    s.DoorsOpen = c.doorsOpen;
    s.PowerNotch = c.powerNotch;
    s.BrakeNotch = c.brakeNotch;
    s.BrakeHandle = c.brakeHandle;
    s.HoldingBrake = c.holding;
    s.ResistanceForce = Fixed::fromInt(c.resistance);
    s.Speed = kmh(c.speed);
    sim::CabModel cab;
    panelLamps(s, p, cab);
    const auto row = testing::Message() << "power " << c.powerNotch << " brake " << c.brakeNotch
                                        << "/" << c.brakeHandle << " at " << c.speed;
    EXPECT_EQ(cab.Lamp_Power.visible, c.power) << row;
    EXPECT_EQ(cab.Lamp_Gen.visible, c.gen) << row;
    EXPECT_EQ(cab.Lamp_Ele.visible, c.ele) << row;
    EXPECT_EQ(cab.Lamp_Air.visible, c.air) << row;
  }
}

TEST(Instruments, TimetableCardSlidesInAndOut) {
  sim::CabModel cab;
  cab.Staf = sim::placed(640, 0, 300, 400);
  std::vector<int> lefts;
  for (int tick = 0; tick < 11; ++tick) {
    slideTimetableCard(true, cab);
    lefts.push_back(cab.Staf.left);
  }
  EXPECT_EQ(lefts, (std::vector<int>{610, 580, 550, 520, 490, 460, 430, 400, 370, 340, 340}));
  for (int tick = 0; tick < 10; ++tick) slideTimetableCard(false, cab);
  EXPECT_EQ(cab.Staf.left, 640);
  slideTimetableCard(false, cab);
  EXPECT_EQ(cab.Staf.left, 640);

  cab.Staf = sim::placed(640, 0, 45, 100);  // a narrow card stops at its own width
  slideTimetableCard(true, cab);
  slideTimetableCard(true, cab);
  EXPECT_EQ(cab.Staf.left, 595);

  sim::CabModel noCard;  // no card: nothing moves
  noCard.Staf.left = 700;
  slideTimetableCard(true, noCard);
  EXPECT_EQ(noCard.Staf.left, 700);
}

TEST(Instruments, MetersSlewByWholeStepsOnly) {
  struct Case {
    const char* voltage;
    const char* target;
    const char* after;
    int current, currentTarget, currentAfter;
  };
  const std::vector<Case> cases = {
      {"0", "18", "0.5", 0, 0, 0},
      // a difference below one step is never closed: the two corrections cancel
      {"17.7", "18", "18.2", 0, 50, 20},
      {"18.2", "18", "18.2", 0, 50, 20},
      {"18.5", "18", "18", 100, 0, 80},
      {"18", "18", "18", 10, 0, 10},
  };
  for (const Case& c : cases) {
    sim::TrainState s;
    s.LineVoltage = kmh(c.voltage);
    s.LineVoltageTarget = kmh(c.target);
    s.MotorCurrent = c.current;
    s.MotorCurrentTarget = c.currentTarget;
    slewMeters(s);
    EXPECT_EQ(s.LineVoltage, kmh(c.after)) << c.voltage;
    EXPECT_EQ(s.MotorCurrent, c.currentAfter) << c.current;
  }
}

// The ammeter's target: the traction current while powering, the motored cars' share of the
// braking force, negative, while braking electrically, 0 otherwise and for a diesel train.
TEST(Instruments, AmmeterTargetFollowsTractionAndElectricBraking) {
  sim::TrainParams p;
  p.Engine_Type = 1;
  p.Tons = Fixed::fromInt(300);
  p.Mt = Fixed::fromInt(150);
  p.Brake = 8;
  p.BrakeRate = Fixed::fromInt(4);
  p.EBPress = 440;
  p.Lose_elec = 10;
  p.Mc = 1;
  const long double fullPower = 300000.0L * 2.9L / 3.6L;  // N, 2.9 km/h/s
  const struct {
    const char* what;
    long double force;
    int powerNotch, brakeNotch, pressure;
    const char* speed;
    int mc, engine;
    int amperes;
  } cases[] = {
      {"full power, 2.9 km/h/s", fullPower, 4, 0, 0, "30", 1, 1, 725},
      {"full power in reverse", -fullPower, 4, 0, 0, "-30", 1, 1, 725},
      {"a notch but no force (doors open)", 0, 4, 0, 0, "0", 1, 1, 0},
      {"B4 at half pressure: 1 km/h/s on the motored half", 0, 0, -4, 220, "60", 1, 1, -250},
      {"B4 just above the electric brake's fading speed", 0, 0, -4, 220, "10.0001", 1, 1, -250},
      {"B4 at the fading speed", 0, 0, -4, 220, "10", 1, 1, 0},
      {"emergency: air only", 0, 0, -8, 440, "60", 1, 1, 0},
      {"no electric braking", 0, 0, -4, 220, "60", 0, 1, 0},
      {"diesel at full power", fullPower, 4, 0, 0, "30", 1, 0, 0},
  };
  for (const auto& c : cases) {
    sim::TrainState s;
    s.TractiveForce = Fixed::round(c.force);
    s.PowerNotch = c.powerNotch;
    s.BrakeNotch = c.brakeNotch;
    s.BrakePressure = Fixed::fromInt(c.pressure);
    s.Speed = kmh(c.speed);
    s.MotorCurrentTarget = 999;
    p.Mc = c.mc;
    p.Engine_Type = c.engine;
    ammeterTarget(s, p);
    EXPECT_EQ(s.MotorCurrentTarget, c.amperes) << c.what;
  }
}

TEST(Instruments, TunnelPanelInsideTheStretchOnly) {
  const std::vector<data::TunnelRecord> tunnels = {{500, 550}, {700, 720}};
  for (auto [frame, inside] : std::vector<std::pair<int, bool>>{
           {500, false}, {501, true}, {549, true}, {550, false}, {710, true}, {0, false}}) {
    sim::TrainState s;
    s.FrameIndex = frame;
    sim::CabModel cab;
    cab.Panel2.visible = !inside;
    tunnelPanel(s, tunnels, cab);
    EXPECT_EQ(cab.Panel2.visible, inside) << frame;
  }
}

TEST(Instruments, GearIndicatorFollowsPowerAndShifting) {
  sim::CabModel cab;
  cab.GearImageList.images.resize(5);
  sim::TrainState s;
  int shown = 0;  // as at start-up
  struct Step {
    int notch, gear;
    bool shifting;
    int image, shown;
  };
  const std::vector<Step> steps = {
      {0, 0, false, 0, -1},  // at rest: the neutral picture replaces the start-up state
      {1, 0, false, 1, 0},  {2, 0, false, 1, 0},  {2, 1, true, 0, -1}, {2, 1, false, 2, 1},
      {0, 1, false, 0, -1}, {3, 9, false, -1, 9},  // gear 9: the list has no picture
  };
  for (const Step& st : steps) {
    s.PowerNotch = st.notch;
    s.Gear = st.gear;
    s.GearShifting = st.shifting;
    gearIndicator(s, shown, cab);
    EXPECT_EQ(cab.Lamp_Gear.image, st.image) << st.notch << " " << st.gear;
    EXPECT_EQ(shown, st.shown) << st.notch << " " << st.gear;
  }
}

TEST(Instruments, ExtraImagesAndWindowTitle) {
  sim::CabModel cab;
  cab.Others.resize(3);
  cab.Others[0].exists = true;
  cab.Others[0].visible = false;
  cab.Others[1].visible = false;  // not there
  cab.Others[2].exists = true;
  showOthers(cab);
  EXPECT_TRUE(cab.Others[0].visible);
  EXPECT_FALSE(cab.Others[1].visible);

  windowTitle("ソ表線", cab);
  EXPECT_EQ(cab.Title, "ソ表線");
  windowTitle("other", cab);
  EXPECT_EQ(cab.Title, "ソ表線");
}

}  // namespace
}  // namespace dravolin::cab
