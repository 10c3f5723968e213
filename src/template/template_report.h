// What a template operation did, or would do, to each entry of a tree, in words: one line an
// entry, then a summary. The call tool prints these lines (what a call would do, or what it
// did); the module appends them to a script's log.
#pragma once

#include <cstddef>
#include <string_view>

#include "platform/buffers.h"
#include "template/template_tree.h"

namespace setupext {

enum class Tense { kWould, kDid };

// "PATH: what happened\n", PATH being `shown_dir` and the entry's name. Nothing for a folder
// that is walked; unless `all`, nothing for a file that is not a page nor for a page that
// needs no change and keeps its name.
[[nodiscard]] bool AppendEntryLine(ByteBuffer& out, Tense tense, std::string_view shown_dir, const Listing& listing,
                                   std::size_t i, const Step& step, const PageResult& result, bool all) noexcept;
[[nodiscard]] bool AppendFolderLine(ByteBuffer& out, Tense tense, std::string_view shown_dir,
                                    FolderTrouble trouble) noexcept;
[[nodiscard]] bool AppendSummary(ByteBuffer& out, Tense tense, const TreeCounts& counts, TreeResult result) noexcept;

// A call's report as it goes: "tree: ROOT", a line an entry (paths below the root, the first
// folder the walk reports), and the summary. Text that memory cannot hold is left out, and
// the report says it is incomplete.
class TreeReport final : public TreeObserver {
 public:
  TreeReport(Tense tense, bool all) noexcept : tense_(tense), all_(all) {}

  void Entry(std::string_view dir, const Listing& listing, std::size_t i, const Step& step,
             const PageResult& result) noexcept override;
  void Folder(std::string_view dir, FolderTrouble trouble) noexcept override;
  void Finish(const TreeCounts& counts, TreeResult result) noexcept;
  // A call that named no tree: its one line.
  void NoTree(std::string_view variable, std::string_view why) noexcept;

  const ByteBuffer& text() const noexcept { return text_; }
  bool complete() const noexcept { return complete_; }

 private:
  std::string_view Below(std::string_view dir) noexcept;

  ByteBuffer text_;
  PathText root_;
  Tense tense_;
  bool all_;
  bool started_ = false;
  bool complete_ = true;
};

}  // namespace setupext
