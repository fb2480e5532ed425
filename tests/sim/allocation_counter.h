// Counts the program's heap allocations (through operator new) while counting is on, so a test
// can prove that a piece of code allocates nothing.
#pragma once

namespace dravolin::testing {

void startCountingAllocations();
// Stops counting and returns the number of allocations since the start.
long stopCountingAllocations();

// Allocates and frees one object in a way the compiler must keep (the pointer escapes through a
// volatile), so a test can check that the counter sees allocations in an optimised build too.
void allocateOnce();

}  // namespace dravolin::testing
