// Lineside signals: what every signal shows, which one the driver approaches, and the ATS
// transponders and check points that go with it. Signals follow a train ahead that runs to the
// recorded timetable: the block holding ScheduleFrame is occupied, its signal shows stop and the
// signals behind it show less and less restrictive indications.
//
// The three steps run in the display tick in this order: blockStates, fixedStates (with the
// tunnel panel between them and the next), then signalAhead.
#pragma once

#include <span>
#include <vector>

#include "platform/sound_slots.h"
#include "sim/cab_model.h"
#include "sim/line_tables.h"
#include "sim/protection_params.h"
#include "sim/protection_state.h"
#include "sim/train_state.h"

namespace dravolin::sim {

// One value per signal record, owned by the drive and sized to the signal list: the block state
// 0 (stop) to 4 (most permissive), replaced by the indication code while the signal is the one
// ahead. Recomputed from scratch every tick by blockStates.
struct SignalState {
  std::vector<int> value;

  // Sizes the list to `count` signals (new ones at 4). Allocates only when the size changes.
  void fit(std::size_t count) {
    if (value.size() != count) value.resize(count, 4);
  }
};

// Indication classes of the codes.
enum class IndicationClass { None, R, YY, Y, YG, G };

// The indication code of a signal of `kind` at block state `state`: 0 to 21, both the signal
// image number and its class. A state outside 0..4 is the code unchanged; a negative kind takes
// the repeater's codes and a kind above 5 those of kind 5.
int indicationCode(int kind, int state);
IndicationClass indicationClass(int code);
// Codes that stop a train at a block signal (the repeater's stop 0 is not among them).
bool isBlockStopCode(int code);

// Block states from the occupied block (the one from a block signal's boundary to the next block
// signal's boundary, both exclusive, that holds ScheduleFrame): that signal 0, the block signals
// behind it 2 and 4, repeaters repeat the signal in front of them, every other signal 4. A last
// block signal with no block signal after it protects nothing.
void blockStates(const TrainState& s, std::span<const SignalRecord> signals, SignalState& blocks);

// Fixed states: control 1 until its time, control 2 always.
void fixedStates(const TrainState& s, std::span<const SignalRecord> signals, SignalState& blocks);

// The signal ahead and its presentation (signal picture and name, or the ATC lamps and chime),
// the passing of its boundary (the picture and name cleared and, but under ATC, the shown code
// forgotten), the ATS transponder (stop warning) and the ATS check point that sets the ATS check
// state.
void signalAhead(const TrainState& s, const ProtectionParams& p,
                 std::span<const SignalRecord> signals, SignalState& blocks, ProtectionState& ps,
                 CabModel& cab, platform::SoundSlots& sounds);

}  // namespace dravolin::sim
