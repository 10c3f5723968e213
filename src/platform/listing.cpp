#include "platform/files.h"

namespace setupext {

bool Listing::Add(std::string_view name, EntryKind kind, std::uint64_t index, bool carried) noexcept {
  const auto offset = static_cast<std::uint32_t>(names_.size());
  if (!names_.Append(name)) return false;
  if (entries_.Push({offset, static_cast<std::uint32_t>(name.size()), kind, carried, index})) return true;
  names_.Truncate(offset);
  return false;
}

}  // namespace setupext
