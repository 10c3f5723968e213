// There is no desktop window list here: the walk finds no window.
#include "platform/window_list.h"

namespace setupext {

WindowHandle FirstTopLevelWindow() { return kNoWindow; }
WindowHandle NextTopLevelWindow(WindowHandle) { return kNoWindow; }
std::string WindowCaption(WindowHandle) { return {}; }
std::string WindowClassName(WindowHandle) { return {}; }

}  // namespace setupext
