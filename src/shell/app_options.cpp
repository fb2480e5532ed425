#include "shell/app_options.h"

#include <cmath>
#include <cstdlib>

namespace dravolin::shell {

const char* usageText() {
  return "usage: dravolin [--scale N] [DATA_DIR | PACKAGE.dravolin]\n"
         "       dravolin --measure SECONDS [--still | --jumps] [--scale N] [DATA_DIR] TRAIN_FILE "
         "LINE_FILE\n"
         "       dravolin --replay RECORDING [--scale N]\n"
         "       dravolin --version | --help\n"
         "\n"
         "  DATA_DIR           folder of the data files (default: the one used last, else the\n"
         "                     installed demo)\n"
         "  PACKAGE.dravolin   a line package to install into the library of lines (as the file\n"
         "                     manager gives it)\n"
         "  --scale N          show the windows N times as large (1 to 4; kept for the next "
         "start,\n"
         "                     lowered when the screen is too small)\n"
         "  --measure SECONDS  drive TRAIN_FILE on LINE_FILE at the recording speed for SECONDS\n"
         "                     and report the video presentation\n"
         "  --still            with --measure: leave the train standing\n"
         "  --jumps            with --measure: move the train a third of the line on every 2 s\n"
         "  --replay RECORDING play a recorded drive in the window at real speed\n"
         "  --lang ja|en       the language of this run (default: the one chosen in the menu,\n"
         "                     else the desktop's: English when it is English, else Japanese)\n";
}

std::optional<AppOptions> parseAppOptions(const std::vector<std::string>& args,
                                          std::string& error) {
  AppOptions o;
  std::vector<std::string> positional;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    const auto value = [&]() -> const std::string* {
      if (i + 1 >= args.size()) {
        error = a + " needs a value";
        return nullptr;
      }
      return &args[++i];
    };
    if (a == "--version") {
      o.version = true;
    } else if (a == "--help" || a == "-h") {
      o.help = true;
    } else if (a == "--still") {
      o.still = true;
    } else if (a == "--jumps") {
      o.jumps = true;
    } else if (a == "--scale") {
      const std::string* v = value();
      if (v == nullptr) return std::nullopt;
      if (v->size() != 1 || (*v)[0] < '1' || (*v)[0] > '4') {
        error = "--scale takes 1, 2, 3 or 4";
        return std::nullopt;
      }
      o.scale = (*v)[0] - '0';
      o.scaleGiven = true;
    } else if (a == "--measure") {
      const std::string* v = value();
      if (v == nullptr) return std::nullopt;
      char* end = nullptr;
      const double s = std::strtod(v->c_str(), &end);
      if (v->empty() || *end != '\0' || !std::isfinite(s) || s <= 0 || s > 86400) {
        error = "--measure takes a number of seconds above 0";
        return std::nullopt;
      }
      o.measureSeconds = s;
    } else if (a == "--lang") {
      const std::string* v = value();
      if (v == nullptr) return std::nullopt;
      o.language = msg::languageOfCode(*v);
      if (!o.language) {
        error = "--lang takes ja or en";
        return std::nullopt;
      }
    } else if (a == "--replay") {
      const std::string* v = value();
      if (v == nullptr) return std::nullopt;
      o.replayFile = *v;
    } else if (a.size() > 1 && a[0] == '-') {
      error = "unknown option " + a;
      return std::nullopt;
    } else {
      positional.push_back(a);
    }
  }
  if (o.version || o.help) return o;
  if (o.measureSeconds) {
    if (o.replayFile) {
      error = "--replay and --measure go alone";
      return std::nullopt;
    }
    if (o.still && o.jumps) {
      error = "--still and --jumps go alone";
      return std::nullopt;
    }
    if (positional.size() < 2 || positional.size() > 3) {
      error = "--measure needs TRAIN_FILE and LINE_FILE";
      return std::nullopt;
    }
    if (positional.size() == 3) {
      o.dataDir = positional[0];
      o.dataDirGiven = true;
    }
    o.trainFile = positional[positional.size() - 2];
    o.lineFile = positional.back();
    return o;
  }
  if (o.still || o.jumps) {
    error = std::string(o.still ? "--still" : "--jumps") + " goes with --measure";
    return std::nullopt;
  }
  if (o.replayFile) {
    if (!positional.empty()) {
      error = "--replay takes its data folder from the recording";
      return std::nullopt;
    }
    return o;
  }
  if (positional.size() > 1) {
    error = "only one data folder";
    return std::nullopt;
  }
  if (!positional.empty()) {
    o.dataDir = positional[0];
    o.dataDirGiven = true;
  }
  return o;
}

}  // namespace dravolin::shell
