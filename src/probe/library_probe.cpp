#include "probe/library_probe.h"

#include <cstdint>
#include <string>

#include "platform/registry.h"
#include "text/ascii.h"

namespace setupext {

std::string_view StoredText(std::string_view stored_bytes) {
  return stored_bytes.substr(0, stored_bytes.find('\0'));
}

bool EntryNamesLibrary(std::string_view entry, std::string_view wanted) {
  return entry.size() < kLibraryEntryBuffer && EqualIgnoringAsciiCase(entry, wanted);
}

bool FindLibraryInList(HostVariableBlock& block) {
  std::string wanted;
  std::string path;
  // A value that does not fit is never cut: a shortened path would name some other key.
  if (GetHostVariable(block, "LIBNAME", &wanted, kTextVariableBuffer) != HostRead::kValue) return false;
  if (GetHostVariable(block, "INIREG2", &path, kPathVariableBuffer) != HostRead::kValue) return false;
  if (path.size() > kMaxSettingsPath) return false;

  const RegistryKey user_key = CreateRegistryKey(RegistryRoot::kCurrentUser, path);
  if (!user_key.is_open()) return false;

  // The default profile's list wins whenever it exists, even when it is empty.
  RegistryKey list_key;
  if (const RegistryKey default_key = OpenRegistryKey(RegistryRoot::kUsers, ".Default\\" + path);
      default_key.is_open()) {
    list_key = OpenRegistrySubkey(default_key, "Library");
  }
  if (!list_key.is_open()) list_key = OpenRegistrySubkey(user_key, "Library");

  std::uint32_t n = 1;
  bool found = false;
  if (list_key.is_open()) {
    for (;; ++n) {
      const RegistryValue value = QueryRegistryValue(list_key, "LibName" + std::to_string(n));
      if (value.kind != RegistryValueKind::kString) break;
      const std::string_view entry = StoredText(value.bytes);
      if (entry.empty()) break;
      // An over-long entry still holds its number: ending the list there would let the
      // script write its new library over it.
      if (EntryNamesLibrary(entry, wanted)) {
        found = true;
        break;
      }
    }
  }
  if (!found) SetHostVariable(block, "LIBNUMAVAIL", std::to_string(n));
  return found;
}

}  // namespace setupext
