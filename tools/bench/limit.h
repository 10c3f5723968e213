// The limit program: the module's file calls for a template tree with a plain copy in place
// of the page text work. What the module costs beyond it is its own work.
#pragma once

#include <cstddef>
#include <string>

namespace setupext {

struct LimitCounts {
  std::size_t pages = 0;  // copied and deleted
  std::size_t moved = 0;  // outputs moved to their page's name
};

// Both passes over the tree at `root`, as the module makes them. `durable` flushes each output
// before its page is deleted.
LimitCounts LimitTree(const std::string& root, bool durable);

}  // namespace setupext
