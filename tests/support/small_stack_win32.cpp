#include <malloc.h>
#include <windows.h>

#include "support/small_stack.h"

namespace setupext::testing {
namespace {

// What the system keeps at the bottom of a stack: a page never given out, the guard page whose
// touch raises the overflow, and the bytes the thread is guaranteed for handling it.
std::size_t KeptBelow() {
  SYSTEM_INFO system{};
  GetSystemInfo(&system);
  ULONG guarantee = 0;
  if (!SetThreadStackGuarantee(&guarantee)) guarantee = 0;  // 0 asks, and changes nothing
  return 2 * static_cast<std::size_t>(system.dwPageSize) + guarantee;
}

// The work, and whether it came to its end: a thread the system ends on an overflow does not.
struct Job {
  const std::function<void()>* work;
  bool finished = false;
};

// Wine rounds every thread's stack up to 1 MiB: the thread first uses up all but the small
// stack above what the system keeps, so the work meets the end where a host's thread would.
DWORD WINAPI Run(void* context) {
  Job& job = *static_cast<Job*>(context);
  MEMORY_BASIC_INFORMATION stack{};
  if (VirtualQuery(&stack, &stack, sizeof stack) == 0) return 1;
  const auto here = reinterpret_cast<char*>(&stack);
  const auto base = static_cast<char*>(stack.AllocationBase);
  const std::size_t left = static_cast<std::size_t>(here - base) - KeptBelow();
  if (left > kSmallStack) {
    volatile char* used = static_cast<char*>(_alloca(left - kSmallStack));
    used[0] = 0;
  }
  (*job.work)();
  job.finished = true;
  return 0;
}

}  // namespace

bool RunWithSmallStack(const std::function<void()>& work) {
  Job job{&work};
  HANDLE thread = CreateThread(nullptr, 0, Run, &job, 0, nullptr);
  if (!thread) return false;
  const bool ended = WaitForSingleObject(thread, INFINITE) == WAIT_OBJECT_0;
  DWORD code = 1;
  const bool ran = ended && GetExitCodeThread(thread, &code) && code == 0 && job.finished;
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
