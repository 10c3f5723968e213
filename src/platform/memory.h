// Memory the module may fail to get. Every allocation of the module's own code goes through
// here: running out is an answer its caller handles, never the end of the host.
#pragma once

#include <cstddef>
#include <new>

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

// One object of a call on the heap rather than on the stack: a host may call from a thread
// with little stack left, and paths and wide text take kilobytes. Empty when the memory
// cannot be had.
template <typename T>
class HeapObject {
 public:
  template <typename... Args>
  explicit HeapObject(Args&&... args) noexcept {
    if (void* memory = TryAllocate(sizeof(T))) object_ = new (memory) T(static_cast<Args&&>(args)...);
  }
  HeapObject(const HeapObject&) = delete;
  HeapObject& operator=(const HeapObject&) = delete;
  ~HeapObject() {
    if (!object_) return;
    object_->~T();
    Release(object_);
  }
  explicit operator bool() const noexcept { return object_ != nullptr; }
  T* operator->() const noexcept { return object_; }
  T& operator*() const noexcept { return *object_; }

 private:
  T* object_ = nullptr;
};

}  // namespace setupext
