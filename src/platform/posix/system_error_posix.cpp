#include <errno.h>

#include "platform/system_error.h"

namespace setupext {

std::uint32_t LastSystemError() noexcept { return static_cast<std::uint32_t>(errno); }

const char* SystemErrorWords(std::uint32_t error) noexcept {
  switch (static_cast<int>(error)) {
    case ENOSPC: return "disk full";
    case EDQUOT: return "disk quota exceeded";
    case EACCES: return "access denied";
    case EPERM: return "not permitted";
    case EROFS: return "read-only volume";
    case EIO: return "input/output error";
    case ENOENT: return "not found";
    case EEXIST: return "the name is taken";
    case ENAMETOOLONG: return "name too long";
    case EBUSY: return "busy";
    case ELOOP: return "a link";
    case ENOTDIR: return "not a folder";
    case EISDIR: return "a folder";
    case EINVAL: return "not supported here";
    case ENOMEM: return "out of memory";
    case EWOULDBLOCK: return "held by another call";
    default: return "";
  }
}

}  // namespace setupext
