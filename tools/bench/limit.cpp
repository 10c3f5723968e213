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

// ---- the file calls, in the module's order; keep in step with the module ----

// One page: create the output, open the page, read it to the end writing each block, close
// both, delete the page.
bool CopyPage(const std::string& page, const std::string& output, bool durable, char* buffer) {
  const raw::File out = raw::CreateNew(output);
  if (out == raw::kNone) return false;
  const raw::File in = raw::OpenForReading(page);
  if (in == raw::kNone) {
    raw::Close(out);
    return false;
  }
  std::ptrdiff_t got;
  bool ok = true;
  while ((got = raw::Read(in, buffer, kBlock)) > 0) ok = raw::Write(out, buffer, static_cast<std::size_t>(got)) && ok;
  if (durable) ok = raw::Flush(out) && ok;
  ok = raw::Close(in) && ok;
  ok = raw::Close(out) && ok;
  return ok && got == 0 && raw::Remove(page);
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
    if (entry.is_folder) Walk(dir + entry.name + raw::Separator(), step, seen);
}

void ForEachFolder(std::string root, const FolderStep& step) {
  if (root.empty()) return;
  if (root.back() != raw::Separator()) root += raw::Separator();
  std::set<std::pair<std::uint64_t, std::uint64_t>> seen;
  Walk(root, step, seen);
}

}  // namespace

LimitCounts LimitTree(const std::string& root, bool durable) {
  LimitCounts counts;
  const std::unique_ptr<char[]> buffer(new char[kBlock]);
  ForEachFolder(root, [&](const std::string& dir, const std::vector<raw::Entry>& entries) {
    for (const raw::Entry& entry : entries)
      if (!entry.is_folder && Contains(entry.name, ".pag") &&
          CopyPage(dir + entry.name, dir + WithExtension(entry.name, ".tmp"), durable, buffer.get()))
        ++counts.pages;
  });
  // The commit pass: every output takes its page's name, never replacing a file.
  ForEachFolder(root, [&](const std::string& dir, const std::vector<raw::Entry>& entries) {
    for (const raw::Entry& entry : entries)
      if (!entry.is_folder && Contains(entry.name, ".tmp") &&
          raw::MoveNoReplace(dir + entry.name, dir + WithExtension(entry.name, ".pag")))
        ++counts.moved;
  });
  return counts;
}

}  // namespace setupext
