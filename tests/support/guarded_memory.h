// Memory whose last byte sits right before a no-access page: reading or writing one byte too
// far faults at once instead of going unnoticed.
#pragma once

#include <cstddef>

namespace setupext::testing {

class GuardedMemory {
 public:
  explicit GuardedMemory(std::size_t size);
  GuardedMemory(const GuardedMemory&) = delete;
  GuardedMemory& operator=(const GuardedMemory&) = delete;
  ~GuardedMemory();

  char* data() const { return data_; }
  std::size_t size() const { return size_; }

 private:
  char* mapping_ = nullptr;
  std::size_t mapped_ = 0;
  char* data_ = nullptr;
  std::size_t size_ = 0;
};

std::size_t PageSize();

}  // namespace setupext::testing
