#include <gtest/gtest.h>

#include <set>
#include <stdexcept>
#include <string>
#include <vector>

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
