#include "template/tree_walk.h"

#include "platform/buffers.h"
#include "template/folder_plan.h"

namespace setupext {
namespace {

// A folder path with its separator, as the walk holds it.
constexpr std::size_t kMaxFolderLength = kMaxRootLength + 1;

// Folders still to visit, each path followed by a NUL.
class Worklist {
 public:
  [[nodiscard]] bool Push(std::string_view dir) { return paths_.Append(dir) && paths_.Append(std::string_view("", 1)); }
  // Takes the last folder pushed into `dir`.
  bool Pop(PathText& dir) {
    while (!paths_.empty()) {
      const std::string_view all = Part(paths_.view(), 0, paths_.size() - 1);
      const std::size_t start = all.rfind('\0') + 1;  // npos + 1 is 0
      const bool fits = dir.Assign(From(all, start));
      paths_.Truncate(start);
      if (fits) return true;
    }
    return false;
  }

 private:
  ByteBuffer paths_;
};

// Another call holding the folder is waited for a while, never for ever.
LockResult HoldFolder(Files& files, std::string_view dir, FolderLock& lock) {
  constexpr int kMostWait = 10000;
  int waited = 0;
  for (int step = 10;; step = step * 2 > 250 ? 250 : step * 2) {
    const LockResult result = files.LockFolder(dir, lock);
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
  if (!pending.Push(dir)) return WalkResult::kNoMemory;
  PathText next;
  while (pending.Pop(next)) {
    FolderIdentity identity;
    bool memory = true;
    // A folder that cannot be identified is still walked; the path limit bounds any loop.
    if (files.IdentifyFolder(next, &identity) && SeenBefore(visited, identity, &memory)) continue;
    if (!memory) return WalkResult::kNoMemory;
    // A file system without locks is walked all the same: the lock only keeps calls apart.
    FolderLock lock;
    if (HoldFolder(files, next, lock) == LockResult::kBusy) {
      visitor.Skipped(next, FolderTrouble::kHeld);
      continue;
    }
    const ListResult listed = files.ListFolder(next, listing);
    if (listed == ListResult::kNoMemory) return WalkResult::kNoMemory;
    if (listed != ListResult::kDone) {
      visitor.Skipped(next, FolderTrouble::kCannotList);
      continue;
    }
    visitor.Visit(next, listing);
    lock.reset();
    const std::size_t units = PathUnits(next);
    for (std::size_t i = 0; i < listing.size(); ++i) {
      if (listing.kind(i) != EntryKind::kFolder || !SubfolderFits(units, listing.name(i))) continue;
      // `dir` is free once the root is pushed: the child's path is made there.
      if (!dir.Assign(next) || !dir.Append(listing.name(i)) || !dir.Append(separator)) continue;
      if (!pending.Push(dir)) return WalkResult::kNoMemory;
    }
  }
  return WalkResult::kDone;
}

}  // namespace setupext
