#include "host_table.h"

#include <cstring>

namespace setupext {
namespace {

std::string ShownText(const char* slot, std::uint32_t width) {
  if (const SlotContent content = SlotText(slot, width); content.terminated) return std::string(content.text);
  return std::string(slot, width);
}

std::string StripPercents(std::string key) {
  if (key.size() >= 2 && key.front() == '%' && key.back() == '%') return key.substr(1, key.size() - 2);
  return key;
}

}  // namespace

HostVariableBlock LayOutBlock(std::uint32_t capacity, std::uint32_t name_width, std::uint32_t value_width,
                              char* names, char* values) {
  HostVariableBlock block{};
  block.capacity = capacity;
  block.name_width = name_width;
  block.value_width = value_width;
  block.names = names;
  block.values = values;
  return block;
}

std::vector<std::pair<std::string, std::string>> ListVariables(const HostVariableBlock& block) {
  std::vector<std::pair<std::string, std::string>> variables;
  for (std::uint32_t i = 0; i < LiveSlots(block); ++i) {
    variables.emplace_back(StripPercents(ShownText(SlotAt(block.names, block.name_width, i), block.name_width)),
                           ShownText(SlotAt(block.values, block.value_width, i), block.value_width));
  }
  return variables;
}

std::optional<std::string> FindVariable(const HostVariableBlock& block, std::string_view name) {
  const HostKeyText key = HostKey(name);
  for (std::uint32_t i = 0; i < LiveSlots(block); ++i) {
    const SlotContent slot = SlotText(SlotAt(block.names, block.name_width, i), block.name_width);
    if (slot.terminated && !key.empty() && slot.text == key.view())
      return ShownText(SlotAt(block.values, block.value_width, i), block.value_width);
  }
  return std::nullopt;
}

HostTable::HostTable(std::uint32_t capacity, std::uint32_t name_width, std::uint32_t value_width)
    : names_(static_cast<std::size_t>(capacity) * name_width),
      values_(static_cast<std::size_t>(capacity) * value_width),
      block_(LayOutBlock(capacity, name_width, value_width, names_.data(), values_.data())) {}

}  // namespace setupext
