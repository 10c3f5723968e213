#include "platform/memory.h"

#include <cstdlib>

namespace setupext {
namespace {

AllocationGate gate = nullptr;

bool Refused() noexcept { return gate != nullptr && gate(); }

}  // namespace

void* TryAllocate(std::size_t size) noexcept {
  if (Refused()) return nullptr;
  return std::malloc(size == 0 ? 1 : size);
}

void* TryReallocate(void* block, std::size_t size) noexcept {
  if (Refused()) return nullptr;
  return std::realloc(block, size == 0 ? 1 : size);
}

void Release(void* block) noexcept { std::free(block); }

void SetAllocationGate(AllocationGate allocation_gate) noexcept { gate = allocation_gate; }

}  // namespace setupext
