#include <windows.h>

#include "platform/system_error.h"

namespace setupext {

std::uint32_t LastSystemError() noexcept { return GetLastError(); }

// Fixed English words: the system's own messages come in the user's language and need memory.
const char* SystemErrorWords(std::uint32_t error) noexcept {
  switch (error) {
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: return "disk full";
    case 1295: return "disk quota exceeded";  // ERROR_DISK_QUOTA_EXCEEDED, missing from older headers
    case ERROR_ACCESS_DENIED: return "access denied";
    case ERROR_SHARING_VIOLATION: return "in use by another program";
    case ERROR_LOCK_VIOLATION: return "locked by another program";
    case ERROR_WRITE_PROTECT: return "read-only volume";
    case ERROR_NOT_READY: return "the drive is not ready";
    case ERROR_CRC:
    case ERROR_IO_DEVICE: return "input/output error";
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND: return "not found";
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS: return "the name is taken";
    case ERROR_FILENAME_EXCED_RANGE: return "name too long";
    case ERROR_INVALID_NAME: return "not a valid name there";
    case ERROR_NOT_SUPPORTED:
    case ERROR_INVALID_PARAMETER: return "not supported here";
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY: return "out of memory";
    case ERROR_NETWORK_ACCESS_DENIED: return "network access denied";
    case ERROR_BAD_NETPATH:
    case ERROR_NETNAME_DELETED: return "network path gone";
    default: return "";
  }
}

}  // namespace setupext
