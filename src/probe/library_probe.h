// Is a library name already in the user's numbered "Library" list, and if not, which number
// would the next entry take?
#pragma once

#include <cstddef>
#include <string_view>

#include "host/host_variables.h"

namespace setupext {

// The list entries are read into a buffer of this size, NUL included.
inline constexpr std::size_t kLibraryEntryBuffer = 4096;
// ".Default\" and the settings path must fit one path buffer together.
inline constexpr std::size_t kMaxSettingsPath = kPathVariableBuffer - 10;

// The text of a stored string value: up to its first NUL, or all of it when none was stored.
[[nodiscard]] std::string_view StoredText(std::string_view stored_bytes) noexcept;

// Whether a list entry names the wanted library. An entry too long for the entry buffer is
// never cut to make it match.
[[nodiscard]] bool EntryNamesLibrary(std::string_view entry, std::string_view wanted) noexcept;

// Reads LIBNAME and INIREG2, writes LIBNUMAVAIL when the name is not listed.
[[nodiscard]] bool FindLibraryInList(HostVariableBlock& block) noexcept;

}  // namespace setupext
