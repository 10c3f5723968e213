// Byte text compared the way the probes need it: only the ASCII letters fold, so names in
// the user's code page (accented letters and the like) compare byte for byte.
#pragma once

#include <cstddef>
#include <string_view>

namespace setupext {

constexpr char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

constexpr bool EqualIgnoringAsciiCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  }
  return true;
}

}  // namespace setupext
