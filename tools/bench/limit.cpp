#include "limit.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <utility>
#include <vector>

#include "raw_files.h"

namespace setupext {
namespace {

// ---- the module's file calls, in its order (WalkTree, FolderLocaliser, PageWork::Prepare,
// Replace, FinishBatch in src/template); keep in step with them ----

constexpr std::size_t kBlock = 64 * 1024;  // the module's read size
constexpr std::size_t kMostPrepared = 64;  // pages of a folder held for one folder sync
constexpr const char* kOutputSuffix = ".setupext-new";
constexpr const char* kAsideSuffix = ".setupext-old";

std::string LastExtension(const std::string& name) {
  const std::size_t dot = name.rfind('.');
  return dot == std::string::npos ? std::string() : name.substr(dot);
}
bool IsPage(const std::string& name) { return LastExtension(name).starts_with(".pag"); }
bool IsStray(const std::string& name) { return LastExtension(name) == ".tmp"; }
std::string FinalName(const std::string& name) { return name.substr(0, name.rfind('.')) + ".pag"; }

using FolderStep = std::function<void(const std::string& dir, const std::vector<raw::Entry>& entries)>;

// The root resolved once; then folders from a stack, each identified once, listed whole and
// handed over before its subfolders are pushed.
void ForEachFolder(const std::string& root, const FolderStep& step) {
  std::string dir;
  if (root.empty() || !raw::RealFolder(root, &dir) || dir.empty()) return;
  if (dir.back() != raw::Separator()) dir += raw::Separator();
  std::set<std::pair<std::uint64_t, std::uint64_t>> seen;
  std::vector<std::string> pending{dir};
  std::vector<raw::Entry> entries;
  while (!pending.empty()) {
    const std::string next = std::move(pending.back());
    pending.pop_back();
    std::uint64_t volume = 0, index = 0;
    if (raw::Identify(next, &volume, &index) && !seen.insert({volume, index}).second) continue;
    entries.clear();
    if (!raw::List(next, &entries)) continue;
    step(next, entries);
    for (const raw::Entry& entry : entries)
      if (entry.kind == raw::Kind::kFolder) pending.push_back(next + entry.name + raw::Separator());
  }
}

struct Prepared {
  std::string name;
  raw::File page = raw::kNone;
  raw::File output = raw::kNone;
  raw::Stamp stamp = {};
};

class FolderCopier {
 public:
  FolderCopier(Durability durability, LimitCounts& counts)
      : durable_(durability == Durability::kAsModule), buffer_(new char[kBlock]), counts_(counts) {}

  void Visit(const std::string& dir, const std::vector<raw::Entry>& entries) {
    dir_ = dir;
    bool moved = false;
    for (const raw::Entry& entry : entries) {
      if (entry.kind != raw::Kind::kFile) continue;
      if (IsStray(entry.name)) moved |= MoveStray(entry.name);
      else if (IsPage(entry.name)) CopyPage(entry.name);
    }
    if (!held_.empty()) FinishBatch();
    if (moved) SyncFolder();
  }

 private:
  bool MoveStray(const std::string& name) {
    const bool moved = raw::MoveNoReplace(dir_ + name, dir_ + FinalName(name), durable_);
    counts_.moved += moved;
    return moved;
  }

  void CopyPage(const std::string& name) {
    Prepared prepared{name};
    if (!Prepare(prepared)) return;
    if (raw::KeepsNamesInOrder()) {
      const bool deleted = DeletePage(prepared);
      counts_.pages += deleted;
      if (deleted) RenameOutput(prepared);
      else raw::Close(prepared.output);
      return;
    }
    held_.push_back(std::move(prepared));
    if (held_.size() == kMostPrepared) FinishBatch();
  }

  // The page opened and checked, read up to the size the check gave, the output created new
  // with the first block and written, then flushed. Both stay open.
  bool Prepare(Prepared& p) {
    if (!quiet_) raw::QuietErrors(), quiet_ = true;
    std::uint64_t size = 0;
    p.page = raw::OpenPage(dir_ + p.name, &size, &p.stamp);
    if (p.page == raw::kNone) return false;
    bool ok = true;
    for (std::uint64_t read = 0; ok && read < size;) {
      const std::ptrdiff_t got = raw::Read(p.page, buffer_.get(), kBlock);
      if (got <= 0) {
        ok = got == 0;
        break;
      }
      read += static_cast<std::uint64_t>(got);
      if (p.output == raw::kNone) p.output = raw::CreateNew(dir_ + p.name + kOutputSuffix);
      ok = p.output != raw::kNone && raw::Write(p.output, buffer_.get(), static_cast<std::size_t>(got));
    }
    if (ok && p.output != raw::kNone && (!durable_ || raw::Flush(p.output))) return true;
    if (p.output != raw::kNone) raw::Close(p.output);
    raw::Close(p.page);
    return false;
  }

  bool DeletePage(Prepared& p) {
    const bool own_final = LastExtension(p.name) == ".pag";
    return raw::DeletePage(p.page, p.stamp, dir_ + p.name, own_final ? dir_ + p.name + kAsideSuffix : std::string());
  }

  void RenameOutput(Prepared& p) {
    if (raw::RenameNew(p.output, dir_ + p.name + kOutputSuffix, dir_ + FinalName(p.name))) ++counts_.moved;
    raw::Close(p.output);
  }

  // One folder sync puts the outputs' names on the disk before their pages go, one the
  // deletions before any output takes a name, one the renames.
  void FinishBatch() {
    const bool synced = SyncFolder();
    std::vector<bool> deleted(held_.size());
    for (std::size_t k = 0; k < held_.size(); ++k) {
      if (synced) deleted[k] = DeletePage(held_[k]);
      else raw::Close(held_[k].page);
      counts_.pages += deleted[k];
    }
    if (synced) SyncFolder();
    for (std::size_t k = 0; k < held_.size(); ++k) {
      if (deleted[k]) RenameOutput(held_[k]);
      else raw::Close(held_[k].output);
    }
    held_.clear();
    SyncFolder();
  }

  bool SyncFolder() { return !durable_ || raw::KeepsNamesInOrder() || raw::SyncFolder(dir_); }

  bool durable_;
  bool quiet_ = false;
  std::unique_ptr<char[]> buffer_;
  LimitCounts& counts_;
  std::string dir_;
  std::vector<Prepared> held_;
};

}  // namespace

LimitCounts LimitTree(const std::string& root, Durability durability) {
  LimitCounts counts;
  FolderCopier copier(durability, counts);
  ForEachFolder(root, [&](const std::string& dir, const std::vector<raw::Entry>& entries) { copier.Visit(dir, entries); });
  return counts;
}

}  // namespace setupext
