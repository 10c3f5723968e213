#include "probe/window_probe.h"

#include "platform/window_list.h"
#include "text/ascii.h"

namespace setupext {

bool CaptionBeginsWith(std::string_view caption, std::string_view wanted) noexcept {
  if (wanted.empty()) return caption.empty();
  return caption.starts_with(wanted);
}

bool IsWindowsFormsClass(std::string_view class_name) noexcept {
  constexpr std::string_view kPrefix = "WindowsForms";
  return class_name.size() >= kPrefix.size() &&
         EqualIgnoringAsciiCase(std::string_view(class_name.data(), kPrefix.size()), kPrefix);
}

// The probe only reads the table: the value is compared where it lies.
bool FindFormsWindow(HostVariableBlock& block) noexcept {
  std::string_view wanted;
  if (PeekHostVariable(block, "WINDOWTEXT", kTextVariableBuffer, wanted) != HostRead::kValue) return false;
  return LookForFormsWindow(wanted, nullptr);
}

bool LookForFormsWindow(std::string_view wanted, WindowObserver* observer) noexcept {
  // A list cut short by memory could miss the window: then nothing is known, and the answer
  // is "no" as for any call that could not look.
  GrowingArray<WindowHandle> windows;
  if (ListTopLevelWindows(kMaxWindowsWalked, windows) != WindowListing::kListed) return false;
  // The class name is read only for a window whose caption already matches.
  bool found = false;
  for (WindowHandle window : windows) {
    const auto caption = WindowCaption(window);
    if (!CaptionBeginsWith(caption, wanted)) continue;
    const auto class_name = WindowClassName(window);
    const bool forms = IsWindowsFormsClass(class_name);
    if (observer) observer->Matched(caption, class_name, forms);
    found |= forms;
    if (found && !observer) break;
  }
  return found;
}

}  // namespace setupext
