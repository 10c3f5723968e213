// The thread support that the static C++ runtime uses inside the module: its locks (the
// unwinder's table of code ranges, the exception emergency pool, static-local guards) and
// each thread's exception state. The runtime's own versions create a semaphore per lock and
// a thread-local slot that nothing gives back when the module is unloaded, so a host that
// loads the module over and over runs out of both. These take nothing they do not return:
// locks are Windows' slim locks, which need neither a handle nor memory, and the exception
// state's slot is freed when the module is unloaded.
#include <windows.h>

#include <bits/gthr.h>
#include <cxxabi.h>

#include "module/runtime_threads_win32.h"

// The C++ ABI's per-thread exception state: the caught exceptions' stack and the count of
// exceptions thrown but not yet caught.
struct __cxxabiv1::__cxa_eh_globals {
  void* caught_exceptions;
  unsigned int uncaught_exceptions;
};

namespace {

using ExceptionState = __cxxabiv1::__cxa_eh_globals;

SRWLOCK* SlimLock(void** storage) { return reinterpret_cast<SRWLOCK*>(storage); }

// Taken the first time any thread throws, freed when the module is unloaded.
DWORD exception_state_slot = TLS_OUT_OF_INDEXES;
// For a thread whose state cannot be allocated (no memory left): one shared state serves
// single-threaded hosts, and an error path must not fail again.
ExceptionState last_resort_state;

DWORD ExceptionStateSlot() {
  if (exception_state_slot != TLS_OUT_OF_INDEXES) return exception_state_slot;
  DWORD slot = TlsAlloc();
  LONG previous = InterlockedCompareExchange(reinterpret_cast<LONG*>(&exception_state_slot), static_cast<LONG>(slot),
                                             static_cast<LONG>(TLS_OUT_OF_INDEXES));
  if (previous == static_cast<LONG>(TLS_OUT_OF_INDEXES)) return slot;
  if (slot != TLS_OUT_OF_INDEXES) TlsFree(slot);  // another thread was first
  return static_cast<DWORD>(previous);
}

}  // namespace

namespace setupext {

void ReleaseThreadExceptionState() {
  if (exception_state_slot == TLS_OUT_OF_INDEXES) return;
  void* state = TlsGetValue(exception_state_slot);
  if (state && state != &last_resort_state) HeapFree(GetProcessHeap(), 0, state);
  TlsSetValue(exception_state_slot, nullptr);
}

void ReleaseExceptionStateSlot() {
  ReleaseThreadExceptionState();
  if (exception_state_slot != TLS_OUT_OF_INDEXES) TlsFree(exception_state_slot);
  exception_state_slot = TLS_OUT_OF_INDEXES;
}

}  // namespace setupext

extern "C" {

__cxxabiv1::__cxa_eh_globals* __cxxabiv1::__cxa_get_globals() noexcept {
  DWORD slot = ExceptionStateSlot();
  if (slot == TLS_OUT_OF_INDEXES) return &last_resort_state;
  auto* state = static_cast<ExceptionState*>(TlsGetValue(slot));
  if (state) return state;
  state = static_cast<ExceptionState*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(ExceptionState)));
  if (!state || !TlsSetValue(slot, state)) {
    if (state) HeapFree(GetProcessHeap(), 0, state);
    return &last_resort_state;
  }
  return state;
}

__cxxabiv1::__cxa_eh_globals* __cxxabiv1::__cxa_get_globals_fast() noexcept { return __cxa_get_globals(); }

// Locks. The semaphore field of the runtime's lock holds the slim lock, which is ready when
// zeroed and needs no clean-up.
void __gthr_win32_mutex_init_function(__gthread_mutex_t* mutex) {
  mutex->counter = -1;
  mutex->sema = nullptr;
}
void __gthr_win32_mutex_destroy(__gthread_mutex_t*) {}
int __gthr_win32_mutex_lock(__gthread_mutex_t* mutex) {
  AcquireSRWLockExclusive(SlimLock(&mutex->sema));
  return 0;
}
int __gthr_win32_mutex_unlock(__gthread_mutex_t* mutex) {
  ReleaseSRWLockExclusive(SlimLock(&mutex->sema));
  return 0;
}

void __gthr_win32_recursive_mutex_init_function(__gthread_recursive_mutex_t* mutex) {
  mutex->counter = -1;
  mutex->depth = 0;
  mutex->owner = 0;
  mutex->sema = nullptr;
}
int __gthr_win32_recursive_mutex_destroy(__gthread_recursive_mutex_t*) { return 0; }
int __gthr_win32_recursive_mutex_lock(__gthread_recursive_mutex_t* mutex) {
  const DWORD self = GetCurrentThreadId();
  if (static_cast<DWORD>(InterlockedCompareExchange(reinterpret_cast<LONG*>(&mutex->owner), 0, 0)) != self) {
    AcquireSRWLockExclusive(SlimLock(&mutex->sema));
    InterlockedExchange(reinterpret_cast<LONG*>(&mutex->owner), static_cast<LONG>(self));
  }
  ++mutex->depth;
  return 0;
}
int __gthr_win32_recursive_mutex_unlock(__gthread_recursive_mutex_t* mutex) {
  if (--mutex->depth > 0) return 0;
  InterlockedExchange(reinterpret_cast<LONG*>(&mutex->owner), 0);
  ReleaseSRWLockExclusive(SlimLock(&mutex->sema));
  return 0;
}

// One-time initialisation: every first run goes through one slim lock, so a second thread
// waits instead of spinning. The runtime's initialisers never start another one.
int __gthr_win32_once(__gthread_once_t* once, void (*function)(void)) {
  static SRWLOCK once_lock = SRWLOCK_INIT;
  if (InterlockedCompareExchange(reinterpret_cast<LONG*>(&once->done), 0, 0)) return 0;
  AcquireSRWLockExclusive(&once_lock);
  if (!once->done) {
    function();
    InterlockedExchange(reinterpret_cast<LONG*>(&once->done), 1);
  }
  ReleaseSRWLockExclusive(&once_lock);
  return 0;
}

}  // extern "C"
