#include "probe/library_probe.h"

#include <cstdint>

#include "platform/registry.h"
#include "text/ascii.h"
#include "text/decimal.h"

namespace setupext {
namespace {

// The name of list entry n, "LibName" and n in decimal, built in 20 bytes: it always fits.
using EntryName = FixedText<20>;
EntryName LibraryEntryName(std::uint32_t n) {
  EntryName name;
  if (!name.Assign("LibName") || !name.Append(Decimal(n))) name.Clear();
  return name;
}

// The default profile's list wins whenever it exists, even when it is empty.
RegistryKey OpenLibraryList(const RegistryKey& user_key, const PathVariable& path, LibraryObserver* observer) {
  PathVariable default_path;
  if (default_path.Assign(".Default\\") && default_path.Append(path)) {
    const RegistryKey default_key = OpenRegistryKey(RegistryRoot::kUsers, default_path.c_str());
    if (RegistryKey list = OpenRegistrySubkey(default_key, "Library"); list.is_open()) {
      if (observer) observer->List(true, true);
      return list;
    }
  }
  RegistryKey list = OpenRegistrySubkey(user_key, "Library");
  if (observer) observer->List(false, list.is_open());
  return list;
}

// The list ends at the first entry that is missing, empty, not a plain string or unreadable.
LibraryAnswer SearchList(const RegistryKey& list, std::string_view wanted, LibraryObserver* observer) {
  LibraryAnswer search;
  search.user_key = true;
  if (!list.is_open()) return search;
  for (;; ++search.first_free) {
    const RegistryValue value = QueryRegistryValue(list, LibraryEntryName(search.first_free).c_str());
    const std::string_view entry = StoredText(value.bytes.view());
    if (observer) observer->Entry(search.first_free, value.kind, entry);
    if (value.kind != RegistryValueKind::kString) return search;
    if (entry.empty()) return search;
    // An over-long entry still holds its number: ending the list there would let the
    // script write its new library over it.
    if (EntryNamesLibrary(entry, wanted)) {
      search.listed = true;
      return search;
    }
  }
}

}  // namespace

std::string_view StoredText(std::string_view stored_bytes) noexcept {
  const std::size_t nul = stored_bytes.find('\0');
  return nul == std::string_view::npos ? stored_bytes : std::string_view(stored_bytes.data(), nul);
}

bool EntryNamesLibrary(std::string_view entry, std::string_view wanted) noexcept {
  return entry.size() < kLibraryEntryBuffer && EqualIgnoringAsciiCase(entry, wanted);
}

LibraryAnswer LookForLibrary(std::string_view wanted, const PathVariable& path, bool create_user_key,
                             LibraryObserver* observer) noexcept {
  const RegistryKey user_key = create_user_key ? CreateRegistryKey(RegistryRoot::kCurrentUser, path.c_str())
                                               : OpenRegistryKey(RegistryRoot::kCurrentUser, path.c_str());
  if (!user_key.is_open() && create_user_key) return {};
  return SearchList(OpenLibraryList(user_key, path, observer), wanted, observer);
}

bool FindLibraryInList(HostVariableBlock& block) noexcept {
  // LIBNAME is compared where it lies in the table, which is written only once the search is
  // over.
  std::string_view wanted;
  PathVariable path;
  // A value that does not fit is never cut: a shortened path would name some other key.
  if (PeekHostVariable(block, "LIBNAME", kTextVariableBuffer, wanted) != HostRead::kValue) return false;
  if (GetHostVariable(block, "INIREG2", path) != HostRead::kValue) return false;
  if (path.size() > kMaxSettingsPath) return false;

  const LibraryAnswer search = LookForLibrary(wanted, path, true, nullptr);
  if (!search.user_key) return false;
  if (search.listed) return true;
  // A table with no room for the number takes none; the answer stays "not listed".
  static_cast<void>(SetHostVariable(block, "LIBNUMAVAIL", Decimal(search.first_free)));
  return false;
}

}  // namespace setupext
