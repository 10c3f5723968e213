// Running out of memory on demand: the module's allocations pass a gate that only tests fill.
#pragma once

namespace setupext::testing {

// The nth allocation from now (1 = the next one) fails, and with `persistent` every one after
// it too. 0 fails none. Returns how many allocations were made since the last call, so a test
// can count them first.
int FailAllocationsFrom(int nth, bool persistent) noexcept;

}  // namespace setupext::testing
