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

enum class Durability {
  kNone,      // no flush, no folder sync, moves not written through: the floor without durability
  kAsModule,  // outputs flushed, one folder sync before a batch of deletions and one after a
              // folder's moves, moves written through
};

// Both passes over the tree at `root`, as the module makes them.
LimitCounts LimitTree(const std::string& root, Durability durability);

}  // namespace setupext
