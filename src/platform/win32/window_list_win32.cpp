#include <windows.h>

#include "platform/window_list.h"

namespace setupext {
namespace {

HWND Native(WindowHandle window) { return reinterpret_cast<HWND>(window); }


}  // namespace

WindowHandle FirstTopLevelWindow() { return reinterpret_cast<WindowHandle>(GetTopWindow(nullptr)); }

WindowHandle NextTopLevelWindow(WindowHandle window) {
  return reinterpret_cast<WindowHandle>(GetWindow(Native(window), GW_HWNDNEXT));
}

std::string WindowCaption(WindowHandle window) {
  char buffer[kWindowTextBuffer] = {};
  int length = GetWindowTextA(Native(window), buffer, sizeof buffer);
  return std::string(buffer, length > 0 ? static_cast<std::size_t>(length) : 0);
}

std::string WindowClassName(WindowHandle window) {
  char buffer[kWindowTextBuffer] = {};
  int length = GetClassNameA(Native(window), buffer, sizeof buffer);
  return std::string(buffer, length > 0 ? static_cast<std::size_t>(length) : 0);
}

}  // namespace setupext
