// The run curve of a train on a straight line: the train state runs in virtual time
// (sim/virtual_time.h), one millisecond at a time, with the simulation tick every 33 ms and the
// display tick's physics every 100 ms, and one CSV row is written after each display tick.
#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "sim/fixed.h"
#include "sim/train_params.h"

namespace dravolin::tools {

// A handle setting at a moment of the run: PowerHandle := power, BrakeHandle := -brake.
struct HandleSet {
  int atMs = 0;
  int power = 0;
  int brake = 0;
};

struct CurveOptions {
  std::string trainFile;
  int untilMs = 0;
  sim::Fixed gradient;  // permil, positive uphill
  std::vector<HandleSet> sets;
  bool help = false;  // --help or -h: print the usage and run nothing
};

inline constexpr const char* kCurveUsage =
    "usage: dravolin-curve TRAIN_FILE --until MS [--gradient PERMIL] [--set MS:POWER:BRAKE]... "
    "[--lang ja|en]";

// Parses the command line (without the program name). On a usage error returns std::nullopt
// and puts the reason in `error`. With --help the other arguments need not be complete.
std::optional<CurveOptions> parseCurveArguments(const std::vector<std::string>& args,
                                                std::string& error);

// Runs the curve for a validated train and writes the CSV (header and one row per 100 ms).
void runCurve(const sim::TrainParams& train, const CurveOptions& options, std::ostream& out);

}  // namespace dravolin::tools
