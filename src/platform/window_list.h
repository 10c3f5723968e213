// The top-level windows of the desktop and what they show.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/buffers.h"

namespace setupext {

using WindowHandle = std::uintptr_t;

// Windows read their texts into buffers of this size, NUL included.
inline constexpr std::size_t kWindowTextBuffer = 1024;
using WindowText = FixedText<kWindowTextBuffer>;

enum class WindowListing {
  kListed,    // every top-level window up to the limit
  kNoMemory,  // the list could not grow: it is incomplete and must not be used
};

// The top-level windows as they are now, hidden ones included, in Z order from the top; at
// most `most` of them. Windows opened or closed later do not change the list.
[[nodiscard]] WindowListing ListTopLevelWindows(std::size_t most, GrowingArray<WindowHandle>& windows) noexcept;
// Both cut to kWindowTextBuffer - 1 bytes; empty when the window has none or is gone. Neither
// sends the window a message, so a window whose thread is busy cannot hold the caller.
[[nodiscard]] WindowText WindowCaption(WindowHandle window) noexcept;
[[nodiscard]] WindowText WindowClassName(WindowHandle window) noexcept;

}  // namespace setupext
