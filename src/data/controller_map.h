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

// Messages of a controller mapping file that cannot be used.
inline constexpr const char* kControllerMapMissing = "mascon.datが見つかりません";
inline constexpr const char* kControllerMapUnreadable = "mascon.datを読み込めません";
inline constexpr const char* kControllerMapTooLong =
    "mascon.datに誤りがあります:コードは26行までです";

// Reads the codes: from the first line up to the end of the file or the first line whose first
// character is "#". More than 26 code lines throw LoadError kControllerMapTooLong.
ControllerMap parseControllerMap(std::string_view bytes);

// Reads "mascon.dat" in the data folder; a missing file throws kControllerMapMissing, one that
// cannot be read kControllerMapUnreadable.
ControllerMap readControllerMap(const LoadContext& ctx);

}  // namespace dravolin::data
