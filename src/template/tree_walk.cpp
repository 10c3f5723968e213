#include "template/tree_walk.h"

#include "platform/buffers.h"
#include "template/folder_plan.h"

namespace setupext {
namespace {

// A folder path with its separator, as the walk holds it.
constexpr std::size_t kMaxFolderLength = kMaxRootLength + 1;

// How a folder is taken: worked in, or only listed so that the pages left in a folder the
// call could not work in are counted.
enum class Mode : char { kWork = 'w', kCount = 'c' };

// Folders still to visit, each path followed by a NUL, its mode and, in hex digits, the index
// its parent's listing gave (digits, so no NUL but the path's end is ever stored).
class Worklist {
 public:
  [[nodiscard]] bool Push(std::string_view dir, std::uint64_t index, Mode mode) {
    char tail[1 + kDigits];
    tail[0] = static_cast<char>(mode);
    for (std::size_t i = kDigits; i > 0; --i, index >>= 4) tail[i] = "0123456789abcdef"[index & 15];
    return paths_.Append(dir) && paths_.Append(std::string_view("", 1)) && paths_.Append(std::string_view(tail, sizeof tail));
  }
  // Takes the last folder pushed into `dir`, with its index and mode.
  bool Pop(PathText& dir, std::uint64_t* index, Mode* mode) {
    constexpr std::size_t kTail = 1 + kDigits;
    while (!paths_.empty()) {
      const std::string_view tail = From(paths_.view(), paths_.size() - kTail);
      *mode = static_cast<Mode>(tail[0]);
      *index = 0;
      for (const char c : From(tail, 1)) *index = (*index << 4) | static_cast<std::uint64_t>(c <= '9' ? c - '0' : c - 'a' + 10);
      const std::string_view all = Part(paths_.view(), 0, paths_.size() - kTail - 1);
      const std::size_t before = all.rfind('\0');
      const std::size_t start = before == std::string_view::npos ? 0 : before + 1 + kTail;
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

// One walk: the folders still to visit, the folders seen, and the listing at hand.
class Walk {
 public:
  Walk(Files& files, FolderVisitor& visitor) : files_(files), visitor_(visitor) {}

  WalkResult Run(std::string_view root) {
    const char separator = PathSeparator();
    if (root.empty() || !files_.RealFolderPath(root, dir_) || dir_.empty()) return WalkResult::kNoRoot;
    if (dir_.back() != separator && !dir_.Append(separator)) return WalkResult::kNoRoot;
    if (PathUnits(dir_) > kMaxFolderLength) return WalkResult::kRootTooLong;
    if (!pending_.Push(dir_, 0, Mode::kWork)) return WalkResult::kNoMemory;
    std::uint64_t expected = 0;
    Mode mode = Mode::kWork;
    while (pending_.Pop(next_, &expected, &mode)) {
      const WalkResult taken = Take(expected, mode);
      if (taken != WalkResult::kDone) return taken;
    }
    return WalkResult::kDone;
  }

 private:
  // The folder `next_`: opened, held, listed, worked in (or only counted), its subfolders
  // pushed.
  WalkResult Take(std::uint64_t expected, Mode mode) {
    File folder;
    FolderFacts facts;
    const FolderOpen opened = files_.OpenFolder(next_, expected, folder, facts);
    if (opened != FolderOpen::kDone) {
      if (at_root_) return WalkResult::kNoRoot;
      visitor_.Skipped(next_, TroubleOf(opened));
      return WalkResult::kDone;
    }
    if (at_root_) root_volume_ = facts.identity.volume;
    at_root_ = false;
    if (facts.identity.volume != root_volume_) {
      visitor_.Skipped(next_, FolderTrouble::kOtherVolume);
      return WalkResult::kDone;
    }
    bool memory = true;
    if (SeenBefore(visited_, facts.identity, &memory)) return WalkResult::kDone;
    if (!memory) return WalkResult::kNoMemory;
    // A file system without locks is walked all the same: the lock only keeps calls apart.
    FolderLock lock;
    if (mode == Mode::kWork && HoldFolder(files_, folder.get().native, lock) == LockResult::kBusy) {
      visitor_.Skipped(next_, FolderTrouble::kHeld);
      mode = Mode::kCount;
    }
    const ListResult listed = files_.ListFolder(folder.get().native, next_, listing_);
    if (listed == ListResult::kNoMemory) return WalkResult::kNoMemory;
    if (listed != ListResult::kDone) {
      visitor_.Skipped(next_, FolderTrouble::kCannotList);
      return WalkResult::kDone;
    }
    if (mode == Mode::kWork) visitor_.Visit(next_, folder.get().native, facts, listing_);
    else visitor_.Unworked(next_, facts, listing_);
    lock.reset();
    folder.reset();
    return PushSubfolders(mode) ? WalkResult::kDone : WalkResult::kNoMemory;
  }

  // A subfolder over the path limit is not worked in; its pages are counted where its path
  // can still be held.
  bool PushSubfolders(Mode mode) {
    const std::size_t units = PathUnits(next_);
    const char separator = PathSeparator();
    for (std::size_t i = 0; i < listing_.size(); ++i) {
      if (listing_.kind(i) != EntryKind::kFolder) continue;
      const Mode taken = SubfolderFits(units, listing_.name(i)) ? mode : Mode::kCount;
      // `dir_` is free once the root is pushed: the child's path is made there.
      if (!dir_.Assign(next_) || !dir_.Append(listing_.name(i)) || !dir_.Append(separator)) {
        visitor_.Skipped(next_, FolderTrouble::kTooDeep);
        continue;
      }
      if (!pending_.Push(dir_, listing_.index(i), taken)) return false;
    }
    return true;
  }

  Files& files_;
  FolderVisitor& visitor_;
  Worklist pending_;
  GrowingArray<FolderIdentity> visited_;
  Listing listing_;
  PathText next_, dir_;
  std::uint64_t root_volume_ = 0;
  bool at_root_ = true;
};

}  // namespace

WalkResult WalkTree(Files& files, std::string_view root, FolderVisitor& visitor) noexcept {
  // Its two paths take kilobytes: the walk lives on the heap.
  const HeapObject<Walk> walk(files, visitor);
  return walk ? walk->Run(root) : WalkResult::kNoMemory;
}

}  // namespace setupext
