// The limit program: the module's file calls for a template tree with a plain copy in place
// of the page text work. What the module costs beyond it is its own work. Beside it the
// floor program: only the calls any program changing the pages needs.
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
  kAsModule,  // outputs flushed; on POSIX one folder sync before a batch of deletions, one
              // after them and one after the batch's renames; stray moves written through
};

// The walk over the tree at `root` as the module makes it.
LimitCounts LimitTree(const std::string& root, Durability durability);

// The naive program: list, open the page, create the output, read until 0, write, close
// both, delete the page by name; then a second walk moves each output onto its page's name.
// No flush, no checks.
LimitCounts FloorTree(const std::string& root);

}  // namespace setupext
