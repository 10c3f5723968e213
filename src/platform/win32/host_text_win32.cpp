#include "platform/files.h"

namespace setupext {

// The ANSI conversion writes '?' for a character the code page lacks, and no Windows name
// holds a '?' (only the "\\?\" prefix does).
bool HoldsUnwritableMark(std::string_view text) noexcept {
  if (text.starts_with("\\\\?\\")) text.remove_prefix(4);
  return text.find('?') != std::string_view::npos;
}

}  // namespace setupext
