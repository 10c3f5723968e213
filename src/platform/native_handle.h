// The handle types of the target, so the interfaces carry real handles and no integer has to
// smuggle a pointer.
#pragma once

#include <cstdint>

#ifdef _WIN32
struct HKEY__;  // the registry key type of <windows.h>, declared the same way there
#endif

namespace setupext {

#ifdef _WIN32
using NativeFile = void*;  // HANDLE
inline NativeFile NoNativeFile() { return reinterpret_cast<NativeFile>(static_cast<std::intptr_t>(-1)); }
using NativeKey = HKEY__*;  // HKEY
inline NativeKey NoNativeKey() { return nullptr; }
#else
using NativeFile = int;  // a file descriptor
inline NativeFile NoNativeFile() { return -1; }
using NativeKey = int;  // a descriptor of the stand-in store's key folder
inline NativeKey NoNativeKey() { return -1; }
#endif

}  // namespace setupext
