#include "support/test_host.h"

#include <gtest/gtest.h>

#include <cstring>

namespace setupext::testing {

TestHost::TestHost(std::uint32_t capacity, std::uint32_t name_width, std::uint32_t value_width)
    : names_(std::size_t{capacity} * name_width), values_(std::size_t{capacity} * value_width) {
  block_.host_word1 = 0xA5A5A5A5;
  block_.host_word2 = 0x5A5A5A5A;
  block_.capacity = capacity;
  block_.name_width = name_width;
  block_.value_width = value_width;
  block_.names = names_.data();
  block_.values = values_.data();
}

void TestHost::PutRaw(std::uint32_t index, std::string_view name_slot_text, std::string_view value_slot_text) {
  ASSERT_LE(name_slot_text.size(), block_.name_width);
  ASSERT_LE(value_slot_text.size(), block_.value_width);
  std::memcpy(name_slot(index), name_slot_text.data(), name_slot_text.size());
  std::memcpy(value_slot(index), value_slot_text.data(), value_slot_text.size());
}

void TestHost::Set(std::string_view name, std::string_view value) {
  ASSERT_TRUE(SetHostVariable(block_, name, value)) << name;
}

std::optional<std::string> TestHost::Find(std::string_view name) const {
  const std::string key = "%" + std::string(name) + "%";
  const std::uint32_t live = block_.count < block_.capacity ? block_.count : block_.capacity;
  for (std::uint32_t i = 0; i < live; ++i) {
    const char* slot = name_slot(i);
    if (std::memchr(slot, '\0', block_.name_width) && key == slot) {
      const char* value = value_slot(i);
      const void* end = std::memchr(value, '\0', block_.value_width);
      return std::string(value, end ? static_cast<const char*>(end) - value : block_.value_width);
    }
  }
  return std::nullopt;
}

}  // namespace setupext::testing
