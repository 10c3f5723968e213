#include "template/template_tree.h"

#include <functional>
#include <set>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "template/page_localiser.h"
#include "text/replace.h"

namespace setupext {
namespace {

// A folder path with its separator, as the walk holds it.
constexpr std::size_t kMaxFolderLength = kMaxRootLength + 1;

constexpr std::string_view kPageMark = ".pag";
constexpr std::string_view kOutputMark = ".tmp";

// Gets each folder's path (ending in the separator) and its whole listing.
using FolderStep = std::function<void(const std::string& dir, const std::vector<DirectoryEntry>& entries)>;

// Depth first. Each folder is listed whole and handed to the step before any subfolder is
// walked, so a step never meets a file it made itself; each real folder is handed over once,
// so links that lead back into the tree are harmless.
class TreeWalk {
 public:
  TreeWalk(Files& files, const FolderStep& step) : files_(files), step_(step) {}

  void Walk(const std::string& dir) {
    FolderIdentity identity;
    // A folder that cannot be identified is still walked; the path limit bounds any loop.
    if (files_.IdentifyFolder(dir, &identity) && !visited_.insert(identity).second) return;
    std::vector<DirectoryEntry> entries;
    if (!files_.ListFolder(dir, &entries)) return;
    step_(dir, entries);
    for (const DirectoryEntry& entry : entries) {
      // Links are never entered: below the root the walk stays inside the tree.
      if (entry.kind == EntryKind::kFolder && PathUnits(dir) + PathUnits(entry.name) + 1 <= kMaxFolderLength)
        Walk(dir + entry.name + PathSeparator());
    }
  }

 private:
  Files& files_;
  const FolderStep& step_;
  std::set<FolderIdentity> visited_;
};

// The root is followed as the host names it, once, to where it really is.
void ForEachFolder(Files& files, const std::string& root, const FolderStep& step) {
  if (root.empty()) return;
  std::string dir;
  if (!files.RealFolderPath(root, &dir) || dir.empty()) return;
  if (dir.back() != PathSeparator()) dir += PathSeparator();
  if (PathUnits(dir) <= kMaxFolderLength) TreeWalk(files, step).Walk(dir);
}

bool FitsPath(const std::string& dir, std::string_view name) {
  return PathUnits(dir) + PathUnits(name) <= kMaxPathLength;
}

bool IsFile(const DirectoryEntry& entry) { return entry.kind == EntryKind::kFile; }
bool IsPage(const DirectoryEntry& entry) { return IsFile(entry) && Contains(entry.name, kPageMark); }

// A page whose output name is held by another entry, or shared with another page, or whose
// final name is held by another entry (as the file system compares names), would cost some
// text its name: such pages stay as they are.
std::unordered_set<std::string> BlockedPages(const std::vector<DirectoryEntry>& entries) {
  std::unordered_map<std::string, int> holders;  // name key -> entries holding it
  std::unordered_map<std::string, int> claims;   // output name key -> pages claiming it
  for (const DirectoryEntry& entry : entries) {
    ++holders[NameKey(entry.name)];
    if (IsPage(entry)) ++claims[NameKey(ReplaceExtension(entry.name, kOutputMark))];
  }
  std::unordered_set<std::string> blocked;
  for (const DirectoryEntry& entry : entries) {
    if (!IsPage(entry)) continue;
    const std::string output = NameKey(ReplaceExtension(entry.name, kOutputMark));
    const std::string final_name = NameKey(ReplaceExtension(entry.name, kPageMark));
    const int final_holders = holders.count(final_name) ? holders[final_name] : 0;
    const bool held_by_itself = final_name == NameKey(entry.name);
    if (claims[output] > 1 || holders.count(output) || final_holders > (held_by_itself ? 1 : 0))
      blocked.insert(entry.name);
  }
  return blocked;
}

// One move, retried while the failure may pass: a file held for a moment, or, for a planned
// output, its page's deletion still pending. About two seconds per file at the most.
bool MoveIntoPlace(Files& files, const std::string& from, const std::string& to, bool planned,
                   int& budget_ms) noexcept {
  constexpr int kMostPerFile = 2000;
  try {
    int waited = 0;
    for (int pause = 10;; pause = pause * 2 > 250 ? 250 : pause * 2) {
      const MoveResult result = files.MoveNoReplace(from, to);
      if (result == MoveResult::kMoved) return true;
      const bool passing = result == MoveResult::kBusy || (planned && result == MoveResult::kTargetExists);
      if (!passing || waited >= kMostPerFile || budget_ms <= 0) return false;
      files.Pause(pause);
      waited += pause;
      budget_ms -= pause;
    }
  } catch (...) {
    return false;
  }
}

}  // namespace

std::string ReplaceExtension(std::string_view name, std::string_view extension) {
  std::string result(name.substr(0, name.rfind('.')));
  return result.append(extension);
}

// Pages of one folder whose outputs are whole on the disk, held open until one folder sync has
// put the outputs' names on the disk too; only then are the pages deleted. Bounded, so the
// pages held at once stay few.
class HeldPages {
 public:
  static constexpr std::size_t kMost = 64;

  HeldPages(Files& files, CommitPlan& plan) : files_(files), plan_(plan) { held_.reserve(kMost); }
  HeldPages(const HeldPages&) = delete;
  HeldPages& operator=(const HeldPages&) = delete;
  // Cut short (memory ran out): the held pages stay, their outputs go.
  ~HeldPages() { Replace(false); }

  bool full() const { return held_.size() == kMost; }
  // Never allocates: room for kMost was reserved, and the source's text is moved in.
  void Add(FileHandle page, std::string source, std::size_t move) noexcept {
    held_.push_back({page, std::move(source), move});
  }

  // Syncs the folder once, then replaces every held page by its output. Returns how many.
  std::size_t Finish() noexcept {
    if (held_.empty()) return 0;
    bool synced = false;
    try {
      synced = files_.SyncFolderOf(held_.front().source);
    } catch (...) {
    }
    return Replace(synced);
  }

 private:
  struct Held {
    FileHandle page;
    std::string source;
    std::size_t move;
  };

  std::size_t Replace(bool synced) noexcept {
    std::size_t replaced = 0;
    for (Held& held : held_) {
      CommitPlan::Move& move = plan_.moves[held.move];
      move.state = ToState(ReplacePage(files_, held.page, held.source, move.from, synced));
      if (move.state == CommitPlan::Move::State::kPending) ++replaced;
    }
    held_.clear();
    return replaced;
  }

  static CommitPlan::Move::State ToState(PageOutcome outcome) {
    switch (outcome) {
      case PageOutcome::kLocalised: return CommitPlan::Move::State::kPending;
      case PageOutcome::kKept: return CommitPlan::Move::State::kDropped;
      case PageOutcome::kOutputLeft: break;
    }
    return CommitPlan::Move::State::kStranded;
  }

  Files& files_;
  CommitPlan& plan_;
  std::vector<Held> held_;
};

std::size_t LocaliseTree(Files& files, const std::string& folder, CommitPlan& plan) {
  std::size_t localised = 0;
  ForEachFolder(files, folder, [&](const std::string& dir, const std::vector<DirectoryEntry>& entries) {
    const std::unordered_set<std::string> blocked = BlockedPages(entries);
    HeldPages held(files, plan);
    for (const DirectoryEntry& entry : entries) {
      if (!IsPage(entry) || blocked.count(entry.name) || !FitsPath(dir, entry.name)) continue;
      const std::string output = ReplaceExtension(entry.name, kOutputMark);
      const std::string target = ReplaceExtension(entry.name, kPageMark);
      if (!FitsPath(dir, output) || !FitsPath(dir, target)) continue;
      // Recorded first: once the page is gone, moving its output must need nothing more.
      std::string source = dir + entry.name;
      plan.moves.push_back({dir + output, dir + target});
      FileHandle page = kNoFile;
      const PageOutcome written = WriteOutput(files, source, plan.moves.back().from, &page);
      if (written == PageOutcome::kLocalised) {
        held.Add(page, std::move(source), plan.moves.size() - 1);
        if (held.full()) localised += held.Finish();
      } else if (written == PageOutcome::kKept) {
        plan.moves.pop_back();
      } else {
        plan.moves.back().state = CommitPlan::Move::State::kStranded;
      }
    }
    localised += held.Finish();
  });
  return localised;
}

std::size_t LocaliseTree(Files& files, const std::string& folder) {
  CommitPlan plan;
  return LocaliseTree(files, folder, plan);
}

// Whether two paths lie in one folder: the same text up to their last separators.
bool SameFolder(const std::string& a, const std::string& b) {
  const std::size_t end = a.rfind(PathSeparator());
  return end == b.rfind(PathSeparator()) && a.compare(0, end, b, 0, end) == 0;
}

std::size_t CommitPlanned(Files& files, CommitPlan& plan) noexcept {
  std::size_t moved = 0;
  const std::string* unsynced = nullptr;  // a target whose folder's names are not yet synced
  for (CommitPlan::Move& move : plan.moves) {
    if (move.state != CommitPlan::Move::State::kPending) continue;
    if (unsynced && !SameFolder(*unsynced, move.to)) {
      files.SyncFolderOf(*unsynced);
      unsynced = nullptr;
    }
    if (!MoveIntoPlace(files, move.from, move.to, true, plan.pause_budget_ms)) continue;
    move.state = CommitPlan::Move::State::kDone;
    unsynced = &move.to;
    ++moved;
  }
  if (unsynced) files.SyncFolderOf(*unsynced);
  return moved;
}

std::size_t CommitTree(Files& files, const std::string& folder, CommitPlan& plan) {
  std::size_t moved = 0;
  const auto stranded = [&plan](const std::string& path) {
    for (const CommitPlan::Move& move : plan.moves) {
      if (move.state == CommitPlan::Move::State::kStranded && move.from == path) return true;
    }
    return false;
  };
  ForEachFolder(files, folder, [&](const std::string& dir, const std::vector<DirectoryEntry>& entries) {
    // A ".tmp" file that a page still here would write is that page's unfinished output, or
    // what kept the page from being localised: it never takes a page's name.
    std::unordered_set<std::string> claimed;
    for (const DirectoryEntry& entry : entries) {
      if (!IsPage(entry)) continue;
      const std::string output = NameKey(ReplaceExtension(entry.name, kOutputMark));
      if (output != NameKey(entry.name)) claimed.insert(output);
    }
    std::size_t moved_here = 0;
    for (const DirectoryEntry& entry : entries) {
      if (!IsFile(entry) || !Contains(entry.name, kOutputMark) || !FitsPath(dir, entry.name)) continue;
      const std::string target = ReplaceExtension(entry.name, kPageMark);
      if (!FitsPath(dir, target) || stranded(dir + entry.name) || claimed.count(NameKey(entry.name))) continue;
      if (MoveIntoPlace(files, dir + entry.name, dir + target, false, plan.pause_budget_ms)) ++moved_here;
    }
    if (moved_here > 0) files.SyncFolderOf(dir + ".");
    moved += moved_here;
  });
  return moved;
}

std::size_t CommitTree(Files& files, const std::string& folder) {
  CommitPlan plan;
  return CommitTree(files, folder, plan);
}

void LocaliseAndCommitTree(Files& files, const std::string& folder) {
  CommitPlan plan;
  // Whatever cuts the localising pass short (memory running out included), the outputs it
  // completed still take their names; their moves need no memory.
  try {
    LocaliseTree(files, folder, plan);
  } catch (...) {
  }
  CommitPlanned(files, plan);
  CommitTree(files, folder, plan);
}

}  // namespace setupext
