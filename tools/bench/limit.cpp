#include "limit.h"

#include <functional>
#include <memory>
#include <set>
#include <utility>
#include <vector>

#include "raw_files.h"

namespace setupext {
namespace {

constexpr std::size_t kBlock = 64 * 1024;  // the module's read size

bool Contains(const std::string& name, const char* part) { return name.find(part) != std::string::npos; }

std::string WithExtension(const std::string& name, const char* extension) {
  return name.substr(0, name.rfind('.')) + extension;
}

struct Move {
  std::string folder, from, to;
};

std::string FolderOf(const std::string& path) { return path.substr(0, path.rfind(raw::Separator()) + 1); }

// ---- the module's file calls, in its order (LocaliseInto, ForEachFolder, LocaliseTree,
// CommitPlanned, CommitTree); keep in step with them ----

// One page up to its deletion: create the output new, open the page (checked on its handle),
// read it to the end writing each block, flush and close the output. The page is returned
// still open, for its deletion through the handle.
raw::File CopyPage(const std::string& page, const std::string& output, bool flush, char* buffer) {
  raw::QuietErrors();
  const raw::File out = raw::CreateNew(output);
  if (out == raw::kNone) return raw::kNone;
  const raw::File in = raw::OpenPage(page);
  std::ptrdiff_t got = -1;
  bool ok = in != raw::kNone;
  while (ok && (got = raw::Read(in, buffer, kBlock)) > 0) ok = raw::Write(out, buffer, static_cast<std::size_t>(got));
  if (flush) ok = ok && raw::Flush(out);
  ok = raw::Close(out) && ok && got == 0;
  if (ok) return in;
  if (in != raw::kNone) raw::Close(in);
  return raw::kNone;
}

// Depth first: each folder identified once, listed whole, handed over, then its subfolders.
using FolderStep = std::function<void(const std::string& dir, const std::vector<raw::Entry>& entries)>;
void Walk(const std::string& dir, const FolderStep& step, std::set<std::pair<std::uint64_t, std::uint64_t>>& seen) {
  std::uint64_t volume = 0, index = 0;
  if (raw::Identify(dir, &volume, &index) && !seen.insert({volume, index}).second) return;
  std::vector<raw::Entry> entries;
  if (!raw::List(dir, &entries)) return;
  step(dir, entries);
  for (const raw::Entry& entry : entries)
    if (entry.kind == raw::Kind::kFolder) Walk(dir + entry.name + raw::Separator(), step, seen);
}

// The root is resolved once per walk.
void ForEachFolder(const std::string& root, const FolderStep& step) {
  std::string dir;
  if (root.empty() || !raw::RealFolder(root, &dir) || dir.empty()) return;
  if (dir.back() != raw::Separator()) dir += raw::Separator();
  std::set<std::pair<std::uint64_t, std::uint64_t>> seen;
  Walk(dir, step, seen);
}

// The pages of one folder: up to a batch of outputs closed and flushed, one folder sync,
// then their pages deleted (the module's HeldPages).
constexpr std::size_t kBatch = 64;

void DeleteHeld(std::vector<std::pair<raw::File, std::string>>& held, Durability durability, LimitCounts& counts) {
  if (held.empty()) return;
  const bool synced = durability == Durability::kNone || raw::SyncFolder(FolderOf(held.front().second));
  for (const auto& [in, page] : held) {
    if (synced && raw::DeletePage(in, page)) ++counts.pages;
    else if (!synced) raw::Close(in);
  }
  held.clear();
}

void LocaliseFolder(const std::string& dir, const std::vector<raw::Entry>& entries, Durability durability,
                    char* buffer, std::vector<Move>& moves, LimitCounts& counts) {
  std::vector<std::pair<raw::File, std::string>> held;
  for (const raw::Entry& entry : entries) {
    if (entry.kind != raw::Kind::kFile || !Contains(entry.name, ".pag")) continue;
    const std::string page = dir + entry.name;
    const raw::File in = CopyPage(page, dir + WithExtension(entry.name, ".tmp"), durability != Durability::kNone, buffer);
    if (in == raw::kNone) continue;
    moves.push_back({dir, dir + WithExtension(entry.name, ".tmp"), dir + WithExtension(entry.name, ".pag")});
    held.emplace_back(in, page);
    if (held.size() == kBatch) DeleteHeld(held, durability, counts);
  }
  DeleteHeld(held, durability, counts);
}

// The planned moves, one folder sync after the last move of each folder.
void CommitPlanned(const std::vector<Move>& moves, Durability durability, LimitCounts& counts) {
  for (std::size_t i = 0; i < moves.size(); ++i) {
    if (raw::MoveNoReplace(moves[i].from, moves[i].to, durability == Durability::kAsModule)) ++counts.moved;
    if (durability == Durability::kAsModule && (i + 1 == moves.size() || moves[i + 1].folder != moves[i].folder))
      raw::SyncFolder(moves[i].folder);
  }
}

}  // namespace

LimitCounts LimitTree(const std::string& root, Durability durability) {
  LimitCounts counts;
  const std::unique_ptr<char[]> buffer(new char[kBlock]);
  std::vector<Move> moves;
  ForEachFolder(root, [&](const std::string& dir, const std::vector<raw::Entry>& entries) {
    LocaliseFolder(dir, entries, durability, buffer.get(), moves, counts);
  });
  CommitPlanned(moves, durability, counts);
  // Then the walk that moves outputs left by an earlier call (none here).
  ForEachFolder(root, [&](const std::string& dir, const std::vector<raw::Entry>& entries) {
    for (const raw::Entry& entry : entries)
      if (entry.kind == raw::Kind::kFile && Contains(entry.name, ".tmp") &&
          raw::MoveNoReplace(dir + entry.name, dir + WithExtension(entry.name, ".pag"), durability != Durability::kNone))
        ++counts.moved;
  });
  return counts;
}

}  // namespace setupext
