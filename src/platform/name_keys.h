// Names as a folder compares them (AppendNameKey), each with the entry it stands for, sorted:
// what tells two names that are one for the folder, and finds a name among many.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/buffers.h"

namespace setupext {

class NameKeys {
 public:
  explicit NameKeys(bool case_sensitive = true) noexcept : case_sensitive_(case_sensitive) {}
  // False when memory ran out.
  [[nodiscard]] bool Add(std::uint32_t entry, std::string_view name) noexcept;
  // Shell sort: no memory, no recursion, fast enough for a folder.
  void Sort() noexcept;

  std::size_t size() const noexcept { return order_.size(); }
  // In sorted order.
  std::string_view Key(std::size_t rank) const noexcept { return KeyOf(order_[rank]); }
  std::uint32_t Entry(std::size_t rank) const noexcept { return entries_[order_[rank]]; }
  // The first rank whose key is not below `key`.
  std::size_t LowerBound(std::string_view key) const noexcept;

 private:
  std::string_view KeyOf(std::uint32_t i) const noexcept { return Part(keys_.view(), offsets_[i], ends_[i] - offsets_[i]); }

  bool case_sensitive_;
  ByteBuffer keys_;
  GrowingArray<std::uint32_t> offsets_, ends_, order_, entries_;
};

}  // namespace setupext
