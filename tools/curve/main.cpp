// dravolin-curve TRAIN_FILE --until MS [--gradient PERMIL] [--set MS:POWER:BRAKE]...
// Prints the run curve of a train on a straight line as CSV, for authors tuning notch tables and
// brakes. The train file is read from the current folder, with the brake validation of a drive.
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "data/load_context.h"
#include "data/load_error.h"
#include "data/train_file.h"
#include "platform/file_picture_loader.h"
#include "platform/language.h"
#include "tools/curve/run_curve.h"

int main(int argc, char** argv) {
  using namespace dravolin;
  std::string error;
  if (!msg::takeLanguageOption(argc, argv, error)) {
    std::fprintf(stderr, "dravolin-curve: %s\n%s\n", error.c_str(), tools::kCurveUsage);
    return 2;
  }
  const std::vector<std::string> args(argv + 1, argv + argc);
  const auto options = tools::parseCurveArguments(args, error);
  if (!options) {
    std::fprintf(stderr, "dravolin-curve: %s\n%s\n", error.c_str(), tools::kCurveUsage);
    return 2;
  }
  if (options->help) {
    std::printf("%s\n", tools::kCurveUsage);
    return 0;
  }
  try {
    platform::FilePictureLoader pictures;
    data::LoadContext ctx;
    ctx.pictures = &pictures;
    data::TrainFile train = data::readTrainFile(options->trainFile, ctx);
    data::validateBrake(train.params);
    std::ios::sync_with_stdio(false);
    tools::runCurve(train.params, *options, std::cout);
    std::cout.flush();
  } catch (const data::LoadError& e) {
    std::fprintf(stderr, "%s\n", e.what());
    return 1;
  }
  return std::cout ? 0 : 1;
}
