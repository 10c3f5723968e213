#include <sys/mman.h>
#include <unistd.h>

#include <cstring>
#include <stdexcept>

#include "support/guarded_memory.h"

namespace setupext::testing {

std::size_t PageSize() { return static_cast<std::size_t>(sysconf(_SC_PAGESIZE)); }

GuardedMemory::GuardedMemory(std::size_t size) : size_(size) {
  const std::size_t page = PageSize();
  const std::size_t usable = (size + page - 1) / page * page;
  mapped_ = usable + page;
  void* mapping = mmap(nullptr, mapped_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (mapping == MAP_FAILED) throw std::runtime_error("mmap failed");
  mapping_ = static_cast<char*>(mapping);
  if (mprotect(mapping_ + usable, page, PROT_NONE) != 0) throw std::runtime_error("mprotect failed");
  data_ = mapping_ + usable - size;
  std::memset(data_, 0x55, size);
}

GuardedMemory::~GuardedMemory() { munmap(mapping_, mapped_); }

}  // namespace setupext::testing
