// The floor program: the naive calls any program that replaces the template pages must make,
// with a plain copy in place of the text work. It shares nothing with the module: what the
// module costs beyond it is its own work and its own care.
#pragma once

#include <cstddef>
#include <string>

namespace setupext {

struct FloorCounts {
  std::size_t pages = 0;  // copied and deleted
  std::size_t moved = 0;  // outputs moved to their page's name
};

enum class Durability {
  kNone,     // nothing flushed
  kFlushed,  // each output flushed before its page is deleted; nothing else
};

// List, open the page, create the output, read until 0, write (flush when durable), close
// both, delete the page by name; then a second walk moves each output onto its page's name.
FloorCounts FloorTree(const std::string& root, Durability durability);

}  // namespace setupext
