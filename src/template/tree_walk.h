// Every folder of a tree once, from a worklist rather than by recursion, so the stack a walk
// takes does not grow with the tree's depth.
#pragma once

#include <string_view>

#include "platform/files.h"

namespace setupext {

class FolderVisitor {
 public:
  // `dir` ends with the separator. The listing is the folder's as it was listed.
  virtual void Visit(std::string_view dir, const Listing& listing) noexcept = 0;

 protected:
  ~FolderVisitor() = default;
};

enum class [[nodiscard]] WalkResult {
  kDone,
  kNoRoot,    // the root is empty, too long, or cannot be found
  kNoMemory,  // the walk stopped: the folders visited so far were visited whole
};

// The root is followed, once, to where it really is; below it no link is entered. A folder
// that cannot be listed is skipped; each real folder is visited once, so links that lead
// back into the tree are harmless.
WalkResult WalkTree(Files& files, std::string_view root, FolderVisitor& visitor) noexcept;

}  // namespace setupext
