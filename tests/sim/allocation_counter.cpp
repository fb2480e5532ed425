#include "allocation_counter.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {
std::atomic<bool> counting{false};
std::atomic<long> allocations{0};
}  // namespace

void* operator new(std::size_t size) {
  if (counting.load()) allocations.fetch_add(1);
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace dravolin::testing {

void startCountingAllocations() {
  allocations = 0;
  counting = true;
}

long stopCountingAllocations() {
  counting = false;
  return allocations.exchange(0);
}

void allocateOnce() {
  // A new-expression whose result is only deleted may be elided; one stored through a volatile
  // pointer may not.
  int* volatile p = new int(1);
  delete p;
}

}  // namespace dravolin::testing
