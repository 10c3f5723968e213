// A template tree localised folder by folder: each folder's plan made from its listing, then
// carried out, leftovers of a cut call first.
#pragma once

#include <cstddef>
#include <string_view>

#include "platform/files.h"
#include "template/folder_plan.h"
#include "template/page_replace.h"

namespace setupext {

// What a call did, entry by entry, for whoever wants to know.
class TreeObserver {
 public:
  // The plan's step for an entry, and for those acted on, what came of it.
  virtual void Entry(std::string_view dir, const Listing& listing, std::size_t i, const Step& step,
                     const PageResult& result) noexcept = 0;

 protected:
  ~TreeObserver() = default;
};

struct TreeCounts {
  std::size_t localised = 0;  // pages now French at their final names
  std::size_t unchanged = 0;  // pages that needed no change
  std::size_t moved = 0;      // stray ".tmp" files moved onto their ".pag" names
  std::size_t finished = 0;   // leftovers of a cut call finished or removed
  std::size_t left = 0;       // pages and strays left as they were
};

enum class [[nodiscard]] TreeResult {
  kDone,
  kNoRoot,    // nothing was touched
  kNoMemory,  // the call stopped early; every page is whole at its name or finished
};

// Localises every page in and below `root`. With `plan_only`, nothing is changed: every entry
// is reported with the step its plan gives it.
TreeResult LocaliseTree(Files& files, std::string_view root, TreeCounts* counts = nullptr,
                        TreeObserver* observer = nullptr, bool plan_only = false) noexcept;

}  // namespace setupext
