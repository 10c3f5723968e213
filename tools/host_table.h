// A variable table laid out the way the installer lays it out, in ordinary memory.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "host/host_variables.h"
#include "platform/export.h"

namespace setupext {

class HostTable {
 public:
  HostTable(std::uint32_t capacity, std::uint32_t name_width, std::uint32_t value_width);
  HostTable(const HostTable&) = delete;
  HostTable& operator=(const HostTable&) = delete;

  HostVariableBlock* block() { return &block_; }
  // Every live variable in slot order, names without their percent signs.
  std::vector<std::pair<std::string, std::string>> Variables() const;

 private:
  std::vector<char> names_;
  std::vector<char> values_;
  HostVariableBlock block_{};
};

// Signature of every exported operation.
using HostOperation = int(SETUPEXT_CALL*)(HostVariableBlock*);

}  // namespace setupext
