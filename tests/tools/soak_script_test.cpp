#include <gtest/gtest.h>

#include <functional>
#include <limits>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "drive/drive_fixture.h"
#include "drive/script_controller.h"
#include "input/key_codes.h"
#include "tools/drive/script.h"
#include "tools/drive/soak.h"

namespace dravolin::tools {
namespace {

bool sameEvent(const ScriptEvent& a, const ScriptEvent& b) {
  return a.timeMs == b.timeMs && a.kind == b.kind && a.character == b.character &&
         a.virtualKey == b.virtualKey && a.modifiers == b.modifiers && a.bytes == b.bytes &&
         a.station == b.station && a.profile == b.profile && a.index == b.index &&
         a.value == b.value;
}

std::string scriptText(const std::vector<ScriptEvent>& events) {
  std::string text;
  for (const ScriptEvent& e : events) text += formatScriptEvent(e) + "\n";
  return text;
}

const RandomContext kContext{{0, 2, 5}, {"TSA15", "TSA25", "TSB10", "TSG10", "TSX10"}};

// Every event the random driver makes is written as a script line that reads back as itself, so
// a reduced failure replays exactly.
TEST(RandomScript, EveryEventReadsBackFromItsScriptLine) {
  const std::vector<ScriptEvent> events = randomScript(7, 24 * 3600 * 1000, kContext);
  ASSERT_GT(events.size(), 5000u);
  std::string error;
  const auto parsed = parseScript(scriptText(events), error);
  ASSERT_TRUE(parsed.has_value()) << error;
  ASSERT_EQ(parsed->size(), events.size());
  std::set<ScriptEventKind> kinds;
  for (std::size_t i = 0; i < events.size(); ++i) {
    EXPECT_TRUE(sameEvent((*parsed)[i], events[i])) << formatScriptEvent(events[i]);
    kinds.insert(events[i].kind);
  }
  // start, char, key, both wheel steps, serial, station, and the USB controller's device add and
  // remove, axis, button and command
  EXPECT_EQ(kinds.size(), 12u);
  // Every axis and button event comes while a device is plugged in, so the script replays.
  drive::ScriptProfiles profiles;
  EXPECT_EQ(drive::loadScriptProfiles(events, {}, profiles), "");
}

TEST(RandomScript, DrawnFromTheSeedAlone) {
  const int until = 3600 * 1000;
  const std::vector<ScriptEvent> a = randomScript(1, until, kContext);
  const std::vector<ScriptEvent> b = randomScript(1, until, kContext);
  const std::vector<ScriptEvent> c = randomScript(2, until, kContext);
  EXPECT_EQ(scriptText(a), scriptText(b));
  EXPECT_NE(scriptText(a), scriptText(c));
  ASSERT_FALSE(a.empty());
  EXPECT_EQ(a.front().kind, ScriptEventKind::Start);
  EXPECT_LE(a.front().timeMs, 5000);
  for (std::size_t i = 1; i < a.size(); ++i) EXPECT_LE(a[i - 1].timeMs, a[i].timeMs);
  EXPECT_LE(a.back().timeMs, until);
  // The first Start starts the drive; every later one comes in a pause-and-resume pair, the
  // resume within ten seconds.
  std::vector<int> starts;
  for (const ScriptEvent& e : a) {
    if (e.kind == ScriptEventKind::Start) starts.push_back(e.timeMs);
  }
  for (std::size_t i = 2; i < starts.size(); i += 2) EXPECT_LE(starts[i] - starts[i - 1], 10000);
  for (const ScriptEvent& e : a) {
    if (e.kind == ScriptEventKind::Station) {
      EXPECT_TRUE(e.station == 0 || e.station == 2 || e.station == 5) << e.station;
    }
  }
  EXPECT_TRUE(randomScript(1, 0, kContext).empty());
}

TEST(RandomScript, EventKindsAreOneTable) {
  std::set<std::string> names;
  SoakRandom r(9);
  for (const RandomEventKind& k : randomEventKinds()) {
    EXPECT_GT(k.weight, 0) << k.name;
    EXPECT_TRUE((k.make == nullptr) != (k.pattern == nullptr)) << k.name;
    EXPECT_TRUE(names.insert(k.name).second) << k.name;
    EXPECT_NO_THROW(makeRandomEvent(r, kContext, k, 1)) << k.name;
  }
}

ScriptEvent event(int timeMs, ScriptEventKind kind) {
  ScriptEvent e;
  e.timeMs = timeMs;
  e.kind = kind;
  return e;
}

TEST(ScriptLines, WrittenAsTheyAreRead) {
  ScriptEvent space = event(6, ScriptEventKind::Char), hash = event(7, ScriptEventKind::Char);
  space.character = ' ';
  hash.character = '#';
  ScriptEvent key = event(8, ScriptEventKind::Key);
  key.virtualKey = 123;
  key.modifiers = input::kShift;
  ScriptEvent serial = event(10, ScriptEventKind::Serial);
  serial.bytes = "TS\\A1\r\n";
  ScriptEvent station = event(11, ScriptEventKind::Station);
  station.station = 3;
  const std::vector<std::pair<ScriptEvent, std::string>> cases = {
      {event(5, ScriptEventKind::Start), "5 start"},
      {space, "6 char space"},
      {hash, "7 char #"},
      {key, "8 key 123 shift"},
      {event(9, ScriptEventKind::WheelUp), "9 wheel up"},
      {serial, "10 serial TS\\\\A1\\r\\n"},
      {station, "11 station 3"},
  };
  for (const auto& [e, line] : cases) {
    EXPECT_EQ(formatScriptEvent(e), line);
    std::string error;
    const auto parsed = parseScript(line, error);
    ASSERT_TRUE(parsed && parsed->size() == 1) << line << ": " << error;
    EXPECT_TRUE(sameEvent(parsed->front(), e)) << line;
  }
}

TEST(RandomScript, PatternsDrawTheirChoices) {
  SoakRandom r(3);
  std::set<std::string> seen;
  for (int i = 0; i < 200; ++i) {
    const std::string wheel = expandPattern(r, "wheel {down|up}");
    EXPECT_TRUE(wheel == "wheel down" || wheel == "wheel up") << wheel;
    seen.insert(wheel);
    const int n = std::stoi(expandPattern(r, "{-2..2}"));
    EXPECT_GE(n, -2);
    EXPECT_LE(n, 2);
  }
  EXPECT_EQ(seen.size(), 2u);
  EXPECT_EQ(expandPattern(r, "start"), "start");
  EXPECT_THROW(expandPattern(r, "key {1..3"), std::invalid_argument);
  const RandomEventKind wheel{"wheel", 1, "wheel {down|up}"};
  const ScriptEvent e = makeRandomEvent(r, kContext, wheel, 250);
  EXPECT_EQ(e.timeMs, 250);
  EXPECT_TRUE(e.kind == ScriptEventKind::WheelDown || e.kind == ScriptEventKind::WheelUp);
  const RandomEventKind unknown{"jump", 1, "jump {1..3}"};
  EXPECT_THROW(makeRandomEvent(r, kContext, unknown, 1), std::invalid_argument);
}

// Each invariant of the drive, broken alone by one step past its bound (and kept at the bound):
// the message names the quantity that is wrong. The electric train's pressures end at 880 kPa
// (HighAirPress) plus a step of 45; its speed runs from -150 to 1040 km/h; it has 5 power and 9
// brake notch pictures and one sign picture. The diesel railcar has 3 gears and a video of 1000
// frames.
TEST(DriveInvariants, EachNamesItsQuantityOneStepPastItsBound) {
  using sim::CabModel;
  using sim::TrainState;
  const auto fixed = [](long double v) { return sim::Fixed::round(v); };
  const long double nan = std::numeric_limits<long double>::quiet_NaN();
  const long double inf = std::numeric_limits<long double>::infinity();
  struct Case {
    const char* name;
    bool diesel;
    std::function<void(TrainState&, CabModel&)> change;
    const char* broken;  // the start of the message; empty: none
  };
  const Case cases[] = {
      {"as loaded", false, [](TrainState&, CabModel&) {}, ""},
      {"Distance", false, [&](TrainState& s, CabModel&) { s.Distance = nan; },
       "invariant: Distance is not a finite number"},
      {"DistanceStep", false, [&](TrainState& s, CabModel&) { s.DistanceStep = inf; },
       "invariant: DistanceStep is not"},
      {"NextStopDistance", false, [&](TrainState& s, CabModel&) { s.NextStopDistance = -inf; },
       "invariant: NextStopDistance is not"},
      {"DistanceToStop", false, [&](TrainState& s, CabModel&) { s.DistanceToStop = nan; },
       "invariant: DistanceToStop is not"},
      {"LastGradientSampleDistance", false,
       [&](TrainState& s, CabModel&) { s.LastGradientSampleDistance = nan; },
       "invariant: LastGradientSampleDistance is not"},
      {"EngineOutput", false, [&](TrainState& s, CabModel&) { s.EngineOutput = nan; },
       "invariant: EngineOutput is not"},
      {"PowerHandle at the last notch", false, [](TrainState& s, CabModel&) { s.PowerHandle = 4; },
       ""},
      {"PowerHandle", false, [](TrainState& s, CabModel&) { s.PowerHandle = 5; },
       "invariant: PowerHandle 5 outside 0 .. 4"},
      {"PowerHandle below 0", false, [](TrainState& s, CabModel&) { s.PowerHandle = -1; },
       "invariant: PowerHandle -1"},
      {"PowerNotch", false, [](TrainState& s, CabModel&) { s.PowerNotch = 5; },
       "invariant: PowerNotch 5"},
      {"BrakeHandle at EB", false, [](TrainState& s, CabModel&) { s.BrakeHandle = -8; }, ""},
      {"BrakeHandle", false, [](TrainState& s, CabModel&) { s.BrakeHandle = -9; },
       "invariant: BrakeHandle -9 outside -8 .. 0"},
      {"BrakeHandle above 0", false, [](TrainState& s, CabModel&) { s.BrakeHandle = 1; },
       "invariant: BrakeHandle 1"},
      {"BrakeNotch", false, [](TrainState& s, CabModel&) { s.BrakeNotch = -9; },
       "invariant: BrakeNotch -9"},
      {"Reverser backwards", false, [](TrainState& s, CabModel&) { s.Reverser = -1; }, ""},
      {"Reverser", false, [](TrainState& s, CabModel&) { s.Reverser = 2; },
       "invariant: Reverser 2"},
      {"Reverser below", false, [](TrainState& s, CabModel&) { s.Reverser = -2; },
       "invariant: Reverser -2"},
      {"Gear at the last", true, [](TrainState& s, CabModel&) { s.Gear = 2; }, ""},
      {"Gear", true, [](TrainState& s, CabModel&) { s.Gear = 3; },
       "invariant: Gear 3 outside 0 .. 2"},
      {"Gear below", true, [](TrainState& s, CabModel&) { s.Gear = -1; }, "invariant: Gear -1"},
      {"pressures at the top", false,
       [&](TrainState& s, CabModel&) {
         s.BrakePressure = s.BpPressure = s.MrPressure = s.SapPressure = s.BcPressure = fixed(925);
       },
       ""},
      {"BrakePressure", false,
       [&](TrainState& s, CabModel&) { s.BrakePressure = fixed(925.0001L); },
       "invariant: BrakePressure 925.0001 outside 0.0000 .. 925.0000"},
      {"BpPressure", false, [&](TrainState& s, CabModel&) { s.BpPressure = fixed(925.0001L); },
       "invariant: BpPressure 925.0001"},
      {"MrPressure", false, [&](TrainState& s, CabModel&) { s.MrPressure = fixed(925.0001L); },
       "invariant: MrPressure 925.0001"},
      {"SapPressure", false, [&](TrainState& s, CabModel&) { s.SapPressure = fixed(925.0001L); },
       "invariant: SapPressure 925.0001"},
      {"BcPressure", false, [&](TrainState& s, CabModel&) { s.BcPressure = fixed(925.0001L); },
       "invariant: BcPressure 925.0001"},
      {"BcPressure below 0", false,
       [&](TrainState& s, CabModel&) { s.BcPressure = fixed(-0.0001L); },
       "invariant: BcPressure -0.0001"},
      {"Speed at its ends", false, [&](TrainState& s, CabModel&) { s.Speed = fixed(-150); }, ""},
      {"Speed forward at its end", false, [&](TrainState& s, CabModel&) { s.Speed = fixed(1040); },
       ""},
      {"Speed backwards", false, [&](TrainState& s, CabModel&) { s.Speed = fixed(-150.0001L); },
       "invariant: Speed -150.0001 outside -150.0000 .. 1040.0000"},
      {"Speed forwards", false, [&](TrainState& s, CabModel&) { s.Speed = fixed(1040.0001L); },
       "invariant: Speed 1040.0001"},
      {"FrameIndex without a video", false, [](TrainState& s, CabModel&) { s.FrameIndex = -1; },
       "invariant: FrameIndex -1"},
      {"FrameIndex far on without a video", false,
       [](TrainState& s, CabModel&) { s.FrameIndex = std::numeric_limits<int>::max(); }, ""},
      {"FrameIndex on the last frame", true, [](TrainState& s, CabModel&) { s.FrameIndex = 999; },
       ""},
      {"FrameIndex", true, [](TrainState& s, CabModel&) { s.FrameIndex = 1000; },
       "invariant: FrameIndex 1000 outside 0 .. 999"},
      {"pictures at the ends of their lists", false,
       [](TrainState&, CabModel& c) {
         c.Lamp_P.image = 4;
         c.Lamp_B.image = 8;
         c.SpeedLimitImage.image = c.SlopeImage.image = c.stop.image = 0;
         c.Lamp_Gear.image = c.SignalImage.image = c.OtherImage.image = sim::kNoImage;
       },
       ""},
      {"Lamp_P", false, [](TrainState&, CabModel& c) { c.Lamp_P.image = 5; },
       "invariant: Lamp_P shows image 5 of a list of 5"},
      {"Lamp_B", false, [](TrainState&, CabModel& c) { c.Lamp_B.image = 9; },
       "invariant: Lamp_B shows image 9"},
      {"Lamp_B below", false, [](TrainState&, CabModel& c) { c.Lamp_B.image = -2; },
       "invariant: Lamp_B shows image -2"},
      {"Lamp_Gear", false, [](TrainState&, CabModel& c) { c.Lamp_Gear.image = 0; },
       "invariant: Lamp_Gear shows image 0 of a list of 0"},
      {"SignalImage", false, [](TrainState&, CabModel& c) { c.SignalImage.image = 0; },
       "invariant: SignalImage shows"},
      {"SpeedLimitImage", false, [](TrainState&, CabModel& c) { c.SpeedLimitImage.image = 1; },
       "invariant: SpeedLimitImage shows image 1 of a list of 1"},
      {"SlopeImage", false, [](TrainState&, CabModel& c) { c.SlopeImage.image = 1; },
       "invariant: SlopeImage shows"},
      {"stop", false, [](TrainState&, CabModel& c) { c.stop.image = 1; }, "invariant: stop shows"},
      {"OtherImage", false, [](TrainState&, CabModel& c) { c.OtherImage.image = 0; },
       "invariant: OtherImage shows"},
  };
  platform::VirtualSoundSlots sounds;
  input::ProgramInputState program;
  const auto driveData = [](bool diesel) {
    drive::DriveData d = testing::testDriveData();
    if (diesel) {
      const sim::TrainParams electric = d.files.train.params;
      d.files.train.params = testing::dieselTrain();
      d.files.train.params.HighAirPress = electric.HighAirPress;
      d.files.train.params.EBPress = electric.EBPress;
      d.videoFrameCount = 1000;
    }
    return d;
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    drive::Drive drive(driveData(c.diesel), sounds, program);
    c.change(drive.state(), drive.cab());
    const std::string bad = checkDriveInvariants(drive);
    const std::string broken = c.broken;
    EXPECT_EQ(bad.substr(0, broken.size()), broken) << bad;
    EXPECT_EQ(bad.empty(), broken.empty()) << bad;
  }
}

// A train standing through a tick keeps its Distance; one that moves off or comes to rest in
// it may have run, and one that a frame key put into another row of the speed table takes that
// row's start.
TEST(DriveInvariants, DistanceStaysWhileSpeedIsZero) {
  const auto fixed = [](long double v) { return sim::Fixed::round(v); };
  const struct {
    const char* name;
    long double speedBefore, speedAfter;
    long double distanceBefore, distanceAfter;
    int segmentBefore, segmentAfter;
    const char* broken;
  } cases[] = {
      {"standing", 0, 0, 1000, 1000, 1, 1, ""},
      {"standing, crept on", 0, 0, 1000, 1000.0001L, 1, 1,
       "invariant: DistanceAtRest 1000.0000 became 1000.0001 in the simulation tick while Speed "
       "was 0"},
      {"standing, went back", 0, 0, 1000, 999, 1, 1,
       "invariant: DistanceAtRest 1000.0000 became 999"},
      {"standing after a move, in the row it was moved to", 0, 0, 1000, 1001, -1, -1,
       "invariant: DistanceAtRest"},
      {"moving off", 0, 0.0001L, 1000, 1000, 1, 1, ""},
      {"ran, then came to rest", 0.0001L, 0, 1000, 1000.0001L, 1, 1, ""},
      {"rolling backwards", -0.0001L, -0.0001L, 1000, 999.9999L, 1, 1, ""},
      {"a frame key put it into the next row", 0, 0, 1000, 8333, 0, 1, ""},
      {"a Distance that is no number is the other invariant's", 0, 0, 1000,
       std::numeric_limits<long double>::quiet_NaN(), 1, 1, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    sim::TrainState after;
    after.Speed = fixed(c.speedAfter);
    after.Distance = c.distanceAfter;
    after.SpeedUnitSegment = c.segmentAfter;
    const TickStart before{fixed(c.speedBefore), c.distanceBefore, c.segmentBefore};
    const std::string bad = checkDistanceAtRest(before, after, "simulation tick");
    const std::string broken = c.broken;
    EXPECT_EQ(bad.substr(0, broken.size()), broken) << bad;
    EXPECT_EQ(bad.empty(), broken.empty()) << bad;
  }
}

TEST(SoakRandom, StaysWithinItsBounds) {
  SoakRandom r(42);
  for (int i = 0; i < 10000; ++i) {
    const int v = r.between(-3, 3);
    EXPECT_GE(v, -3);
    EXPECT_LE(v, 3);
  }
  EXPECT_EQ(r.between(5, 5), 5);
  const int wide = r.between(0, 0x7FFFFFFF);
  EXPECT_GE(wide, 0);
}

}  // namespace
}  // namespace dravolin::tools
