#include "probe/window_probe.h"

#include <string>

#include "platform/window_list.h"
#include "text/ascii.h"

namespace setupext {

bool CaptionBeginsWith(std::string_view caption, std::string_view wanted) {
  if (wanted.empty()) return caption.empty();
  return caption.starts_with(wanted);
}

bool IsWindowsFormsClass(std::string_view class_name) {
  constexpr std::string_view kPrefix = "WindowsForms";
  return class_name.size() >= kPrefix.size() &&
         EqualIgnoringAsciiCase(class_name.substr(0, kPrefix.size()), kPrefix);
}

bool FindFormsWindow(HostVariableBlock& block) {
  std::string wanted;
  if (GetHostVariable(block, "WINDOWTEXT", &wanted, kTextVariableBuffer) != HostRead::kValue) return false;

  // The class name is read only for a window whose caption already matches.
  for (WindowHandle window : TopLevelWindows(kMaxWindowsWalked)) {
    if (CaptionBeginsWith(WindowCaption(window), wanted) && IsWindowsFormsClass(WindowClassName(window)))
      return true;
  }
  return false;
}

}  // namespace setupext
