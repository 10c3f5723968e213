#include "template/template_tree.h"

#include <functional>
#include <map>
#include <set>
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

// Output names that a page of this folder must not take: one another entry holds, or one that
// two pages would share, would cost one of them its text.
std::unordered_set<std::string> BlockedOutputs(const std::vector<DirectoryEntry>& entries) {
  std::unordered_set<std::string> taken;
  std::map<std::string, int> claims;
  for (const DirectoryEntry& entry : entries) {
    taken.insert(entry.name);
    if (IsPage(entry)) ++claims[ReplaceExtension(entry.name, kOutputMark)];
  }
  std::unordered_set<std::string> blocked;
  for (const auto& [output, count] : claims) {
    if (count > 1 || taken.count(output)) blocked.insert(output);
  }
  return blocked;
}

}  // namespace

std::string ReplaceExtension(std::string_view name, std::string_view extension) {
  std::string result(name.substr(0, name.rfind('.')));
  return result.append(extension);
}

std::size_t LocaliseTree(Files& files, const std::string& folder) {
  std::size_t localised = 0;
  ForEachFolder(files, folder, [&](const std::string& dir, const std::vector<DirectoryEntry>& entries) {
    const std::unordered_set<std::string> blocked = BlockedOutputs(entries);
    for (const DirectoryEntry& entry : entries) {
      if (!IsPage(entry) || !FitsPath(dir, entry.name)) continue;
      const std::string output = ReplaceExtension(entry.name, kOutputMark);
      if (blocked.count(output) || !FitsPath(dir, output)) continue;
      if (LocalisePage(files, dir + entry.name, dir + output)) ++localised;
    }
  });
  return localised;
}

std::size_t CommitTree(Files& files, const std::string& folder) {
  std::size_t moved = 0;
  ForEachFolder(files, folder, [&](const std::string& dir, const std::vector<DirectoryEntry>& entries) {
    for (const DirectoryEntry& entry : entries) {
      if (!IsFile(entry) || !Contains(entry.name, kOutputMark) || !FitsPath(dir, entry.name)) continue;
      const std::string target = ReplaceExtension(entry.name, kPageMark);
      if (FitsPath(dir, target) && files.MoveNoReplace(dir + entry.name, dir + target)) ++moved;
    }
  });
  return moved;
}

}  // namespace setupext
