#include "platform/files.h"
#include "platform/name_keys.h"

namespace setupext {

bool Listing::Add(std::string_view name, EntryKind kind, std::uint64_t index, bool carried) noexcept {
  const auto offset = static_cast<std::uint32_t>(names_.size());
  if (!names_.Append(name)) return false;
  if (entries_.Push({offset, static_cast<std::uint32_t>(name.size()), kind, carried, index})) return true;
  names_.Truncate(offset);
  return false;
}

bool NameKeys::Add(std::uint32_t entry, std::string_view name) noexcept {
  return offsets_.Push(static_cast<std::uint32_t>(keys_.size())) && AppendNameKey(name, case_sensitive_, keys_) &&
         ends_.Push(static_cast<std::uint32_t>(keys_.size())) && order_.Push(static_cast<std::uint32_t>(entries_.size())) &&
         entries_.Push(entry);
}

void NameKeys::Sort() noexcept {
  const std::size_t n = order_.size();
  for (std::size_t gap = n / 2; gap > 0; gap = gap == 2 ? 1 : gap * 5 / 11) {
    for (std::size_t i = gap; i < n; ++i) {
      const std::uint32_t moving = order_[i];
      std::size_t j = i;
      for (; j >= gap && KeyOf(moving) < KeyOf(order_[j - gap]); j -= gap) order_[j] = order_[j - gap];
      order_[j] = moving;
    }
  }
}

std::size_t NameKeys::LowerBound(std::string_view key) const noexcept {
  std::size_t low = 0, high = order_.size();
  while (low < high) {
    const std::size_t middle = (low + high) / 2;
    if (Key(middle) < key) low = middle + 1;
    else high = middle;
  }
  return low;
}

}  // namespace setupext
