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

// Asked before every allocation; true makes it fail. The module leaves it empty: only the
// tests fill it, so running out can be tried at every allocation of a call.
using AllocationGate = bool (*)() noexcept;
void SetAllocationGate(AllocationGate gate) noexcept;

}  // namespace setupext
