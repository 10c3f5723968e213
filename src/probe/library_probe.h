// Is a library name already in the user's numbered "Library" list, and if not, which number
// would the next entry take?
#pragma once

#include <cstddef>
#include <string_view>

#include <cstdint>

#include "host/host_variables.h"
#include "platform/registry.h"

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

// What the probe looks at, for whoever wants to know (the call tool's explain mode).
class LibraryObserver {
 public:
  // The list read: from the default profile's key or the user's; neither when none exists.
  virtual void List(bool from_default_profile, bool exists) noexcept = 0;
  // Entry n as read; the list ends at the first that is not a non-empty plain string.
  virtual void Entry(std::uint32_t n, RegistryValueKind kind, std::string_view text) noexcept = 0;

 protected:
  ~LibraryObserver() = default;
};

struct LibraryAnswer {
  bool user_key = false;  // the user's settings key could be had
  bool listed = false;
  std::uint32_t first_free = 1;  // when not listed: the number the next entry would take
};

// Looks for the library as IsLibInstalled does. Without `create_user_key` the user's settings
// key is only opened, never made: nothing changes.
[[nodiscard]] LibraryAnswer LookForLibrary(std::string_view wanted, const PathVariable& path, bool create_user_key,
                                           LibraryObserver* observer) noexcept;

// Reads LIBNAME and INIREG2, writes LIBNUMAVAIL when the name is not listed.
[[nodiscard]] bool FindLibraryInList(HostVariableBlock& block) noexcept;

}  // namespace setupext
