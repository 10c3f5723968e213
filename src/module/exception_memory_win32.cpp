// Memory for thrown exceptions. The runtime's own keeps an emergency pool that it allocates
// when the module loads and never frees; this one draws on the C heap and, when the heap is
// exhausted (std::bad_alloc must still be throwable), on a reserve inside the module image.
#include <windows.h>
#include <unwind.h>

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <typeinfo>

namespace {

// The record the C++ runtime keeps in front of each thrown object; only its size matters
// here (it must match the runtime's, which fills it): a reference count, then the exception
// record proper, aligned like its unwinder header.
struct ExceptionRecord {
  std::type_info* type;
  void (*destructor)(void*);
  std::terminate_handler unexpected_handler;
  std::terminate_handler terminate_handler;
  void* next_exception;
  int handler_count;
  int handler_switch_value;
  const unsigned char* action_record;
  const unsigned char* language_specific_data;
  _Unwind_Ptr catch_temp;
  void* adjusted_pointer;
  _Unwind_Exception unwind_header;
};
struct ThrownHeader {
  int reference_count;
  ExceptionRecord record;
};
static_assert(sizeof(ThrownHeader) == (sizeof(void*) == 4 ? 96 : 160),
              "the runtime's exception header on 32-bit (or 64-bit) Windows");

constexpr int kReserveSlots = 4;
constexpr std::size_t kReserveSlotSize = 256;
alignas(16) unsigned char reserve[kReserveSlots][kReserveSlotSize];
LONG reserve_in_use[kReserveSlots];

void* FromReserve(std::size_t size) {
  if (size > kReserveSlotSize) return nullptr;
  for (int i = 0; i < kReserveSlots; ++i) {
    if (InterlockedCompareExchange(&reserve_in_use[i], 1, 0) == 0) return reserve[i];
  }
  return nullptr;
}

bool BackToReserve(void* block) {
  for (int i = 0; i < kReserveSlots; ++i) {
    if (block == reserve[i]) {
      InterlockedExchange(&reserve_in_use[i], 0);
      return true;
    }
  }
  return false;
}

}  // namespace

extern "C" {

void* __cxa_allocate_exception(std::size_t thrown_size) noexcept {
  const std::size_t size = sizeof(ThrownHeader) + thrown_size;
  void* block = std::malloc(size);
  if (!block) block = FromReserve(size);
  if (!block) std::terminate();
  std::memset(block, 0, sizeof(ThrownHeader));
  return static_cast<unsigned char*>(block) + sizeof(ThrownHeader);
}

void __cxa_free_exception(void* thrown) noexcept {
  void* block = static_cast<unsigned char*>(thrown) - sizeof(ThrownHeader);
  if (!BackToReserve(block)) std::free(block);
}

}  // extern "C"
