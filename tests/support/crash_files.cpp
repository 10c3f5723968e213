#include "support/crash_files.h"

#include <algorithm>
#include <cstring>

namespace setupext::testing {
namespace {

std::string WithoutSeparator(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

std::string FolderOf(const std::string& path) { return path.substr(0, path.rfind('/')); }

}  // namespace

void CrashFiles::AddFile(const std::string& path, const std::string& bytes) {
  for (std::string folder = FolderOf(path); !folder.empty(); folder = FolderOf(folder))
    folders_.emplace(folder, folders_.size() + 1);
  live_[path] = std::make_shared<Data>(Data{bytes, bytes});
  durable_[path] = live_[path];
}

void CrashFiles::Reboot(std::size_t kept) {
  std::uint64_t mask = 0;
  for (std::size_t i = 0; i < kept && i < 64; ++i) mask |= std::uint64_t{1} << i;
  RebootKeeping(mask);
}

void CrashFiles::RebootKeeping(std::uint64_t kept) {
  for (std::size_t i = 0; i < journal_.size() && i < 64; ++i) {
    const NameChange& change = journal_[i];
    // An operation on a name that did not survive did not happen either.
    if ((kept >> i & 1) && (change.data || durable_.count(change.from))) Apply(durable_, change);
  }
  journal_.clear();
  open_.clear();
  live_ = durable_;
  for (auto& [path, data] : live_) data->live = data->durable;
  calls_ = 0;
  cut_after_ = -1;
}

TreeSnapshot CrashFiles::Snapshot(const std::string& root) const {
  TreeSnapshot snapshot;
  const std::string prefix = WithoutSeparator(root) + '/';
  for (const auto& [path, data] : live_) {
    if (path.starts_with(prefix)) snapshot[path.substr(prefix.size())] = data->live;
  }
  return snapshot;
}

void CrashFiles::Apply(Names& names, const NameChange& change) {
  if (change.data) {
    names[change.to] = change.data;
  } else if (!change.to.empty()) {
    names[change.to] = names[change.from];
    names.erase(change.from);
  } else {
    names.erase(change.from);
  }
}

void CrashFiles::Change(NameChange change) {
  Apply(live_, change);
  journal_.push_back(std::move(change));
}

bool CrashFiles::HasFolderOf(const std::string& path) const { return folders_.count(FolderOf(path)) > 0; }

CrashFiles::OpenFile* CrashFiles::Find(FileHandle file) {
  const auto found = open_.find(file);
  return found == open_.end() ? nullptr : &found->second;
}

FileHandle CrashFiles::CreateNew(const std::string& path) {
  if (Stopped() || Exists(path) || !HasFolderOf(path)) return kNoFile;
  auto data = std::make_shared<Data>();
  Change({"", path, data});
  open_[next_handle_] = {data, 0, true};
  return next_handle_++;
}

FileHandle CrashFiles::OpenPage(const std::string& path) {
  if (Stopped() || !live_.count(path)) return kNoFile;
  open_[next_handle_] = {live_[path], 0, false};
  return next_handle_++;
}

std::ptrdiff_t CrashFiles::Read(FileHandle file, void* buffer, std::size_t size) {
  OpenFile* open = Stopped() ? nullptr : Find(file);
  if (!open || open->writing) return -1;
  const std::string& text = open->data->live;
  const std::size_t take = std::min({size, kReadSize, text.size() - std::min(open->offset, text.size())});
  if (take > 0) std::memcpy(buffer, text.data() + open->offset, take);
  open->offset += take;
  return static_cast<std::ptrdiff_t>(take);
}

bool CrashFiles::Write(FileHandle file, const void* data, std::size_t size) {
  OpenFile* open = Stopped() ? nullptr : Find(file);
  if (!open || !open->writing) return false;
  open->data->live.append(static_cast<const char*>(data), size);
  return true;
}

bool CrashFiles::Flush(FileHandle file) {
  OpenFile* open = Stopped() ? nullptr : Find(file);
  if (!open) return false;
  open->data->durable = open->data->live;
  return true;
}

bool CrashFiles::Close(FileHandle file) { return !Stopped() && open_.erase(file) > 0; }

bool CrashFiles::DeletePage(FileHandle page, const std::string& path) {
  if (Stopped()) return false;
  const OpenFile* open = Find(page);
  const bool same = open && !open->writing && live_.count(path) && live_[path] == open->data;
  open_.erase(page);
  if (!same) return false;
  Change({path, "", nullptr});
  return true;
}

bool CrashFiles::SyncFolderOf(const std::string& path) {
  if (Stopped()) return false;
  // The journal keeps names in order: what the folder's last change needs is durable with it.
  const std::string folder = FolderOf(path);
  std::size_t through = 0;
  for (std::size_t i = 0; i < journal_.size(); ++i) {
    const NameChange& change = journal_[i];
    if ((!change.from.empty() && FolderOf(change.from) == folder) || (!change.to.empty() && FolderOf(change.to) == folder))
      through = i + 1;
  }
  for (std::size_t i = 0; i < through; ++i) Apply(durable_, journal_[i]);
  journal_.erase(journal_.begin(), journal_.begin() + static_cast<std::ptrdiff_t>(through));
  return true;
}

bool CrashFiles::Remove(const std::string& path) {
  if (Stopped() || !live_.count(path)) return false;
  Change({path, "", nullptr});
  return true;
}

MoveResult CrashFiles::MoveNoReplace(const std::string& from, const std::string& to) {
  if (Stopped() || !live_.count(from) || !HasFolderOf(to)) return MoveResult::kFailed;
  if (Exists(to)) return MoveResult::kTargetExists;
  Change({from, to, nullptr});
  return MoveResult::kMoved;
}

bool CrashFiles::ListFolder(const std::string& folder, std::vector<DirectoryEntry>* entries) {
  const std::string dir = WithoutSeparator(folder);
  if (Stopped() || !folders_.count(dir)) return false;
  entries->clear();
  for (const auto& [path, identity] : folders_) {
    if (path != dir && FolderOf(path) == dir) entries->push_back({path.substr(dir.size() + 1), EntryKind::kFolder});
  }
  for (const auto& [path, data] : live_) {
    if (FolderOf(path) == dir) entries->push_back({path.substr(dir.size() + 1), EntryKind::kFile});
  }
  std::sort(entries->begin(), entries->end(), [](const auto& a, const auto& b) { return a.name < b.name; });
  return true;
}

bool CrashFiles::IdentifyFolder(const std::string& folder, FolderIdentity* identity) {
  const auto found = folders_.find(WithoutSeparator(folder));
  if (Stopped() || found == folders_.end()) return false;
  *identity = {1, found->second};
  return true;
}

bool CrashFiles::RealFolderPath(const std::string& folder, std::string* real) {
  if (Stopped()) return false;
  *real = folder;
  return true;
}

}  // namespace setupext::testing
