#include "tools/curve/run_curve.h"

#include <charconv>
#include <cstdio>

#include "data/value_syntax.h"
#include "sim/display_physics.h"
#include "sim/simulation_tick.h"
#include "sim/train_state.h"
#include "sim/virtual_time.h"

namespace dravolin::tools {

namespace {

bool parseInt(std::string_view text, int& value) {
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, value);
  return ec == std::errc() && ptr == end && !text.empty();
}

std::string formatReal(long double cm) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.4Lf", cm);
  return buffer;
}

}  // namespace

std::optional<CurveOptions> parseCurveArguments(const std::vector<std::string>& args,
                                                std::string& error) {
  CurveOptions options;
  bool haveUntil = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const bool hasValue = i + 1 < args.size();
    if (arg == "--help" || arg == "-h") {
      options.help = true;
    } else if (arg == "--until") {
      if (!hasValue || !parseInt(args[++i], options.untilMs) || options.untilMs < 1) {
        error = "--until needs a whole number of milliseconds, 1 or more";
        return std::nullopt;
      }
      haveUntil = true;
    } else if (arg == "--gradient") {
      const std::optional<sim::Fixed> gradient =
          hasValue ? data::parseFixed(args[++i]) : std::nullopt;
      if (!gradient) {
        error = "--gradient needs a number in permil";
        return std::nullopt;
      }
      options.gradient = *gradient;
    } else if (arg == "--set") {
      HandleSet set;
      const std::string value = hasValue ? args[++i] : std::string();
      const std::size_t a = value.find(':');
      const std::size_t b = a == std::string::npos ? a : value.find(':', a + 1);
      if (b == std::string::npos || !parseInt(std::string_view(value).substr(0, a), set.atMs) ||
          !parseInt(std::string_view(value).substr(a + 1, b - a - 1), set.power) ||
          !parseInt(std::string_view(value).substr(b + 1), set.brake) || set.power < 0 ||
          set.brake < 0) {
        error = "--set needs MS:POWER:BRAKE with whole numbers, POWER and BRAKE 0 or more";
        return std::nullopt;
      }
      options.sets.push_back(set);
    } else if (!arg.empty() && arg[0] == '-') {
      error = "unknown option " + arg;
      return std::nullopt;
    } else if (options.trainFile.empty()) {
      options.trainFile = arg;
    } else {
      error = "only one train file may be given";
      return std::nullopt;
    }
  }
  if (options.help) return options;
  if (options.trainFile.empty()) {
    error = "no train file given";
    return std::nullopt;
  }
  if (!haveUntil) {
    error = "--until is required";
    return std::nullopt;
  }
  return options;
}

void runCurve(const sim::TrainParams& train, const CurveOptions& options, std::ostream& out) {
  const sim::LineParams line;  // a straight line without a recorded speed profile
  sim::TrainState s = sim::loadState(train, line);
  s.DoorsOpen = false;
  s.DoorCommand = false;
  s.Gradient = options.gradient;
  s.HeadGradient = options.gradient;
  s.CarGradients.fill(sim::roundToInt(options.gradient.ld()));

  using sim::formatFixed;
  out << "t_ms,Speed,PowerNotch,BrakeNotch,TractiveForce,ResistanceForce,BrakePressure,"
         "BpPressure,SapPressure,MrPressure,BcPressure,Distance,WheelState,Gear,EngineOutput\n";
  const bool running = true;
  sim::runVirtualTime(
      options.untilMs, running,
      [&](int t) {
        for (const HandleSet& set : options.sets) {
          if (set.atMs == t) {
            s.PowerHandle = set.power;
            s.BrakeHandle = -set.brake;
            s.PowerChangePending = true;
            s.BrakeChangePending = true;
          }
        }
      },
      [&](int) { sim::MMTimer1Timer(s, train, line); },
      // The curve has no sound: what the compressor did shows in MrPressure.
      [&](int) { sim::displayTickPhysics(s, train); },
      [&](int t) {
        if (t % sim::kDisplayTickMs != 0) return;
        out << t << ',' << formatFixed(s.Speed) << ',' << s.PowerNotch << ',' << s.BrakeNotch << ','
            << formatFixed(s.TractiveForce) << ',' << formatFixed(s.ResistanceForce) << ','
            << formatFixed(s.BrakePressure) << ',' << formatFixed(s.BpPressure) << ','
            << formatFixed(s.SapPressure) << ',' << formatFixed(s.MrPressure) << ','
            << formatFixed(s.BcPressure) << ',' << formatReal(s.Distance) << ','
            << sim::wheelStateText(s.wheelState) << ',' << s.Gear << ','
            << formatReal(s.EngineOutput) << '\n';
      });
}

}  // namespace dravolin::tools
