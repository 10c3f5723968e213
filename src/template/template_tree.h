// A template tree localised folder by folder: each folder's plan made from its listing, then
// carried out by one executor, whatever file layer it is given (the system's, or one that
// only reads, to show what a call would do).
#pragma once

#include <cstddef>
#include <string_view>

#include "platform/files.h"
#include "template/folder_plan.h"
#include "template/page_replace.h"
#include "template/tree_walk.h"

namespace setupext {

// What a call did, entry by entry, for whoever wants to know.
class TreeObserver {
 public:
  // The plan's step for an entry, and what came of it (for a step left, nothing).
  virtual void Entry(std::string_view dir, const Listing& listing, std::size_t i, const Step& step,
                     const PageResult& result) noexcept = 0;
  virtual void Folder(std::string_view dir, FolderTrouble trouble) noexcept = 0;

 protected:
  ~TreeObserver() = default;
};

struct TreeCounts {
  std::size_t localised = 0;        // pages and strays now French at their final names
  std::size_t unchanged = 0;        // pages that needed no change
  std::size_t finished = 0;         // leftovers of a cut call finished, put back or removed
  std::size_t left = 0;             // pages and strays left as they were, those of folders
                                    // listed but not worked in too
  std::size_t leftovers_left = 0;   // leftovers of a cut call that stay
  std::size_t folders_skipped = 0;  // folders not walked: unlisted, held, or over the limit
  std::size_t folders_unlisted = 0; // folders whose pages are not known (never listed): where
                                    // not 0, pages may have stayed English unseen
};

enum class [[nodiscard]] TreeResult {
  kDone,
  kNoRoot,    // nothing was touched
  kRootTooLong,  // nothing was touched: the root's path is over the limit
  kNoMemory,  // the call stopped early; every page is whole at its name or finished
};

// Localises every page in and below `root`, with pieces of `buffer_size` bytes.
TreeResult LocaliseTree(Files& files, std::string_view root, TreeCounts* counts = nullptr,
                        TreeObserver* observer = nullptr,
                        std::size_t buffer_size = PageWork::kDefaultBufferSize) noexcept;

}  // namespace setupext
