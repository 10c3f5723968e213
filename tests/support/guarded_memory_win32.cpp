#include <windows.h>

#include <cstring>
#include <stdexcept>

#include "support/guarded_memory.h"

namespace setupext::testing {

std::size_t PageSize() {
  SYSTEM_INFO info;
  GetSystemInfo(&info);
  return info.dwPageSize;
}

GuardedMemory::GuardedMemory(std::size_t size) : size_(size) {
  const std::size_t page = PageSize();
  const std::size_t usable = (size + page - 1) / page * page;
  mapped_ = usable + page;
  mapping_ = static_cast<char*>(VirtualAlloc(nullptr, mapped_, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
  if (!mapping_) throw std::runtime_error("VirtualAlloc failed");
  DWORD old = 0;
  if (!VirtualProtect(mapping_ + usable, page, PAGE_NOACCESS, &old)) throw std::runtime_error("VirtualProtect failed");
  data_ = mapping_ + usable - size;
  std::memset(data_, 0x55, size);
}

GuardedMemory::~GuardedMemory() { VirtualFree(mapping_, 0, MEM_RELEASE); }

}  // namespace setupext::testing
