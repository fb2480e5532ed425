#include "tools/drive/soak.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <limits>
#include <stdexcept>
#include <string_view>

#include "drive/script_controller.h"
#include "input/key_codes.h"
#include "sim/virtual_time.h"
#include "tools/drive/run_drive.h"

namespace dravolin::tools {
namespace {

// --- the sound service ---

bool validSlot(int slot) { return slot >= 0 && slot < platform::SoundSlots::kSlotCount; }

// --- invariants ---

std::string outside(const char* name, long double value, long double lo, long double hi) {
  if (value >= lo && value <= hi) return {};
  return std::string(name) + " " + sim::formatFixed(sim::Fixed::round(value), 4) + " outside " +
         sim::formatFixed(sim::Fixed::round(lo), 4) + " .. " +
         sim::formatFixed(sim::Fixed::round(hi), 4);
}

std::string outside(const char* name, int value, int lo, int hi) {
  if (value >= lo && value <= hi) return {};
  return std::string(name) + " " + std::to_string(value) + " outside " + std::to_string(lo) +
         " .. " + std::to_string(hi);
}

std::string notFinite(const char* name, long double value) {
  return std::isfinite(value) ? std::string() : std::string(name) + " is not a finite number";
}

std::string pictureOutsideList(const char* name, const sim::CabPicture& picture,
                               const sim::CabImageList& list) {
  if (picture.image == sim::kNoImage || list.has(picture.image)) return {};
  return std::string(name) + " shows image " + std::to_string(picture.image) + " of a list of " +
         std::to_string(list.count());
}

// --- the random driver ---

// Virtual key codes a keyboard sends: control keys, digits, letters, the numeric pad, function
// keys and punctuation; others are drawn from the whole range now and then.
constexpr int kKeys[] = {8,   9,   13,  16,  17,  18,  19,  20,  27,  32,  33,  34,  35,  36,
                         37,  38,  39,  40,  45,  46,  48,  49,  50,  51,  52,  53,  54,  55,
                         56,  57,  65,  66,  67,  68,  69,  70,  71,  72,  73,  74,  75,  76,
                         77,  78,  79,  80,  81,  82,  83,  84,  85,  86,  87,  88,  89,  90,
                         96,  97,  98,  99,  100, 101, 102, 103, 104, 105, 106, 107, 109, 110,
                         111, 112, 113, 114, 115, 116, 117, 118, 119, 120, 121, 122, 123, 144,
                         145, 186, 187, 188, 189, 190, 191, 192, 219, 220, 221, 222, 226};

void makeChar(SoakRandom& r, const RandomContext&, ScriptEvent& e) {
  e.kind = ScriptEventKind::Char;
  e.character = static_cast<char>(r.between(32, 126));
}

void makeKey(SoakRandom& r, const RandomContext&, ScriptEvent& e) {
  e.kind = ScriptEventKind::Key;
  if (r.percent(3)) {
    e.virtualKey = r.between(0, 0xFFFF);
  } else if (r.percent(15)) {
    e.virtualKey = r.between(0, 255);
  } else {
    e.virtualKey = kKeys[r.between(0, static_cast<int>(std::size(kKeys)) - 1)];
  }
  e.modifiers = r.percent(20) ? input::kShift : 0u;
}

// A byte a serial line may carry in a script: printable, and never a blank at either end.
char serialByte(SoakRandom& r) { return static_cast<char>(r.between(33, 126)); }

void makeSerial(SoakRandom& r, const RandomContext& c, ScriptEvent& e) {
  e.kind = ScriptEventKind::Serial;
  e.bytes.clear();
  const int shape = r.between(1, 100);
  if (!c.controllerCodes.empty() && shape <= 70) {
    // One code of the box, now and then two run together or with a line end.
    const int codes = r.percent(10) ? 2 : 1;
    for (int i = 0; i < codes; ++i) {
      e.bytes += c.controllerCodes[static_cast<std::size_t>(
          r.between(0, static_cast<int>(c.controllerCodes.size()) - 1))];
    }
    if (r.percent(20)) e.bytes += "\r\n";
  } else if (!c.controllerCodes.empty() && shape <= 85) {
    // A code cut short or with noise after it.
    const std::string& code = c.controllerCodes[static_cast<std::size_t>(
        r.between(0, static_cast<int>(c.controllerCodes.size()) - 1))];
    e.bytes = code.substr(0, static_cast<std::size_t>(r.between(0, static_cast<int>(code.size()))));
    for (int n = r.between(e.bytes.empty() ? 1 : 0, 4); n > 0; --n) e.bytes += serialByte(r);
  } else {
    for (int n = r.between(1, 12); n > 0; --n) e.bytes += serialByte(r);
  }
  // Bytes that would not survive a script line (blanks and tabs at its ends) are not drawn.
  std::replace_if(
      e.bytes.begin(), e.bytes.end(), [](char ch) { return ch == '\0'; }, '0');
}

void makeStation(SoakRandom& r, const RandomContext& c, ScriptEvent& e) {
  if (c.stations.empty()) {
    e.kind = ScriptEventKind::WheelUp;  // a line with no "Move" entries: a harmless event instead
    return;
  }
  e.kind = ScriptEventKind::Station;
  e.station =
      c.stations[static_cast<std::size_t>(r.between(0, static_cast<int>(c.stations.size()) - 1))];
}

// The gap before the next event: bursts as from a cat on the keyboard, a driver's pace, and long
// runs with the handles left alone.
int nextGapMs(SoakRandom& r) {
  const int shape = r.between(1, 100);
  if (shape <= 25) return r.between(1, 200);
  if (shape <= 85) return r.between(200, 3000);
  if (shape <= 97) return r.between(3000, 30000);
  return r.between(30000, 180000);
}

}  // namespace

// --- the sound service ---

bool CheckedSoundSlots::initialise() {
  assigned_.fill(false);
  checking_ = false;
  fault_ = nullptr;
  return VirtualSoundSlots::initialise();
}

void CheckedSoundSlots::setLayout(const data::SoundLayout& layout) {
  assigned_.fill(false);
  for (int slot = 0; slot < layout.otherSound(layout.O) && slot < kSlotCount; ++slot) {
    if (slot >= 0) assigned_[static_cast<std::size_t>(slot)] = true;
  }
  for (int i = 0; i < layout.M && data::SoundLayout::motorSound(i) < kSlotCount; ++i) {
    assigned_[static_cast<std::size_t>(data::SoundLayout::motorSound(i))] = true;
  }
  checking_ = true;
}

void CheckedSoundSlots::checkPlay(int slot, const char* how) {
  if (!validSlot(slot)) {
    noteFault(slot, how[0] == 'p' ? "played slot %, out of range" : "looped slot %, out of range");
  } else if (checking_ && !assigned_[static_cast<std::size_t>(slot)]) {
    noteFault(slot, how[0] == 'p' ? "played slot %, which no sound of the drive was assigned to"
                                  : "looped slot %, which no sound of the drive was assigned to");
  }
}

void CheckedSoundSlots::playOnce(int slot) {
  checkPlay(slot, "played");
  VirtualSoundSlots::playOnce(slot);
}

void CheckedSoundSlots::playLooped(int slot) {
  checkPlay(slot, "looped");
  VirtualSoundSlots::playLooped(slot);
}

void CheckedSoundSlots::setFrequencyRatio(int slot, double ratio) {
  if (!std::isfinite(ratio)) noteFault(slot, "slot % given a rate that is not a finite number");
  VirtualSoundSlots::setFrequencyRatio(slot, ratio);
}

void CheckedSoundSlots::noteFault(int slot, const char* what) {
  if (fault_ == nullptr) {
    fault_ = what;
    faultSlot_ = slot;
  }
}

std::string CheckedSoundSlots::takeFault() {
  if (fault_ == nullptr) return {};
  std::string text = fault_;
  text.replace(text.find('%'), 1, std::to_string(faultSlot_));
  fault_ = nullptr;
  return "sound: " + text;
}

// --- invariants ---

std::string checkDriveInvariants(const drive::Drive& drive) {
  const sim::TrainState& s = drive.state();
  const sim::TrainParams& p = drive.data().files.train.params;
  const sim::CabModel& cab = drive.cab();
  std::string bad;
  auto check = [&bad](std::string message) {
    if (bad.empty() && !message.empty()) bad = "invariant: " + std::move(message);
  };
  check(notFinite("Distance", s.Distance));
  check(notFinite("DistanceStep", s.DistanceStep));
  check(notFinite("NextStopDistance", s.NextStopDistance));
  check(notFinite("DistanceToStop", s.DistanceToStop));
  check(notFinite("LastGradientSampleDistance", s.LastGradientSampleDistance));
  check(notFinite("EngineOutput", s.EngineOutput));
  check(outside("PowerHandle", s.PowerHandle, 0, p.Power));
  check(outside("PowerNotch", s.PowerNotch, 0, p.Power));
  check(outside("BrakeHandle", s.BrakeHandle, -p.Brake, 0));
  check(outside("BrakeNotch", s.BrakeNotch, -p.Brake, 0));
  check(outside("Reverser", s.Reverser, -1, 1));
  if (p.diesel()) {
    check(outside("Gear", s.Gear, 0, std::max(p.GearCount() - 1, 0)));
  }
  // A pressure may pass its end value by one step of its rate before it is held there.
  const long double top = static_cast<long double>(std::max({p.EBPress, p.HighAirPress, 500}) +
                                                   std::max(p.BrakeUp, p.BrakeDown));
  check(outside("BrakePressure", s.BrakePressure.ld(), 0.0L, top));
  check(outside("BpPressure", s.BpPressure.ld(), 0.0L, top));
  check(outside("MrPressure", s.MrPressure.ld(), 0.0L, top));
  check(outside("SapPressure", s.SapPressure.ld(), 0.0L, top));
  check(outside("BcPressure", s.BcPressure.ld(), 0.0L, top));
  // Traction ends at MaxSpeed and a fall may carry the train a little beyond; the speed key
  // (Shift+F12) sets up to 1010 km/h forward.
  const long double margin = 30.0L;
  const long double backward = static_cast<long double>(p.MaxSpeed) + margin;
  const long double forward = static_cast<long double>(std::max(p.MaxSpeed, 1010)) + margin;
  check(outside("Speed", s.Speed.ld(), -backward, forward));
  // Inside the line video; without one, not before the line's first frame.
  const int lastFrame = drive.data().videoFrameCount > 0 ? drive.data().videoFrameCount - 1
                                                         : std::numeric_limits<int>::max();
  check(outside("FrameIndex", s.FrameIndex, 0, lastFrame));
  check(pictureOutsideList("Lamp_P", cab.Lamp_P, cab.NotchImageP));
  check(pictureOutsideList("Lamp_B", cab.Lamp_B, cab.NotchImageB));
  check(pictureOutsideList("Lamp_Gear", cab.Lamp_Gear, cab.GearImageList));
  check(pictureOutsideList("SignalImage", cab.SignalImage, cab.SignalImages));
  check(pictureOutsideList("SpeedLimitImage", cab.SpeedLimitImage, cab.SignImages));
  check(pictureOutsideList("SlopeImage", cab.SlopeImage, cab.SignImages));
  check(pictureOutsideList("stop", cab.stop, cab.SignImages));
  check(pictureOutsideList("OtherImage", cab.OtherImage, cab.OtherImages));
  return bad;
}

std::string checkDistanceAtRest(const TickStart& before, const sim::TrainState& after,
                                const char* tick) {
  if (before.speed != sim::Fixed() || after.Speed != sim::Fixed()) return {};
  if (after.SpeedUnitSegment != before.speedUnitSegment) return {};
  if (!std::isfinite(before.distance) || !std::isfinite(after.Distance)) return {};
  if (after.Distance == before.distance) return {};
  return std::string("invariant: DistanceAtRest ") +
         sim::formatFixed(sim::Fixed::round(before.distance), 4) + " became " +
         sim::formatFixed(sim::Fixed::round(after.Distance), 4) + " in the " + tick +
         " while Speed was 0";
}

// --- the random driver ---

std::uint64_t SoakRandom::next() {
  std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
  return z ^ (z >> 31);
}

int SoakRandom::between(int lo, int hi) {
  const std::uint64_t span = static_cast<std::uint64_t>(static_cast<std::int64_t>(hi) - lo) + 1;
  return static_cast<int>(lo + static_cast<std::int64_t>(next() % span));
}

const std::vector<RandomEventKind>& randomEventKinds() {
  static const std::vector<RandomEventKind> kinds = {
      {"char", 40, nullptr, makeChar},
      {"key", 25, nullptr, makeKey},
      {"wheel", 20, "wheel {down|up}"},
      {"serial", 12, nullptr, makeSerial},
      {"station", 1, nullptr, makeStation},
      {"start", 1, "start"},
      // A USB controller: plugged in and out, its axes and buttons, and the commands the
      // window records of it. An axis or button drawn with none plugged in plugs one in.
      {"device add", 2, "device add {one-handle|two-handle|buttons|gamepad}"},
      {"device remove", 1, "device remove"},
      {"axis", 6, "axis {0..7} {-32768..32767}"},
      {"button", 4, "button {0..31} {down|up}"},
      {"controller", 2, "controller {1..22}"},
  };
  return kinds;
}

std::string expandPattern(SoakRandom& random, std::string_view pattern) {
  std::string text;
  while (!pattern.empty()) {
    const std::size_t open = pattern.find('{');
    text += pattern.substr(0, open);
    if (open == std::string_view::npos) break;
    const std::size_t close = pattern.find('}', open);
    if (close == std::string_view::npos) throw std::invalid_argument("an unclosed { in a pattern");
    const std::string_view choice = pattern.substr(open + 1, close - open - 1);
    pattern.remove_prefix(close + 1);
    if (const std::size_t dots = choice.find(".."); dots != std::string_view::npos) {
      const std::string lo(choice.substr(0, dots)), hi(choice.substr(dots + 2));
      text += std::to_string(random.between(std::stoi(lo), std::stoi(hi)));
      continue;
    }
    std::vector<std::string_view> words;
    for (std::string_view rest = choice;;) {
      const std::size_t bar = rest.find('|');
      words.push_back(rest.substr(0, bar));
      if (bar == std::string_view::npos) break;
      rest.remove_prefix(bar + 1);
    }
    text += words[static_cast<std::size_t>(random.between(0, static_cast<int>(words.size()) - 1))];
  }
  return text;
}

ScriptEvent makeRandomEvent(SoakRandom& random, const RandomContext& context,
                            const RandomEventKind& kind, int timeMs) {
  ScriptEvent e;
  if (kind.make != nullptr) {
    kind.make(random, context, e);
  } else {
    const std::string line = std::to_string(timeMs) + " " + expandPattern(random, kind.pattern);
    std::string error;
    auto parsed = parseScript(line, error);
    if (!parsed || parsed->size() != 1) {
      throw std::invalid_argument("the random event '" + line + "' is no script line: " + error);
    }
    e = std::move(parsed->front());
  }
  e.timeMs = timeMs;
  return e;
}

std::vector<ScriptEvent> randomScript(std::uint64_t seed, int untilMs,
                                      const RandomContext& context) {
  SoakRandom r(seed);
  const std::vector<RandomEventKind>& kinds = randomEventKinds();
  int total = 0;
  for (const RandomEventKind& k : kinds) total += k.weight;
  const RandomEventKind start{"start", 0, "start"};
  std::vector<ScriptEvent> events;
  auto add = [&](int t, const RandomEventKind& kind) {
    events.push_back(makeRandomEvent(r, context, kind, t));
    events.back().line = static_cast<int>(events.size());
  };
  const RandomEventKind plugIn{"device add", 0,
                               "device add {one-handle|two-handle|buttons|gamepad}"};
  bool attached = false;
  int t = r.between(1, 5000);
  if (t > untilMs) return events;
  add(t, start);
  while (true) {
    t += nextGapMs(r);
    if (t > untilMs || t < 0) break;
    int pick = r.between(1, total);
    const RandomEventKind* kind = &kinds.front();
    for (const RandomEventKind& k : kinds) {
      kind = &k;
      if ((pick -= k.weight) <= 0) break;
    }
    add(t, *kind);
    const ScriptEventKind made = events.back().kind;
    if ((made == ScriptEventKind::Axis || made == ScriptEventKind::Button) && !attached) {
      events.pop_back();
      add(t, plugIn);
    }
    if (events.back().kind == ScriptEventKind::DeviceAdd) attached = true;
    if (events.back().kind == ScriptEventKind::DeviceRemove) attached = false;
    if (events.back().kind == ScriptEventKind::Start) {
      // The drive was running (every Start here comes in a pair): this one pauses it. Resume soon.
      t += r.between(1, 10000);
      if (t > untilMs || t < 0) break;
      add(t, start);
    }
  }
  return events;
}

// --- checked runs ---

std::optional<SoakFailure> runChecked(drive::Drive& drive, CheckedSoundSlots& sounds,
                                      const std::vector<ScriptEvent>& events, int untilMs,
                                      AllocationCount allocations, SoakStats* stats) {
  std::optional<SoakFailure> failure;
  SoakStats covered;
  bool doorsOpen = drive.state().DoorsOpen;
  std::size_t next = 0;
  // The script's USB controller, worked through the built-in profiles as in dravolin-drive.
  static const drive::ScriptProfiles builtIn = [] {
    drive::ScriptProfiles profiles;
    std::vector<ScriptEvent> plugIns;
    for (const char* name : {"one-handle", "two-handle", "buttons", "gamepad"}) {
      plugIns.emplace_back();
      plugIns.back().kind = ScriptEventKind::DeviceAdd;
      plugIns.back().profile = name;
    }
    drive::loadScriptProfiles(plugIns, {}, profiles);
    return profiles;
  }();
  drive::ScriptController controller(builtIn);
  // The ticks run while the drive runs and nothing has broken yet.
  bool ticking = false;
  auto fail = [&](int t, std::string message) {
    if (!failure) failure = SoakFailure{t, std::move(message)};
    ticking = false;
  };
  auto counted = [&](int t, void (drive::Drive::*tick)(), const char* name) {
    const TickStart start = tickStart(drive.state());
    const long before = allocations != nullptr ? allocations() : 0;
    (drive.*tick)();
    const long made = allocations != nullptr ? allocations() - before : 0;
    if (made != 0) {
      fail(t, std::string("allocation: the ") + name + " allocated " + std::to_string(made) +
                  (made == 1 ? " time" : " times"));
    }
    if (std::string bad = checkDistanceAtRest(start, drive.state(), name); !bad.empty()) {
      fail(t, std::move(bad));
    }
  };
  sim::runVirtualTime(
      untilMs, ticking,
      [&](int t) {
        if (failure) return;
        sounds.setTimeMs(t);
        bool any = false;
        for (; next < events.size() && events[next].timeMs == t; ++next) {
          drive::applyScriptEvent(drive, events[next]);
          for (const int line : controller.handle(events[next])) drive.ControllerCommand(line);
          any = true;
        }
        if (any) {
          for (const int line : controller.flush()) drive.ControllerCommand(line);
        }
        if (std::string bad = sounds.takeFault(); !bad.empty()) fail(t, std::move(bad));
        ticking = drive.running() && !failure;
      },
      [&](int t) { counted(t, &drive::Drive::MMTimer1Timer, "simulation tick"); },
      [&](int t) {
        counted(t, &drive::Drive::Timer1Timer, "display tick");
        const sim::TrainState& s = drive.state();
        ++covered.displayTicks;
        covered.fastestKmh = std::max(covered.fastestKmh, sim::abs(s.Speed).ld());
        covered.lastFrame = std::max(covered.lastFrame, s.FrameIndex);
        if (s.DoorsOpen && !doorsOpen) ++covered.stationStops;
        doorsOpen = s.DoorsOpen;
        if (std::string bad = checkDriveInvariants(drive); !bad.empty()) fail(t, std::move(bad));
      },
      [&](int t) {
        if (failure) return;
        if (std::string bad = sounds.takeFault(); !bad.empty()) fail(t, std::move(bad));
      });
  if (stats != nullptr) *stats = covered;
  return failure;
}

RandomContext randomContext(const drive::Drive& drive) {
  RandomContext c;
  for (const drive::StationMenuEntry& entry : drive.data().stationMenu) {
    c.stations.push_back(entry.station);
  }
  c.controllerCodes = drive.data().files.mascon.codes;
  return c;
}

namespace {

// The kind of a failure: its message up to the first colon after the invariant's name
// ("invariant: BrakeHandle", "sound", "allocation").
std::string failureKind(const std::string& message) {
  const std::size_t colon = message.find(':');
  if (colon == std::string::npos) return message;
  if (message.compare(0, colon, "invariant") != 0) return message.substr(0, colon);
  const std::size_t blank = message.find(' ', colon + 2);
  return message.substr(0, blank);
}

}  // namespace

ReducedFailure reduceFailure(const DriveLoader& load, std::vector<ScriptEvent> events,
                             const SoakFailure& failure, AllocationCount allocations,
                             int maxReplays, double maxSeconds) {
  const auto started = std::chrono::steady_clock::now();
  auto timeLeft = [&] {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count() <
           maxSeconds;
  };
  ReducedFailure best{std::move(events), failure};
  // Events after the failure play no part in it.
  std::erase_if(best.events, [&](const ScriptEvent& e) { return e.timeMs > failure.timeMs; });
  const std::string kind = failureKind(failure.message);
  int replays = 0;
  auto stillFails = [&](const std::vector<ScriptEvent>& candidate) -> std::optional<SoakFailure> {
    // A candidate whose controller events come with no device plugged in is no script that
    // dravolin-drive takes: it is not tried.
    drive::ScriptProfiles profiles;
    if (!drive::loadScriptProfiles(candidate, {}, profiles).empty()) return std::nullopt;
    ++replays;
    CheckedDrive d = load();
    auto f = runChecked(*d.drive, *d.sounds, candidate, best.failure.timeMs, allocations);
    if (f && failureKind(f->message) == kind) return f;
    return std::nullopt;
  };
  // Drops ever smaller runs of events while the drive still breaks the same way.
  for (std::size_t chunk = std::max<std::size_t>(best.events.size() / 2, 1);
       replays < maxReplays && timeLeft() && !best.events.empty();
       chunk = std::max<std::size_t>(chunk / 2, 1)) {
    bool dropped = false;
    for (std::size_t i = 0; i < best.events.size() && replays < maxReplays && timeLeft();) {
      std::vector<ScriptEvent> candidate;
      candidate.reserve(best.events.size());
      for (std::size_t k = 0; k < best.events.size(); ++k) {
        if (k < i || k >= i + chunk) candidate.push_back(best.events[k]);
      }
      if (auto f = stillFails(candidate)) {
        best.events = std::move(candidate);
        best.failure = *f;
        std::erase_if(best.events, [&](const ScriptEvent& e) { return e.timeMs > f->timeMs; });
        dropped = true;
      } else {
        i += chunk;
      }
    }
    if (chunk == 1 && !dropped) break;
  }
  for (std::size_t k = 0; k < best.events.size(); ++k) {
    best.events[k].line = static_cast<int>(k) + 1;
  }
  return best;
}

}  // namespace dravolin::tools
