// Memory the module may fail to get. Every allocation of the module's own code goes through
// here: running out is an answer its caller handles, never the end of the host.
#pragma once

#include <cstddef>

namespace setupext {

// Null when the memory cannot be had.
[[nodiscard]] void* TryAllocate(std::size_t size) noexcept;
// Null when the block cannot grow; the old block then stays as it was.
[[nodiscard]] void* TryReallocate(void* block, std::size_t size) noexcept;
void Release(void* block) noexcept;

// For tests: the nth allocation from now (1 = the next one) fails, and with `persistent`
// every one after it too. 0 fails none. Returns how many allocations were made since the
// last call, so a test can count them first.
int FailAllocationsFrom(int nth, bool persistent) noexcept;

}  // namespace setupext
