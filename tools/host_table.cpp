#include "host_table.h"

#include <cstring>

namespace setupext {
namespace {

std::string SlotText(const char* slot, std::uint32_t width) {
  const void* end = std::memchr(slot, '\0', width);
  return std::string(slot, end ? static_cast<const char*>(end) - slot : width);
}

std::string StripPercents(std::string key) {
  if (key.size() >= 2 && key.front() == '%' && key.back() == '%') return key.substr(1, key.size() - 2);
  return key;
}

}  // namespace

HostTable::HostTable(std::uint32_t capacity, std::uint32_t name_width, std::uint32_t value_width)
    : names_(static_cast<std::size_t>(capacity) * name_width),
      values_(static_cast<std::size_t>(capacity) * value_width) {
  block_.capacity = capacity;
  block_.name_width = name_width;
  block_.value_width = value_width;
  block_.names = names_.data();
  block_.values = values_.data();
}

std::vector<std::pair<std::string, std::string>> HostTable::Variables() const {
  std::vector<std::pair<std::string, std::string>> variables;
  const std::uint32_t live = block_.count < block_.capacity ? block_.count : block_.capacity;
  for (std::uint32_t i = 0; i < live; ++i) {
    variables.emplace_back(
        StripPercents(SlotText(names_.data() + static_cast<std::size_t>(i) * block_.name_width, block_.name_width)),
        SlotText(values_.data() + static_cast<std::size_t>(i) * block_.value_width, block_.value_width));
  }
  return variables;
}

}  // namespace setupext
