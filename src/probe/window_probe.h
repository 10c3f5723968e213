// Is a Windows Forms application with a given caption running?
#pragma once

#include <cstddef>
#include <string_view>

#include "host/host_variables.h"

namespace setupext {

// The walk looks at no more than this many windows, so a flood of windows cannot hold the
// installer for long. No real desktop comes near it.
inline constexpr std::size_t kMaxWindowsWalked = 100000;

// The caption begins with the wanted text. The first byte is compared first, as in a C
// string: an empty wanted text admits only an empty caption.
[[nodiscard]] bool CaptionBeginsWith(std::string_view caption, std::string_view wanted) noexcept;

// The class name begins with "WindowsForms", in any ASCII case.
[[nodiscard]] bool IsWindowsFormsClass(std::string_view class_name) noexcept;

// What the probe looks at, for whoever wants to know (the call tool's explain mode).
class WindowObserver {
 public:
  // A top-level window whose caption begins with the wanted text, and its class.
  virtual void Matched(std::string_view caption, std::string_view class_name, bool forms) noexcept = 0;

 protected:
  ~WindowObserver() = default;
};

// Looks as IsVBNETAppRunning does. With an observer every window whose caption matches is
// reported, not only the first Windows Forms one.
[[nodiscard]] bool LookForFormsWindow(std::string_view wanted, WindowObserver* observer) noexcept;

// Reads WINDOWTEXT; true when a top-level Windows Forms window's caption begins with it.
[[nodiscard]] bool FindFormsWindow(HostVariableBlock& block) noexcept;

}  // namespace setupext
