#include <windows.h>

#include <cstring>

#include "platform/window_list.h"

namespace setupext {
namespace {

HWND Native(WindowHandle window) { return reinterpret_cast<HWND>(window); }

// The text ends at its first NUL within the buffer, whatever length the call reported.
std::string TextOf(const char (&buffer)[kWindowTextBuffer]) {
  return std::string(buffer, strnlen(buffer, kWindowTextBuffer - 1));
}

}  // namespace

WindowHandle FirstTopLevelWindow() { return reinterpret_cast<WindowHandle>(GetTopWindow(nullptr)); }

WindowHandle NextTopLevelWindow(WindowHandle window) {
  return reinterpret_cast<WindowHandle>(GetWindow(Native(window), GW_HWNDNEXT));
}

std::string WindowCaption(WindowHandle window) {
  char buffer[kWindowTextBuffer] = {};
  GetWindowTextA(Native(window), buffer, sizeof buffer);
  return TextOf(buffer);
}

std::string WindowClassName(WindowHandle window) {
  char buffer[kWindowTextBuffer] = {};
  GetClassNameA(Native(window), buffer, sizeof buffer);
  return TextOf(buffer);
}

}  // namespace setupext
