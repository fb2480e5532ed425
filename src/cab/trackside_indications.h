// The trackside indications beside the line video that come from the line file's lists: the
// next speed limit (blinking while it is announced), the gradient with its value, the other
// line signs and the small line that slides down as the stop position comes near. Each is one
// step of the display tick; the signal picture belongs to the signal step in sim/signals.h.
#pragma once

#include <span>
#include <string>

#include "data/line_file.h"
#include "sim/cab_model.h"
#include "sim/protection_state.h"
#include "sim/train_state.h"

namespace dravolin::cab {

// Sign image of a speed limit: limit / 5 for 15, 20, ... 120 km/h (images 3 to 24), otherwise
// image 0.
int speedLimitImage(int limitKmh);

// Blinking of an announced limit, from the display tick's counter: hidden on ticks divisible by
// 5 but not by 10, shown on ticks divisible by 10.
void speedLimitBlink(int tickCounter, const sim::IndicationState& ind, sim::CabModel& cab);

// The limit announced or in force at the train's position.
void speedLimitIndication(const sim::TrainState& s, std::span<const data::SpeedLimitRecord> limits,
                          sim::IndicationState& ind, sim::CabModel& cab);

// A gradient in permil as shown: one decimal, "." as separator, halves to even.
std::string gradientText(sim::Fixed permil);

// The gradient under the head of the train: the uphill or downhill sign, its value, and
// HeadGradient. A level row shows 0.0 and no sign; the gap between two rows shows nothing.
void gradientIndication(sim::TrainState& s, std::span<const data::SlopeRecord> slopes,
                        sim::CabModel& cab);

// The other-indication sign whose range holds the position; it stays until no row matches.
void signIndication(const sim::TrainState& s, std::span<const data::SignRecord> signs,
                    sim::IndicationState& ind, sim::CabModel& cab);

// The stop-position line: 1.2 px per metre above the video's lower edge (232) within 200 m
// before and 100 m past the stop position.
void stopLine(const sim::TrainState& s, sim::CabModel& cab);

}  // namespace dravolin::cab
