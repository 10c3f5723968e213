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

// Reads WINDOWTEXT; true when a top-level Windows Forms window's caption begins with it.
[[nodiscard]] bool FindFormsWindow(HostVariableBlock& block) noexcept;

}  // namespace setupext
