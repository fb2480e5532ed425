// The clock display: the digits of Label3 and the hands of the analog clock face.
#pragma once

#include "sim/cab_model.h"

namespace dravolin::sim {

// Clock ticks of 1/30 s in an hour.
inline constexpr int kTicksPerHour = 108000;

// Shows `time` (1/30 s from midnight) as hh:mm:ss in Label3 (hours not wrapped at 24, more
// than two digits in full) and, when the clock face exists, sets its three hands.
void timecalc(int time, CabLabel& Label3, CabClock& clock);

}  // namespace dravolin::sim
