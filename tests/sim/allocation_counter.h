// Counts the program's heap allocations (through operator new) while counting is on, so a test
// can prove that a piece of code allocates nothing.
#pragma once

namespace dravolin::testing {

void startCountingAllocations();
// Stops counting and returns the number of allocations since the start.
long stopCountingAllocations();

}  // namespace dravolin::testing
