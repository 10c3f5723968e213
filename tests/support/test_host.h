// A variable table for tests: the names area and the values area each end flush against a
// no-access page, so any read or write past the last slot faults.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "host/host_variables.h"
#include "support/guarded_memory.h"

namespace setupext::testing {

class TestHost {
 public:
  TestHost(std::uint32_t capacity = 16, std::uint32_t name_width = 32, std::uint32_t value_width = 4096);

  HostVariableBlock* block() { return &block_; }
  // Fills a slot directly, bypassing the table's own checks (for malformed tables).
  void PutRaw(std::uint32_t index, std::string_view name_slot, std::string_view value_slot);
  // Adds or overwrites through the table's own write; fails the test when nothing is written.
  void Set(std::string_view name, std::string_view value);
  // The value of the first slot named %name%, or nothing when absent.
  std::optional<std::string> Find(std::string_view name) const;
  char* name_slot(std::uint32_t index) const { return names_.data() + std::size_t{index} * block_.name_width; }
  char* value_slot(std::uint32_t index) const { return values_.data() + std::size_t{index} * block_.value_width; }

 private:
  GuardedMemory names_;
  GuardedMemory values_;
  HostVariableBlock block_{};
};

}  // namespace setupext::testing
