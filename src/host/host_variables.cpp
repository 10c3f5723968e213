#include "host/host_variables.h"

#include <cstring>
#include <limits>
#include <optional>

namespace setupext {
namespace {

// Index of the first live slot holding the key, or nothing.
std::optional<std::uint32_t> Find(const HostVariableBlock& block, std::string_view key) {
  const std::uint32_t live = LiveSlots(block);
  for (std::uint32_t i = 0; i < live; ++i) {
    if (SlotText(SlotAt(block.names, block.name_width, i), block.name_width) == key) return i;
  }
  return std::nullopt;
}

bool Fits(std::string_view text, std::uint32_t width) { return text.size() < width; }

void Store(char* slot, std::string_view text) {
  std::memcpy(slot, text.data(), text.size());
  slot[text.size()] = '\0';
}

}  // namespace

std::uint32_t LiveSlots(const HostVariableBlock& block) {
  if (!block.names || !block.values || block.name_width == 0 || block.value_width == 0) return 0;
  return block.count < block.capacity ? block.count : block.capacity;
}

char* SlotAt(char* area, std::uint32_t width, std::uint32_t index) {
  std::uint64_t offset = static_cast<std::uint64_t>(width) * index;
  if (offset > std::numeric_limits<std::uintptr_t>::max() - reinterpret_cast<std::uintptr_t>(area))
    return nullptr;
  return area + static_cast<std::uintptr_t>(offset);
}

std::optional<std::string_view> SlotText(const char* slot, std::uint32_t width) {
  if (!slot) return std::nullopt;
  const void* end = std::memchr(slot, '\0', width);
  if (!end) return std::nullopt;
  return std::string_view(slot, static_cast<std::size_t>(static_cast<const char*>(end) - slot));
}

std::string HostKey(std::string_view name) {
  std::string key;
  key.reserve(name.size() + 2);
  key.append("%").append(name).append("%");
  return key;
}

HostRead GetHostVariable(const HostVariableBlock& block, std::string_view name, std::string* out,
                         std::size_t buffer_size) {
  out->clear();
  std::optional<std::uint32_t> index = Find(block, HostKey(name));
  if (!index) return HostRead::kValue;
  std::optional<std::string_view> value =
      SlotText(SlotAt(block.values, block.value_width, *index), block.value_width);
  if (!value || value->size() >= buffer_size) return HostRead::kDoesNotFit;
  out->assign(*value);
  return HostRead::kValue;
}

bool SetHostVariable(HostVariableBlock& block, std::string_view name, std::string_view value) {
  const std::string key = HostKey(name);
  if (!Fits(value, block.value_width)) return false;
  if (std::optional<std::uint32_t> index = Find(block, key)) {
    char* slot = SlotAt(block.values, block.value_width, *index);
    if (!slot) return false;
    Store(slot, value);
    return true;
  }
  const std::uint32_t index = block.count;
  if (index >= block.capacity || !block.names || !block.values || !Fits(key, block.name_width)) return false;
  char* name_slot = SlotAt(block.names, block.name_width, index);
  char* value_slot = SlotAt(block.values, block.value_width, index);
  if (!name_slot || !value_slot) return false;
  Store(name_slot, key);
  block.count = index + 1;
  Store(value_slot, value);
  return true;
}

}  // namespace setupext
