// The drive of the program: drive::Drive behind the driving window's DriveHandlers.
#pragma once

#include "input/input_state.h"
#include "shell/drive_handlers.h"

namespace dravolin::shell {

// The factory of real drives. `program` holds what input keeps across drives (the keypad swap)
// and must outlive every drive made.
DriveFactory makeDriveFactory(input::ProgramInputState& program);

}  // namespace dravolin::shell
