// The columns a headless drive prints: the train state under its variable names, the cab's
// labels, pictures, lamps and needles, the protection state, the value display and the line
// video frame the cab view shows.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cab/value_display.h"
#include "drive/evaluation.h"
#include "drive/shown_frame.h"
#include "sim/cab_model.h"
#include "sim/protection_state.h"
#include "sim/train_state.h"

namespace dravolin::tools {

// What one trace row reads.
struct DriveView {
  long long timeMs = 0;
  const sim::TrainState* state = nullptr;
  const sim::CabModel* cab = nullptr;
  const sim::ProtectionState* protection = nullptr;
  const cab::ValueDisplay* values = nullptr;
  const drive::ShownFrame* shown = nullptr;
  const drive::Evaluation* evaluation = nullptr;
};

using ColumnFormatter = std::function<std::string(const DriveView&)>;

// The default columns.
inline constexpr std::string_view kDefaultColumns =
    "t_ms,Speed,PowerHandle,BrakeHandle,PowerNotch,BrakeNotch,Reverser,FrameIndex,Distance,"
    "ClockTicks,ScheduleFrame,DoorsOpen,SignalCode,AtsBrakeApplied,AtcBrakeApplied,StationLabel";

// The formatter of a column by name; nullopt for a name the tool does not know.
std::optional<ColumnFormatter> column(std::string_view name);

// Splits a comma-separated column list and finds each column. On an unknown or empty name
// returns nullopt and sets `error`.
std::optional<std::vector<ColumnFormatter>> columns(std::string_view list, std::string& error);

// A CSV field: quoted (with doubled quotes) when it holds a comma, a quote or a line end.
std::string csvField(std::string_view text);

}  // namespace dravolin::tools
