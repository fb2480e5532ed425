// The drive of the program: drive::Drive behind the driving window's DriveHandlers.
#pragma once

#include "input/input_state.h"
#include "shell/drive_handlers.h"

namespace dravolin::drive {
class Drive;
}

namespace dravolin::shell {

// A real drive behind the window's handlers.
std::unique_ptr<DriveHandlers> makeDriveHandlers(std::unique_ptr<drive::Drive> drive);

// The factory of real drives. `program` holds what input keeps across drives (the keypad swap)
// and must outlive every drive made.
DriveFactory makeDriveFactory(input::ProgramInputState& program);

}  // namespace dravolin::shell
