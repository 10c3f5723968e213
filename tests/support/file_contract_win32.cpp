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

}  // namespace

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
