#include "platform/memory.h"

#include <cstdlib>

namespace setupext {
namespace {

// Fault injection by countdown: the module runs on one thread per call, and tests set it
// before a call and clear it after.
struct Faults {
  int countdown = 0;  // allocations left before the failing one; 0: none fails
  bool persistent = false;
  bool failing = false;
  int made = 0;
};
Faults faults;

bool ThisOneFails() noexcept {
  ++faults.made;
  if (faults.failing) return true;
  if (faults.countdown == 0 || --faults.countdown > 0) return false;
  faults.failing = faults.persistent;
  return true;
}

}  // namespace

void* TryAllocate(std::size_t size) noexcept {
  if (ThisOneFails()) return nullptr;
  return std::malloc(size == 0 ? 1 : size);
}

void* TryReallocate(void* block, std::size_t size) noexcept {
  if (ThisOneFails()) return nullptr;
  return std::realloc(block, size == 0 ? 1 : size);
}

void Release(void* block) noexcept { std::free(block); }

int FailAllocationsFrom(int nth, bool persistent) noexcept {
  const int made = faults.made;
  faults = Faults{nth < 0 ? 0 : nth, persistent, false, 0};
  return made;
}

}  // namespace setupext
