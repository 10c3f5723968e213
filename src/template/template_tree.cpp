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

std::size_t LocaliseTree(Files& files, const std::string& folder, CommitPlan& plan) {
  std::size_t localised = 0;
  ForEachFolder(files, folder, [&](const std::string& dir, const std::vector<DirectoryEntry>& entries) {
    const std::unordered_set<std::string> blocked = BlockedPages(entries);
    for (const DirectoryEntry& entry : entries) {
      if (!IsPage(entry) || blocked.count(entry.name) || !FitsPath(dir, entry.name)) continue;
      const std::string output = ReplaceExtension(entry.name, kOutputMark);
      const std::string target = ReplaceExtension(entry.name, kPageMark);
      if (!FitsPath(dir, output) || !FitsPath(dir, target)) continue;
      // Recorded first: once the page is gone, moving its output must need nothing more.
      plan.moves.push_back({dir + output, dir + target});
      switch (LocalisePage(files, dir + entry.name, dir + output)) {
        case PageOutcome::kLocalised: ++localised; break;
        case PageOutcome::kKept: plan.moves.pop_back(); break;
        case PageOutcome::kOutputLeft: plan.moves.back().stranded = true; break;
      }
    }
  });
  return localised;
}

std::size_t LocaliseTree(Files& files, const std::string& folder) {
  CommitPlan plan;
  return LocaliseTree(files, folder, plan);
}

std::size_t CommitPlanned(Files& files, CommitPlan& plan) noexcept {
  std::size_t moved = 0;
  for (CommitPlan::Move& move : plan.moves) {
    if (move.stranded || move.done) continue;
    move.done = MoveIntoPlace(files, move.from, move.to, true, plan.pause_budget_ms);
    if (move.done) ++moved;
  }
  return moved;
}

std::size_t CommitTree(Files& files, const std::string& folder, CommitPlan& plan) {
  std::size_t moved = 0;
  const auto stranded = [&plan](const std::string& path) {
    for (const CommitPlan::Move& move : plan.moves) {
      if (move.stranded && move.from == path) return true;
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
    for (const DirectoryEntry& entry : entries) {
      if (!IsFile(entry) || !Contains(entry.name, kOutputMark) || !FitsPath(dir, entry.name)) continue;
      const std::string target = ReplaceExtension(entry.name, kPageMark);
      if (!FitsPath(dir, target) || stranded(dir + entry.name) || claimed.count(NameKey(entry.name))) continue;
      if (MoveIntoPlace(files, dir + entry.name, dir + target, false, plan.pause_budget_ms)) ++moved;
    }
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
