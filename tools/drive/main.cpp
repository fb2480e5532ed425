// dravolin-drive [--dir DIR] TRAIN_FILE LINE_FILE --until MS [--script FILE] [--columns LIST]
//                [--every MS] [--sounds FILE] [--check]
// dravolin-drive [--dir DIR] [TRAIN_FILE LINE_FILE] --random SEED --until MS
// Loads a drive as the driving window would, with no window, runs it in virtual time from a
// script of driver events and prints a CSV trace of the chosen columns; or drives on random
// input, checking the drive after every display tick.
#include <iostream>
#include <string>
#include <vector>

#include "platform/language.h"
#include "tools/drive/run_drive.h"

namespace dravolin::tools {
long allocationsSoFar();  // allocation_counter.cpp
}  // namespace dravolin::tools

int main(int argc, char** argv) {
  using namespace dravolin;
  std::string error;
  if (!msg::takeLanguageOption(argc, argv, error)) {
    std::cerr << "dravolin-drive: " << error << '\n' << tools::kDriveUsage << '\n';
    return tools::kExitUsageError;
  }
  const std::vector<std::string> args(argv + 1, argv + argc);
  const auto options = tools::parseDriveArguments(args, error);
  if (!options) {
    std::cerr << "dravolin-drive: " << error << '\n' << tools::kDriveUsage << '\n';
    return tools::kExitUsageError;
  }
  if (options->help) {
    std::cout << tools::kDriveUsage << '\n';
    return 0;
  }
  std::ios::sync_with_stdio(false);
  return tools::runDriveTool(*options, std::cout, std::cerr, tools::allocationsSoFar);
}
