#include "support/test_host.h"

#include <gtest/gtest.h>

#include <cstring>

#include "host_table.h"

namespace setupext::testing {

TestHost::TestHost(std::uint32_t capacity, std::uint32_t name_width, std::uint32_t value_width)
    : names_(std::size_t{capacity} * name_width),
      values_(std::size_t{capacity} * value_width),
      block_(LayOutBlock(capacity, name_width, value_width, names_.data(), values_.data())) {
  block_.host_word1 = 0xA5A5A5A5;
  block_.host_word2 = 0x5A5A5A5A;
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

std::optional<std::string> TestHost::Find(std::string_view name) const { return FindVariable(block_, name); }

}  // namespace setupext::testing
