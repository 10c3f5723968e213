// A variable table laid out the way the installer lays it out, for the call tool, the
// benchmark and the tests.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "host/host_variables.h"

namespace setupext {

// A block over areas the caller owns, each capacity slots of its width, with count 0.
HostVariableBlock LayOutBlock(std::uint32_t capacity, std::uint32_t name_width, std::uint32_t value_width,
                              char* names, char* values);

// Every live variable in slot order, names without their percent signs. A slot that no NUL
// ends shows its whole width.
std::vector<std::pair<std::string, std::string>> ListVariables(const HostVariableBlock& block);

// The value of the first live slot named "%name%", or nothing when absent.
std::optional<std::string> FindVariable(const HostVariableBlock& block, std::string_view name);

// A table in ordinary memory.
class HostTable {
 public:
  HostTable(std::uint32_t capacity, std::uint32_t name_width, std::uint32_t value_width);
  HostTable(const HostTable&) = delete;
  HostTable& operator=(const HostTable&) = delete;

  HostVariableBlock* block() { return &block_; }

 private:
  std::vector<char> names_;
  std::vector<char> values_;
  HostVariableBlock block_{};
};

}  // namespace setupext
