// The top-level windows of the desktop, in Z order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace setupext {

using WindowHandle = std::uintptr_t;
inline constexpr WindowHandle kNoWindow = 0;

// Windows read their texts into buffers of this size, NUL included.
inline constexpr std::size_t kWindowTextBuffer = 1024;

WindowHandle FirstTopLevelWindow();
WindowHandle NextTopLevelWindow(WindowHandle window);
// Both cut to kWindowTextBuffer - 1 bytes; empty when the window has none or is gone.
std::string WindowCaption(WindowHandle window);
std::string WindowClassName(WindowHandle window);

}  // namespace setupext
