#include <windows.h>

#include <cstdio>

#include "support/file_contract.h"

namespace setupext::testing {
namespace {

struct Watch {
  HANDLE done;
  HANDLE thread;
  DWORD milliseconds;
  const char* what;
};

DWORD WINAPI Watching(void* parameter) {
  const Watch& watch = *static_cast<Watch*>(parameter);
  if (WaitForSingleObject(watch.done, watch.milliseconds) == WAIT_OBJECT_0) return 0;
  std::fprintf(stderr, "\nFAILED: still waiting on a call that must not block: %s\n", watch.what);
  std::fflush(stderr);
  TerminateProcess(GetCurrentProcess(), 1);
  return 1;
}

using FindNext = BOOL(WINAPI*)(HANDLE, WIN32_FIND_DATAW*);
FindNext real_find_next = nullptr;
int listing_calls_left = -1;  // -1: no listing is cut

BOOL WINAPI CutFindNext(HANDLE search, WIN32_FIND_DATAW* data) {
  if (listing_calls_left == 0) {
    SetLastError(ERROR_IO_DEVICE);
    return FALSE;
  }
  if (listing_calls_left > 0) --listing_calls_left;
  return real_find_next(search, data);
}

// Points this program's own import of FindNextFileW (the file layer is linked into it) at
// `to`, once and for good; answers what it pointed at, or null where it found no import.
FindNext PatchFindNext(FindNext to) {
  auto* base = reinterpret_cast<BYTE*>(GetModuleHandleW(nullptr));
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew);
  const IMAGE_DATA_DIRECTORY& imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  const auto from = reinterpret_cast<ULONG_PTR>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "FindNextFileW"));
  for (auto* module = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress); module->Name; ++module) {
    for (auto* slot = reinterpret_cast<IMAGE_THUNK_DATA*>(base + module->FirstThunk); slot->u1.Function; ++slot) {
      if (slot->u1.Function != from) continue;
      DWORD was = 0;
      VirtualProtect(&slot->u1.Function, sizeof slot->u1.Function, PAGE_READWRITE, &was);
      const auto old = reinterpret_cast<FindNext>(slot->u1.Function);
      slot->u1.Function = reinterpret_cast<ULONG_PTR>(to);
      VirtualProtect(&slot->u1.Function, sizeof slot->u1.Function, was, &was);
      return old;
    }
  }
  return nullptr;
}

}  // namespace

ListingCut::ListingCut(int calls) {
  listing_calls_left = calls;
  if (!real_find_next) real_find_next = PatchFindNext(CutFindNext);
}

ListingCut::~ListingCut() { listing_calls_left = -1; }

// Named pipes and devices live in the object namespace, never in a folder of a volume (and
// Wine does not show a Linux FIFO or device node at all).
std::string NoFifoOrDeviceHere() {
  return "a Windows folder holds no FIFO or device: named pipes and devices are not entries of a volume";
}

bool OpenPagesRefuseWriters() { return true; }

bool TruncateFile(const std::filesystem::path& path, std::uint64_t size) {
  HANDLE file = CreateFileW(path.wstring().c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  LARGE_INTEGER at;
  at.QuadPart = static_cast<LONGLONG>(size);
  const bool cut = SetFilePointerEx(file, at, nullptr, FILE_BEGIN) && SetEndOfFile(file);
  CloseHandle(file);
  return cut;
}

HangGuard::HangGuard(unsigned seconds, const char* what) {
  auto* watch = new Watch{CreateEventW(nullptr, TRUE, FALSE, nullptr), nullptr, seconds * 1000u, what};
  watch->thread = CreateThread(nullptr, 0, Watching, watch, 0, nullptr);
  state_ = watch;
}

HangGuard::~HangGuard() {
  auto* watch = static_cast<Watch*>(state_);
  SetEvent(watch->done);
  if (watch->thread) {
    WaitForSingleObject(watch->thread, INFINITE);
    CloseHandle(watch->thread);
  }
  CloseHandle(watch->done);
  delete watch;
}

}  // namespace setupext::testing
