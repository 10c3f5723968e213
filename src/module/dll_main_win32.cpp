#include <windows.h>

#include "module/runtime_threads_win32.h"

// Loading does no work of the module's own; leaving gives back what the C++ runtime took.
extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (reason == DLL_THREAD_DETACH) setupext::ReleaseThreadExceptionState();
  if (reason == DLL_PROCESS_DETACH) setupext::ReleaseExceptionStateSlot();
  return TRUE;
}
