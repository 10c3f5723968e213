#include "template/tree_walk.h"

#include "platform/buffers.h"
#include "template/folder_plan.h"

namespace setupext {
namespace {

// A folder path with its separator, as the walk holds it.
constexpr std::size_t kMaxFolderLength = kMaxRootLength + 1;

// Folders still to visit, each path followed by a NUL and, in hex digits, the index its
// parent's listing gave (digits, so no NUL but the path's end is ever stored).
class Worklist {
 public:
  [[nodiscard]] bool Push(std::string_view dir, std::uint64_t index) {
    char digits[kDigits];
    for (std::size_t i = kDigits; i-- > 0; index >>= 4) digits[i] = "0123456789abcdef"[index & 15];
    return paths_.Append(dir) && paths_.Append(std::string_view("", 1)) && paths_.Append(std::string_view(digits, kDigits));
  }
  // Takes the last folder pushed into `dir`, and its index.
  bool Pop(PathText& dir, std::uint64_t* index) {
    while (!paths_.empty()) {
      const std::string_view digits = From(paths_.view(), paths_.size() - kDigits);
      *index = 0;
      for (const char c : digits) *index = (*index << 4) | static_cast<std::uint64_t>(c <= '9' ? c - '0' : c - 'a' + 10);
      const std::string_view all = Part(paths_.view(), 0, paths_.size() - kDigits - 1);
      const std::size_t before = all.rfind('\0');
      const std::size_t start = before == std::string_view::npos ? 0 : before + 1 + kDigits;
      const bool fits = dir.Assign(From(all, start));
      paths_.Truncate(start);
      if (fits) return true;
    }
    return false;
  }

 private:
  static constexpr std::size_t kDigits = 16;
  ByteBuffer paths_;
};

// Another call holding the folder is waited for a while, never for ever.
LockResult HoldFolder(Files& files, NativeFile folder, FolderLock& lock) {
  constexpr int kMostWait = 10000;
  int waited = 0;
  for (int step = 10;; step = step * 2 > 250 ? 250 : step * 2) {
    const LockResult result = files.LockFolder(folder, lock);
    if (result != LockResult::kBusy || waited >= kMostWait) return result;
    files.Pause(step);
    waited += step;
  }
}

bool SeenBefore(GrowingArray<FolderIdentity>& visited, const FolderIdentity& identity, bool* memory) {
  for (const FolderIdentity& seen : visited) {
    if (seen == identity) return true;
  }
  *memory = visited.Push(identity);
  return false;
}

FolderTrouble TroubleOf(FolderOpen opened) {
  return opened == FolderOpen::kFailed ? FolderTrouble::kCannotList : FolderTrouble::kChanged;
}

}  // namespace

WalkResult WalkTree(Files& files, std::string_view root, FolderVisitor& visitor) noexcept {
  const char separator = PathSeparator();
  PathText dir;
  if (root.empty() || !files.RealFolderPath(root, dir) || dir.empty()) return WalkResult::kNoRoot;
  if (dir.back() != separator && !dir.Append(separator)) return WalkResult::kNoRoot;
  if (PathUnits(dir) > kMaxFolderLength) return WalkResult::kNoRoot;

  Worklist pending;
  GrowingArray<FolderIdentity> visited;
  Listing listing;
  std::uint64_t root_volume = 0;
  bool at_root = true;
  if (!pending.Push(dir, 0)) return WalkResult::kNoMemory;
  PathText next;
  std::uint64_t expected = 0;
  while (pending.Pop(next, &expected)) {
    File folder;
    FolderFacts facts;
    const FolderOpen opened = files.OpenFolder(next, expected, folder, facts);
    if (opened != FolderOpen::kDone) {
      if (at_root) return WalkResult::kNoRoot;
      visitor.Skipped(next, TroubleOf(opened));
      continue;
    }
    if (at_root) root_volume = facts.identity.volume;
    at_root = false;
    if (facts.identity.volume != root_volume) {
      visitor.Skipped(next, FolderTrouble::kOtherVolume);
      continue;
    }
    bool memory = true;
    if (SeenBefore(visited, facts.identity, &memory)) continue;
    if (!memory) return WalkResult::kNoMemory;
    // A file system without locks is walked all the same: the lock only keeps calls apart.
    FolderLock lock;
    if (HoldFolder(files, folder.get().native, lock) == LockResult::kBusy) {
      visitor.Skipped(next, FolderTrouble::kHeld);
      continue;
    }
    const ListResult listed = files.ListFolder(folder.get().native, next, listing);
    if (listed == ListResult::kNoMemory) return WalkResult::kNoMemory;
    if (listed != ListResult::kDone) {
      visitor.Skipped(next, FolderTrouble::kCannotList);
      continue;
    }
    visitor.Visit(next, folder.get().native, facts, listing);
    lock.reset();
    folder.reset();
    const std::size_t units = PathUnits(next);
    for (std::size_t i = 0; i < listing.size(); ++i) {
      if (listing.kind(i) != EntryKind::kFolder || !SubfolderFits(units, listing.name(i))) continue;
      // `dir` is free once the root is pushed: the child's path is made there.
      if (!dir.Assign(next) || !dir.Append(listing.name(i)) || !dir.Append(separator)) continue;
      if (!pending.Push(dir, listing.index(i))) return WalkResult::kNoMemory;
    }
  }
  return WalkResult::kDone;
}

}  // namespace setupext
