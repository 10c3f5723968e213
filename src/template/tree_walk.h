// Every folder of a tree once, from a worklist rather than by recursion, so the stack a walk
// takes does not grow with the tree's depth.
#pragma once

#include <cstdint>
#include <string_view>

#include "platform/files.h"

namespace setupext {

enum class FolderTrouble : std::uint8_t {
  kCannotList,   // the folder cannot be opened or listed
  kHeld,         // another call of the module held it all the while
  kOtherVolume,  // another volume, or another mount of one, is mounted there: never entered
  kChanged,      // a link or another folder took its name after its parent was listed
  kTooDeep,      // it holds a folder whose path is too long even to be counted
  kNotSynced,    // worked in, but its last names could not be put on the disk: a power cut
                 // may leave what the next call finishes
};

class FolderVisitor {
 public:
  // `dir` ends with the separator; `folder` is it, opened once for the work in it, with its
  // facts. The listing is the folder's as it was listed; the folder is held against other
  // calls of the module until Visit returns.
  virtual void Visit(std::string_view dir, NativeFile folder, const FolderFacts& facts, const Listing& listing) noexcept = 0;
  // A folder that is skipped, and why. Where it can still be listed (held all the while, or
  // below a folder that is), Unworked follows with its listing, so its pages are counted.
  virtual void Skipped(std::string_view dir, FolderTrouble trouble) noexcept = 0;
  // A folder listed but not worked in: held by another call, over the path limit, or below
  // such a folder.
  virtual void Unworked(std::string_view dir, const FolderFacts& facts, const Listing& listing) noexcept = 0;

 protected:
  ~FolderVisitor() = default;
};

enum class [[nodiscard]] WalkResult {
  kDone,
  kNoRoot,    // the root is empty or cannot be found
  kRootTooLong,  // the root's path is over the limit
  kNoMemory,  // the walk stopped: the folders visited so far were visited whole
};

// The root is followed, once, to where it really is; below it no link is entered, nor a
// folder on another volume or mount, nor one whose path would be over the limit
// (SubfolderFits), nor one that is no longer the folder its parent's listing saw. A folder that cannot be listed
// is skipped; each real folder is visited once, so links that lead back into the tree are
// harmless.
WalkResult WalkTree(Files& files, std::string_view root, FolderVisitor& visitor) noexcept;

}  // namespace setupext
