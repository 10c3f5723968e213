#include "support/allocation_faults.h"

#include "platform/memory.h"

namespace setupext::testing {
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

int FailAllocationsFrom(int nth, bool persistent) noexcept {
  SetAllocationGate(ThisOneFails);
  const int made = faults.made;
  faults = Faults{nth < 0 ? 0 : nth, persistent, false, 0};
  return made;
}

}  // namespace setupext::testing
