// The controller mapping file "mascon.dat": which code the serial controller box sends for each
// handle position or command. Line n (from 1) holds the code of action n.
#pragma once

#include <string>
#include <vector>

#include "data/load_context.h"
#include "data/load_error.h"

namespace dravolin::data {

inline constexpr const char* kControllerMapFileName = "mascon.dat";

struct ControllerMap {
  // Room for this many lines; lines 1 to 22 have a meaning.
  static constexpr int kMaxCodes = 26;
  // The codes in line order, raw bytes as received from the box (at most kMaxCodes). Code i
  // (from 0) stands for action line i + 1.
  std::vector<std::string> codes;
};

// A controller mapping file that cannot be used ends the loading with msg::controllerMapMissing(),
// msg::controllerMapUnreadable() or msg::controllerMapTooLong().

// Reads the codes: from the first line up to the end of the file or the first line whose first
// character is "#". More than 26 code lines throw LoadError msg::controllerMapTooLong().
ControllerMap parseControllerMap(std::string_view bytes);

// Reads "mascon.dat" in the data folder; a missing file throws kControllerMapMissing, one that
// cannot be read kControllerMapUnreadable.
ControllerMap readControllerMap(const LoadContext& ctx);

}  // namespace dravolin::data
