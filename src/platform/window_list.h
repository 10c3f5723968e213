// The top-level windows of the desktop and what they show.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace setupext {

using WindowHandle = std::uintptr_t;

// Windows read their texts into buffers of this size, NUL included.
inline constexpr std::size_t kWindowTextBuffer = 1024;

// The top-level windows as they are now, hidden ones included, in Z order from the top; at
// most `most` of them. Windows opened or closed later do not change the list.
std::vector<WindowHandle> TopLevelWindows(std::size_t most);
// Both cut to kWindowTextBuffer - 1 bytes; empty when the window has none or is gone. Neither
// sends the window a message, so a window whose thread is busy cannot hold the caller.
std::string WindowCaption(WindowHandle window);
std::string WindowClassName(WindowHandle window);

}  // namespace setupext
