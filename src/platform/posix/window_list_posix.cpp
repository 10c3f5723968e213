// There is no desktop window list here: the walk finds no window.
#include "platform/window_list.h"

namespace setupext {

WindowListing ListTopLevelWindows(std::size_t, GrowingArray<WindowHandle>& windows) noexcept {
  windows.Clear();
  return WindowListing::kListed;
}
WindowText WindowCaption(WindowHandle) noexcept { return {}; }
WindowText WindowClassName(WindowHandle) noexcept { return {}; }

}  // namespace setupext
