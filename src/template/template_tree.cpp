#include "template/template_tree.h"

#include <map>
#include <set>
#include <unordered_set>
#include <vector>

#include "template/page_localiser.h"

namespace setupext {
namespace {

// A folder path with its separator, as the walk holds it.
constexpr std::size_t kMaxFolderLength = kMaxRootLength + 1;

constexpr std::string_view kPageMark = ".pag";
constexpr std::string_view kOutputMark = ".tmp";

bool Contains(std::string_view text, std::string_view part) { return text.find(part) != std::string_view::npos; }

// Output names of one folder that its pages must not take.
using BlockedNames = std::unordered_set<std::string>;

// What one pass does with the files of one folder. Plan() sees the whole listing before any
// entry is touched; Step() then handles one file.
class Pass {
 public:
  virtual ~Pass() = default;
  virtual BlockedNames Plan(const std::vector<DirectoryEntry>& entries) const = 0;
  virtual void Step(const std::string& dir, const DirectoryEntry& file, const BlockedNames& blocked) = 0;
};

// Depth first, entries in the platform's order. Each folder is listed whole before its entries
// are handled, so a pass never meets a file it made itself, and each real folder is entered
// once, so links that lead back into the tree are harmless.
class TreeWalk {
 public:
  TreeWalk(Files& files, Pass& pass) : files_(files), pass_(pass) {}

  void Run(const std::string& folder) {
    if (folder.empty()) return;
    std::string dir = folder;
    if (dir.back() != PathSeparator()) dir += PathSeparator();
    if (dir.size() <= kMaxFolderLength) Walk(dir);
  }

 private:
  void Walk(const std::string& dir) {
    FolderIdentity identity;
    // A folder that cannot be identified is still walked; the path limit bounds any loop.
    if (files_.IdentifyFolder(dir, &identity) && !visited_.insert(identity).second) return;
    std::vector<DirectoryEntry> entries;
    if (!files_.ListFolder(dir, &entries)) return;
    const BlockedNames blocked = pass_.Plan(entries);
    for (const DirectoryEntry& entry : entries) {
      if (dir.size() + entry.name.size() > kMaxPathLength) continue;
      if (!entry.is_directory) {
        pass_.Step(dir, entry, blocked);
      } else if (dir.size() + entry.name.size() + 1 <= kMaxFolderLength) {
        Walk(dir + entry.name + PathSeparator());
      }
    }
  }

  Files& files_;
  Pass& pass_;
  std::set<FolderIdentity> visited_;
};

class LocalisePass final : public Pass {
 public:
  explicit LocalisePass(Files& files) : files_(files) {}

  BlockedNames Plan(const std::vector<DirectoryEntry>& entries) const override {
    std::unordered_set<std::string> taken;
    std::map<std::string, int> claims;
    for (const DirectoryEntry& entry : entries) {
      taken.insert(entry.name);
      if (IsPage(entry)) ++claims[ReplaceExtension(entry.name, kOutputMark)];
    }
    // An output name that another entry holds, or that two pages would share, would cost one of
    // them its text: those pages stay as they are.
    BlockedNames blocked;
    for (const auto& [output, count] : claims) {
      if (count > 1 || taken.count(output)) blocked.insert(output);
    }
    return blocked;
  }

  void Step(const std::string& dir, const DirectoryEntry& file, const BlockedNames& blocked) override {
    if (!IsPage(file)) return;
    std::string output = ReplaceExtension(file.name, kOutputMark);
    if (blocked.count(output) || dir.size() + output.size() > kMaxPathLength) return;
    if (LocalisePage(files_, dir + file.name, dir + output)) ++localised_;
  }

  std::size_t localised() const { return localised_; }

 private:
  static bool IsPage(const DirectoryEntry& entry) { return !entry.is_directory && Contains(entry.name, kPageMark); }

  Files& files_;
  std::size_t localised_ = 0;
};

class CommitPass final : public Pass {
 public:
  explicit CommitPass(Files& files) : files_(files) {}

  BlockedNames Plan(const std::vector<DirectoryEntry>&) const override { return {}; }

  void Step(const std::string& dir, const DirectoryEntry& file, const BlockedNames&) override {
    if (!Contains(file.name, kOutputMark)) return;
    std::string target = ReplaceExtension(file.name, kPageMark);
    if (dir.size() + target.size() > kMaxPathLength) return;
    if (files_.MoveNoReplace(dir + file.name, dir + target)) ++moved_;
  }

  std::size_t moved() const { return moved_; }

 private:
  Files& files_;
  std::size_t moved_ = 0;
};

}  // namespace

std::string ReplaceExtension(std::string_view name, std::string_view extension) {
  std::string result(name.substr(0, name.rfind('.')));
  return result.append(extension);
}

std::size_t LocaliseTree(Files& files, const std::string& folder) {
  LocalisePass pass(files);
  TreeWalk(files, pass).Run(folder);
  return pass.localised();
}

std::size_t CommitTree(Files& files, const std::string& folder) {
  CommitPass pass(files);
  TreeWalk(files, pass).Run(folder);
  return pass.moved();
}

}  // namespace setupext
