// Owners for the Win32 handle kinds of the file layer.
#pragma once

#include <windows.h>

#include "platform/unique_handle.h"

namespace setupext::win32 {

// Files, folders opened as files: INVALID_HANDLE_VALUE means none.
struct KernelHandleTraits {
  using Native = HANDLE;
  static Native Invalid() { return INVALID_HANDLE_VALUE; }
  static void Close(Native handle) { CloseHandle(handle); }
};
using UniqueKernelHandle = UniqueHandle<KernelHandleTraits>;

struct FindTraits {
  using Native = HANDLE;
  static Native Invalid() { return INVALID_HANDLE_VALUE; }
  static void Close(Native search) { FindClose(search); }
};
using UniqueFind = UniqueHandle<FindTraits>;

}  // namespace setupext::win32
