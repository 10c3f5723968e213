#include "host/host_variables.h"

#include <cstring>
#include <limits>

namespace setupext {
namespace {

// Index of the first live slot holding the key, or `live` when none does.
std::uint32_t Find(const HostVariableBlock& block, const HostKeyText& key, std::uint32_t live) noexcept {
  if (key.empty()) return live;
  for (std::uint32_t i = 0; i < live; ++i) {
    const SlotContent name = SlotText(SlotAt(block.names, block.name_width, i), block.name_width);
    if (name.terminated && name.text == key.view()) return i;
  }
  return live;
}

bool Fits(std::string_view text, std::uint32_t width) noexcept { return text.size() < width; }

void Store(char* slot, std::string_view text) noexcept {
  std::memcpy(slot, text.data(), text.size());
  slot[text.size()] = '\0';
}

}  // namespace

std::uint32_t LiveSlots(const HostVariableBlock& block) noexcept {
  if (!block.names || !block.values || block.name_width == 0 || block.value_width == 0) return 0;
  return block.count < block.capacity ? block.count : block.capacity;
}

char* SlotAt(char* area, std::uint32_t width, std::uint32_t index) noexcept {
  std::uint64_t offset = static_cast<std::uint64_t>(width) * index;
  if (offset > std::numeric_limits<std::uintptr_t>::max() - reinterpret_cast<std::uintptr_t>(area))
    return nullptr;
  return area + static_cast<std::uintptr_t>(offset);
}

SlotContent SlotText(const char* slot, std::uint32_t width) noexcept {
  if (!slot) return {};
  const void* end = std::memchr(slot, '\0', width);
  if (!end) return {};
  return {true, std::string_view(slot, static_cast<std::size_t>(static_cast<const char*>(end) - slot))};
}

HostKeyText HostKey(std::string_view name) noexcept {
  HostKeyText key;
  if (!key.Append('%') || !key.Append(name) || !key.Append('%')) key.Clear();
  return key;
}

HostValue FindHostValue(const HostVariableBlock& block, std::string_view name) noexcept {
  const std::uint32_t live = LiveSlots(block);
  const std::uint32_t index = Find(block, HostKey(name), live);
  if (index == live) return {};
  const SlotContent value = SlotText(SlotAt(block.values, block.value_width, index), block.value_width);
  if (!value.terminated) return {HostRead::kDoesNotFit, {}};
  return {HostRead::kValue, value.text};
}

bool HasHostVariable(const HostVariableBlock& block, std::string_view name) noexcept {
  const std::uint32_t live = LiveSlots(block);
  return Find(block, HostKey(name), live) != live;
}

bool SetHostVariable(HostVariableBlock& block, std::string_view name, std::string_view value) noexcept {
  const HostKeyText key = HostKey(name);
  if (key.empty() || !Fits(value, block.value_width)) return false;
  const std::uint32_t live = LiveSlots(block);
  if (const std::uint32_t index = Find(block, key, live); index != live) {
    char* slot = SlotAt(block.values, block.value_width, index);
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
