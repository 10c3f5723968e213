// The floor program: only the calls any program that replaces the pages must make. Outputs
// are moved in a second walk, once no page of the tree needs its name any more.
#include "floor.h"

#include <memory>
#include <string>
#include <vector>

#include "raw_files.h"

namespace setupext {
namespace {

constexpr std::size_t kBlock = 64 * 1024;
constexpr const char* kOutputSuffix = ".setupext-new";

bool EndsWith(const std::string& name, const std::string& end) {
  return name.size() >= end.size() && name.compare(name.size() - end.size(), end.size(), end) == 0;
}

template <typename Step>
void Walk(const std::string& dir, const Step& step) {
  std::vector<raw::Entry> entries;
  if (!raw::List(dir, &entries)) return;
  for (const raw::Entry& entry : entries) {
    if (entry.kind == raw::Kind::kFolder) Walk(dir + entry.name + raw::Separator(), step);
    else if (entry.kind == raw::Kind::kFile) step(dir + entry.name);
  }
}

bool CopyAndDelete(const std::string& page, char* buffer, Durability durability) {
  const raw::File in = raw::OpenToRead(page);
  if (in == raw::kNone) return false;
  const raw::File out = raw::CreateToWrite(page + kOutputSuffix);
  bool ok = out != raw::kNone;
  std::ptrdiff_t got = 0;
  while (ok && (got = raw::Read(in, buffer, kBlock)) > 0) ok = raw::Write(out, buffer, static_cast<std::size_t>(got));
  if (ok && got == 0 && durability == Durability::kFlushed) ok = raw::Flush(out);
  if (out != raw::kNone) ok = raw::Close(out) && ok;
  raw::Close(in);
  return ok && got == 0 && raw::DeleteByName(page);
}

}  // namespace

FloorCounts FloorTree(const std::string& root, Durability durability) {
  FloorCounts counts;
  std::string dir;
  if (root.empty() || !raw::RealFolder(root, &dir) || dir.empty()) return counts;
  if (dir.back() != raw::Separator()) dir += raw::Separator();
  const std::unique_ptr<char[]> buffer(new char[kBlock]);
  Walk(dir, [&](const std::string& path) {
    if (EndsWith(path, ".pag")) counts.pages += CopyAndDelete(path, buffer.get(), durability);
  });
  Walk(dir, [&](const std::string& path) {
    if (EndsWith(path, kOutputSuffix))
      counts.moved += raw::MoveByName(path, path.substr(0, path.size() - std::string(kOutputSuffix).size()));
  });
  return counts;
}

}  // namespace setupext
