// There is no desktop window list here: the walk finds no window.
#include "platform/window_list.h"

namespace setupext {

std::vector<WindowHandle> TopLevelWindows(std::size_t) { return {}; }
std::string WindowCaption(WindowHandle) { return {}; }
std::string WindowClassName(WindowHandle) { return {}; }

}  // namespace setupext
