#include "template/template_tree.h"

#include <new>

#include "platform/memory.h"
#include "template/tree_walk.h"

namespace setupext {
namespace {

std::string_view PageOf(std::string_view leftover, std::string_view suffix) {
  return Part(leftover, 0, leftover.size() - suffix.size());
}

// Carries each folder's plan out.
class FolderLocaliser final : public FolderVisitor {
 public:
  FolderLocaliser(PageWork& work, TreeCounts& counts, TreeObserver* observer, bool plan_only)
      : work_(work), files_(work.files()), counts_(counts), observer_(observer), plan_only_(plan_only) {}

  bool out_of_memory() const { return out_of_memory_; }

  void Visit(std::string_view dir, const Listing& listing) noexcept override {
    dir_ = dir;
    listing_ = &listing;
    if (plan_.Make(listing, PathUnits(dir)) != PlanResult::kDone) {
      out_of_memory_ = true;  // nothing in this folder is touched
      return;
    }
    if (plan_only_) {
      for (std::size_t i = 0; i < listing.size(); ++i) Report(i, Examine(i));
      return;
    }
    FinishLeftovers();
    LocalisePages();
  }

 private:
  const Step& StepOf(std::size_t i) const { return plan_[i]; }
  std::string_view Name(std::size_t i) const { return listing_->name(i); }

  void Report(std::size_t i, const PageResult& result) {
    if (observer_) observer_->Entry(dir_, *listing_, i, StepOf(i), result);
  }

  // What carrying the step out would find, for a plan shown rather than carried out.
  PageResult Examine(std::size_t i) {
    if (StepOf(i).fate == Fate::kLocalise) return work_.Examine(dir_, Name(i));
    return {};
  }

  // Whatever a cut call left: removed, or finished, before any page is touched.
  void FinishLeftovers() {
    bool changed = false;
    for (std::size_t i = 0; i < listing_->size(); ++i) {
      const Fate fate = StepOf(i).fate;
      if (fate != Fate::kRemove && fate != Fate::kFinish && fate != Fate::kRestore) continue;
      const bool output = Name(i).ends_with(kOutputSuffix);
      const std::string_view page = PageOf(Name(i), output ? kOutputSuffix : kAsideSuffix);
      PageResult result{PageOutcome::kKept, PageTrouble::kNoMemory};
      if (work_.SetPaths(dir_, page)) result = Finish(fate, output, page, i);
      changed |= result.outcome != PageOutcome::kKept || result.trouble == PageTrouble::kNone;
      Report(i, result);
    }
    if (changed) SyncFolder();
  }

  PageResult Finish(Fate fate, bool output, std::string_view page, std::size_t i) {
    const std::string_view leftover = output ? work_.output_path().view() : work_.aside_path().view();
    if (fate == Fate::kRemove) {
      ++counts_.finished;
      return {PageOutcome::kUnchanged, files_.Remove(leftover) == FileResult::kDone ? PageTrouble::kNone : PageTrouble::kBusy};
    }
    if (fate == Fate::kFinish) {
      if (work_.MoveIntoPlace(leftover, work_.final_path()) != FileResult::kDone) return {PageOutcome::kOutputLeft, PageTrouble::kNameBusy};
      ++counts_.finished;
      return {PageOutcome::kLocalised, PageTrouble::kNone};
    }
    // The only copy of a page a cut call moved aside: back to its name, then localised.
    if (work_.MoveIntoPlace(leftover, work_.page_path()) != FileResult::kDone) return {PageOutcome::kKept, PageTrouble::kBusy};
    ++counts_.finished;
    return LocaliseAlone(page, static_cast<std::uint32_t>(i));
  }

  PageResult LocaliseAlone(std::string_view page, std::uint32_t entry) {
    PreparedPage& prepared = work_.batch[0];
    PageResult result = work_.Prepare(dir_, page, prepared);
    if (result.outcome != PageOutcome::kLocalised) return result;
    prepared.entry = entry;
    if (files_.KeepsNamesInOrder()) return work_.Replace(dir_, page, prepared);
    held_ = 1;
    FinishBatch(page);
    return last_;
  }

  void LocalisePages() {
    bool moved = false;
    for (std::size_t i = 0; i < listing_->size(); ++i) {
      const Fate fate = StepOf(i).fate;
      if (fate == Fate::kLeave) {
        if (StepOf(i).reason != Reason::kFolder && StepOf(i).reason != Reason::kNotAPage) ++counts_.left;
        Report(i, {});
      } else if (fate == Fate::kMove) {
        moved |= MoveStray(i);
      } else if (fate == Fate::kLocalise) {
        moved |= LocalisePage(i);
      }
    }
    if (held_ > 0) FinishBatch({});
    if (moved) SyncFolder();
  }

  bool MoveStray(std::size_t i) {
    PageResult result{PageOutcome::kKept, PageTrouble::kNoMemory};
    if (work_.SetPaths(dir_, Name(i))) {
      const FileResult moved = work_.MoveIntoPlace(work_.page_path(), work_.final_path());
      result = moved == FileResult::kDone ? PageResult{PageOutcome::kLocalised, PageTrouble::kNone}
                                          : PageResult{PageOutcome::kKept, PageTrouble::kNameBusy};
    }
    ++(result.outcome == PageOutcome::kLocalised ? counts_.moved : counts_.left);
    Report(i, result);
    return result.outcome == PageOutcome::kLocalised;
  }

  // Where the system keeps names in order, each page is replaced as soon as it is written;
  // elsewhere pages wait in a batch for the folder syncs that order their names.
  bool LocalisePage(std::size_t i) {
    PreparedPage& prepared = work_.batch[held_];
    const PageResult result = work_.Prepare(dir_, Name(i), prepared);
    if (result.outcome != PageOutcome::kLocalised) {
      Count(result);
      Report(i, result);
      return result.outcome == PageOutcome::kUnchanged;
    }
    prepared.entry = static_cast<std::uint32_t>(i);
    if (files_.KeepsNamesInOrder()) {
      const PageResult replaced = work_.Replace(dir_, Name(i), prepared);
      Count(replaced);
      Report(i, replaced);
      return false;
    }
    if (++held_ == PageWork::kMostPrepared) FinishBatch({});
    return false;
  }

  // The batch's outputs' names go on the disk before any page goes, and the pages'
  // deletions before any output takes a name: any subset of unsynced name operations may
  // outlive a power cut. `alone` names a restored page that is not in the listing.
  void FinishBatch(std::string_view alone) {
    const bool synced = files_.SyncFolderOf(dir_);
    bool deleted[PageWork::kMostPrepared] = {};
    PageResult results[PageWork::kMostPrepared];
    for (std::size_t k = 0; k < held_; ++k) {
      PreparedPage& prepared = work_.batch[k];
      const std::string_view name = alone.empty() ? Name(prepared.entry) : alone;
      if (!synced) {
        prepared.page.reset();
        results[k] = files_.DeleteNew(std::move(prepared.output), OutputPath(name))
                         ? PageResult{PageOutcome::kKept, PageTrouble::kWriteFailed}
                         : PageResult{PageOutcome::kOutputLeft, PageTrouble::kWriteFailed};
        continue;
      }
      deleted[k] = work_.DeletePage(dir_, name, prepared, &results[k]);
    }
    if (synced) (void)files_.SyncFolderOf(dir_);
    for (std::size_t k = 0; k < held_; ++k) {
      PreparedPage& prepared = work_.batch[k];
      const std::string_view name = alone.empty() ? Name(prepared.entry) : alone;
      if (deleted[k]) results[k] = work_.RenameOutput(dir_, name, prepared);
      if (alone.empty()) {
        Count(results[k]);
        Report(prepared.entry, results[k]);
      }
    }
    last_ = results[0];
    held_ = 0;
    SyncFolder();
  }

  std::string_view OutputPath(std::string_view name) {
    return work_.SetPaths(dir_, name) ? work_.output_path().view() : std::string_view();
  }

  void Count(const PageResult& result) {
    switch (result.outcome) {
      case PageOutcome::kLocalised: ++counts_.localised; break;
      case PageOutcome::kUnchanged: ++counts_.unchanged; break;
      default: ++counts_.left; break;
    }
  }

  void SyncFolder() {
    if (!files_.KeepsNamesInOrder()) (void)files_.SyncFolderOf(dir_);
  }

  PageWork& work_;
  Files& files_;
  TreeCounts& counts_;
  TreeObserver* observer_;
  bool plan_only_;
  FolderPlan plan_;
  std::string_view dir_;
  const Listing* listing_ = nullptr;
  std::size_t held_ = 0;
  PageResult last_;
  bool out_of_memory_ = false;
};

// The buffers of one call, from the heap at once: a call that cannot have them does nothing.
class OwnedWork {
 public:
  explicit OwnedWork(Files& files) noexcept {
    void* memory = TryAllocate(sizeof(PageWork));
    if (memory) work_ = new (memory) PageWork(files);
  }
  OwnedWork(const OwnedWork&) = delete;
  OwnedWork& operator=(const OwnedWork&) = delete;
  ~OwnedWork() {
    if (!work_) return;
    work_->~PageWork();
    Release(work_);
  }
  PageWork* get() const noexcept { return work_; }

 private:
  PageWork* work_ = nullptr;
};

}  // namespace

TreeResult LocaliseTree(Files& files, std::string_view root, TreeCounts* counts, TreeObserver* observer,
                        bool plan_only) noexcept {
  TreeCounts ignored;
  OwnedWork work(files);
  if (!work.get()) return TreeResult::kNoMemory;
  FolderLocaliser localiser(*work.get(), counts ? *counts : ignored, observer, plan_only);
  const WalkResult walked = WalkTree(files, root, localiser);
  if (walked == WalkResult::kNoRoot) return TreeResult::kNoRoot;
  return walked == WalkResult::kNoMemory || localiser.out_of_memory() ? TreeResult::kNoMemory : TreeResult::kDone;
}

}  // namespace setupext
