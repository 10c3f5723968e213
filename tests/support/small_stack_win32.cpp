#include <malloc.h>
#include <windows.h>

#include "support/small_stack.h"

namespace setupext::testing {
namespace {

// Wine rounds every thread's stack up to 1 MiB: the thread first uses up all but the small
// stack, so the work meets the end where a host's thread would.
DWORD WINAPI Run(void* work) {
  MEMORY_BASIC_INFORMATION stack{};
  VirtualQuery(&stack, &stack, sizeof stack);
  const auto here = reinterpret_cast<char*>(&stack);
  const auto base = static_cast<char*>(stack.AllocationBase);
  constexpr unsigned kGuard = 64 * 1024;  // the guard pages and what the system keeps back
  const unsigned long long left = static_cast<unsigned long long>(here - base);
  if (left > kSmallStack + kGuard) {
    volatile char* used = static_cast<char*>(_alloca(static_cast<std::size_t>(left - kSmallStack - kGuard)));
    used[0] = 0;
  }
  (*static_cast<const std::function<void()>*>(work))();
  return 0;
}

}  // namespace

bool RunWithSmallStack(const std::function<void()>& work) {
  HANDLE thread = CreateThread(nullptr, 0, Run, const_cast<std::function<void()>*>(&work), 0, nullptr);
  if (!thread) return false;
  const bool finished = WaitForSingleObject(thread, INFINITE) == WAIT_OBJECT_0;
  DWORD code = 1;
  const bool ran = finished && GetExitCodeThread(thread, &code) && code == 0;
  CloseHandle(thread);
  return ran;
}

namespace {

DWORD WINAPI RunPlain(void* work) {
  (*static_cast<const std::function<void()>*>(work))();
  return 0;
}

}  // namespace

bool RunTogether(const std::function<void()>& first, const std::function<void()>& second) {
  HANDLE threads[2] = {};
  const std::function<void()>* works[2] = {&first, &second};
  int started = 0;
  for (; started < 2; ++started) {
    threads[started] = CreateThread(nullptr, 0, RunPlain, const_cast<std::function<void()>*>(works[started]), 0, nullptr);
    if (!threads[started]) break;
  }
  if (started > 0) WaitForMultipleObjects(static_cast<DWORD>(started), threads, TRUE, INFINITE);
  for (int i = 0; i < started; ++i) CloseHandle(threads[i]);
  return started == 2;
}

}  // namespace setupext::testing
