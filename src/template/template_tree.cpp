#include "template/template_tree.h"

#include <algorithm>
#include <cstddef>
#include <new>

#include "platform/memory.h"

namespace setupext {
namespace {

// Carries each folder's plan out, in an order that frees names before they are taken:
// unfinished outputs go, only copies take their names, pages are localised, and aside copies
// whose text is now at their page's name go.
class FolderLocaliser final : public FolderVisitor {
 public:
  FolderLocaliser(PageWork& work, TreeCounts& counts, TreeObserver* observer)
      : work_(work), files_(work.files()), counts_(counts), observer_(observer) {}

  bool out_of_memory() const { return out_of_memory_; }

  void Visit(std::string_view dir, NativeFile folder, const FolderFacts& facts, const Listing& listing) noexcept override {
    dir_ = dir;
    listing_ = &listing;
    if (plan_.Make(listing, PathUnits(dir), facts) != PlanResult::kDone) {
      out_of_memory_ = true;  // nothing in this folder is touched
      return;
    }
    ordered_ = facts.names_in_order;
    work_.EnterFolder(dir, folder, ordered_);
    changed_ = false;
    for (const Fate fate : {Fate::kRemove, Fate::kFinish, Fate::kReturn, Fate::kRestore, Fate::kLocalise,
                            Fate::kRemoveCopy, Fate::kRemoveMarker, Fate::kLeave}) {
      for (std::size_t i = 0; i < listing.size(); ++i) {
        if (plan_[i].fate != fate) continue;
        if (Waits(plan_[i])) {
          Prepare(i);
        } else {
          EndWaiting();
          CarryOut(i);
        }
      }
      EndWaiting();
    }
    // The last names made outlive a power cut too; a cut before this leaves only what the
    // next call finishes.
    if (changed_ && !ordered_ && !files_.SyncFolder(folder) && observer_) observer_->Folder(dir, FolderTrouble::kNotSynced);
  }

  void Skipped(std::string_view dir, FolderTrouble trouble) noexcept override {
    ++counts_.folders_skipped;
    // A held folder is still listed, and its pages counted; the others' pages are not known.
    if (trouble != FolderTrouble::kHeld) ++counts_.folders_unlisted;
    if (observer_) observer_->Folder(dir, trouble);
  }

  // Pages in a folder the call could not work in stay English; only pages count as pages.
  void Unworked(std::string_view dir, const FolderFacts& facts, const Listing& listing) noexcept override {
    if (plan_.Make(listing, PathUnits(dir), facts) != PlanResult::kDone) {
      ++counts_.folders_unlisted;
      return;
    }
    for (std::size_t i = 0; i < listing.size(); ++i) {
      if (IsPageRole(plan_[i].role)) ++counts_.left;
      else if (IsLeftoverRole(plan_[i].role)) ++counts_.leftovers_left;
    }
  }

 private:
  std::string_view Name(std::size_t i) const { return listing_->name(i); }

  void CarryOut(std::size_t i) {
    const Step& step = plan_[i];
    PageResult result;
    switch (step.fate) {
      case Fate::kLeave: break;
      case Fate::kLocalise: result = work_.Localise(step); break;
      case Fate::kFinish: result = work_.Finish(step); break;
      case Fate::kReturn: result = work_.Return(step); break;
      case Fate::kRemove: result = work_.RemoveOutput(step); break;
      case Fate::kRestore: result = work_.Restore(Name(i), step); break;
      case Fate::kRemoveCopy: result = work_.RemoveCopy(Name(i), step); break;
      case Fate::kRemoveMarker: result = work_.RemoveMarker(Name(i), step); break;
    }
    Record(i, result);
  }

  void Record(std::size_t i, const PageResult& result) {
    const Step& step = plan_[i];
    Count(step, result);
    changed_ |= result.outcome == PageOutcome::kDone || result.moved || result.outcome == PageOutcome::kOutputLeft;
    if (observer_) observer_->Entry(dir_, *listing_, i, step, result);
  }

  // Where names are not kept in order, pages without a long name's marker or an aside name
  // wait together between their parts, so that a folder sync serves them all; a cut leaves
  // each as one page alone would (its output beside it, or in its stead).
  bool Waits(const Step& step) const {
    return !ordered_ && step.fate == Fate::kLocalise && step.marker.empty() && step.aside.empty();
  }

  void Prepare(std::size_t i) {
    if (waiting_count_ == kMostWaiting) EndWaiting();
    Waiting& entry = waiting_[waiting_count_++];
    entry.index = i;
    entry.result = work_.Prepare(plan_[i], entry.page);
  }

  // The waiting pages' deletions after one sync, their moves after another, and every
  // page's result told in the plan's order.
  void EndWaiting() {
    Waiting* const end = waiting_ + waiting_count_;
    if (std::any_of(waiting_, end, [](const Waiting& w) { return w.page.output.is_open(); })) {
      const FolderSync names = work_.SyncNames();
      for (Waiting* w = waiting_; w != end; ++w) {
        if (w->page.output.is_open()) w->result = work_.DeleteWaiting(w->page, names);
      }
    }
    if (std::any_of(waiting_, end, [](const Waiting& w) { return w.page.deleted; })) {
      const FolderSync deletions = work_.SyncNames();
      for (Waiting* w = waiting_; w != end; ++w) {
        if (w->page.deleted) w->result = work_.MoveWaiting(w->page, deletions);
      }
    }
    for (Waiting* w = waiting_; w != end; ++w) {
      Record(w->index, w->result);
      *w = Waiting();
    }
    waiting_count_ = 0;
  }

  void Count(const Step& step, const PageResult& result) {
    if (result.marker_stays) ++counts_.leftovers_left;
    const bool done = result.outcome == PageOutcome::kDone;
    const bool page = step.fate == Fate::kLocalise || (step.fate == Fate::kRestore && result.put_back);
    if (page) {
      ++(done ? counts_.localised : result.outcome == PageOutcome::kUnchanged ? counts_.unchanged : counts_.left);
      if (step.fate == Fate::kRestore) ++counts_.finished;
    } else if (step.fate != Fate::kLeave) {
      ++(done ? counts_.finished : counts_.leftovers_left);
    } else if (step.role == Role::kFolder) {
      if (step.reason == Reason::kPathTooLong) ++counts_.folders_skipped;
    } else if (IsLeftoverRole(step.role)) {
      ++counts_.leftovers_left;
    } else if (IsPageRole(step.role)) {
      ++counts_.left;
    }
  }

  PageWork& work_;
  Files& files_;
  TreeCounts& counts_;
  TreeObserver* observer_;
  FolderPlan plan_;
  std::string_view dir_;
  const Listing* listing_ = nullptr;
  bool ordered_ = false;
  bool changed_ = false;
  bool out_of_memory_ = false;
  // Each waiting page holds its page and its output open: a few at a time.
  struct Waiting {
    std::size_t index = 0;
    PageResult result;
    WaitingPage page;
  };
  static constexpr std::size_t kMostWaiting = 16;
  Waiting waiting_[kMostWaiting];
  std::size_t waiting_count_ = 0;
};

// What one call works with: the page work with its paths, the folders' plans, and the read
// and write buffers, from the heap at once (together they would take more stack than a host's
// thread may have). A call that cannot have it does nothing.
struct CallWork {
  CallWork(Files& files, char* buffers, std::size_t buffer_size, TreeCounts& counts, TreeObserver* observer) noexcept
      : work(files, buffers, buffer_size), localiser(work, counts, observer) {}
  PageWork work;
  FolderLocaliser localiser;
};

class OwnedWork {
 public:
  OwnedWork(Files& files, std::size_t buffer_size, TreeCounts& counts, TreeObserver* observer) noexcept {
    const std::size_t head = (sizeof(CallWork) + alignof(std::max_align_t) - 1) / alignof(std::max_align_t) *
                             alignof(std::max_align_t);
    if (buffer_size > (~std::size_t{0} - head) / 2) return;
    memory_ = static_cast<char*>(TryAllocate(head + 2 * buffer_size));
    if (memory_) call_ = new (memory_) CallWork(files, memory_ + head, buffer_size, counts, observer);
  }
  OwnedWork(const OwnedWork&) = delete;
  OwnedWork& operator=(const OwnedWork&) = delete;
  ~OwnedWork() {
    if (call_) call_->~CallWork();
    Release(memory_);
  }
  CallWork* get() const noexcept { return call_; }

 private:
  char* memory_ = nullptr;
  CallWork* call_ = nullptr;
};

}  // namespace

TreeResult LocaliseTree(Files& files, std::string_view root, TreeCounts* counts, TreeObserver* observer,
                        std::size_t buffer_size) noexcept {
  TreeCounts ignored;
  const OwnedWork call(files, std::max(buffer_size, PageTranslator::kLeastWindow), counts ? *counts : ignored, observer);
  if (!call.get()) return TreeResult::kNoMemory;
  FolderLocaliser& localiser = call.get()->localiser;
  const WalkResult walked = WalkTree(files, root, localiser);
  if (walked == WalkResult::kNoRoot) return TreeResult::kNoRoot;
  if (walked == WalkResult::kRootTooLong) return TreeResult::kRootTooLong;
  return walked == WalkResult::kNoMemory || localiser.out_of_memory() ? TreeResult::kNoMemory : TreeResult::kDone;
}

}  // namespace setupext
