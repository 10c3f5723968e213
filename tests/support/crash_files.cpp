#include "support/crash_files.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <type_traits>

namespace setupext::testing {
namespace {

std::string WithoutSeparator(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

// A handle that is only a number: descriptors are, Windows handles are pointers.
template <typename Handle>
Handle HandleNumbered(int number) {
  if constexpr (std::is_pointer_v<Handle>) return reinterpret_cast<Handle>(static_cast<std::intptr_t>(number));
  else return static_cast<Handle>(number);
}

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

bool CrashFiles::Exists(const std::string& path) const {
  if (live_.count(path) || folders_.count(path)) return true;
  if (facts_.case_sensitive || tells_case_) return false;
  const auto folded = [](std::string text) {
    for (char& c : text) c = c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
    return text;
  };
  const std::string key = folded(path);
  for (const auto& [name, data] : live_) {
    if (folded(name) == key) return true;
  }
  for (const auto& [name, identity] : folders_) {
    if (folded(name) == key) return true;
  }
  return false;
}

FolderOpen CrashFiles::OpenFolder(std::string_view view, std::uint64_t expected_index, File& folder,
                                  FolderFacts& facts) noexcept {
  const std::string path = WithoutSeparator(std::string(view));
  const auto found = folders_.find(path);
  if (Stopped() || found == folders_.end()) return FolderOpen::kFailed;
  if (expected_index != 0 && expected_index != found->second) return FolderOpen::kChanged;
  facts = facts_;
  facts.identity = {1, found->second};
  const NativeFile handle = HandleNumbered<NativeFile>(next_handle_++);
  open_folders_[handle] = path;
  folder = File(FileRef{this, handle});
  return FolderOpen::kDone;
}

CrashFiles::OpenFile* CrashFiles::Find(NativeFile file) {
  const auto found = open_.find(file);
  return found == open_.end() ? nullptr : &found->second;
}

Opened CrashFiles::Open(const std::shared_ptr<Data>& data, bool writing, const std::string& path) {
  const NativeFile handle = HandleNumbered<NativeFile>(next_handle_++);
  open_[handle] = {data, writing, FolderOf(path)};
  return {File(FileRef{this, handle}), FileResult::kDone};
}

void CrashFiles::Kill() {
  journal_.clear();
  open_.clear();
  durable_ = live_;
  for (auto& [path, data] : live_) data->durable = data->live;
  calls_ = 0;
  cut_after_ = -1;
}

Opened CrashFiles::CreateNew(NativeFile, std::string_view view) noexcept {
  const std::string path(view);
  if (Stopped() || !HasFolderOf(path)) return {};
  if (Exists(path)) return {File(), FileResult::kExists};
  if (RefusesName(path)) return {};
  auto data = std::make_shared<Data>();
  data->made = true;
  Change({"", path, data});
  return Open(data, true, path);
}

Opened CrashFiles::OpenPage(NativeFile, std::string_view view, std::uint64_t* size) noexcept {
  const std::string path(view);
  if (Stopped() || !live_.count(path)) return {};
  *size = live_[path]->live.size();
  return Open(live_[path], false, path);
}

std::ptrdiff_t CrashFiles::ReadAt(NativeFile file, std::uint64_t offset, void* buffer, std::size_t size) noexcept {
  OpenFile* open = Stopped() ? nullptr : Find(file);
  if (!open || open->writing) return -1;
  const std::string& text = open->data->live;
  const std::size_t at = std::min(static_cast<std::size_t>(offset), text.size());
  const std::size_t take = std::min({size, kReadSize, text.size() - at});
  if (take > 0) std::memcpy(buffer, text.data() + at, take);
  return static_cast<std::ptrdiff_t>(take);
}

FileResult CrashFiles::CheckPlainFile(NativeFile, std::string_view view) noexcept {
  const std::string path(view);
  if (Stopped()) return FileResult::kFailed;
  if (folders_.count(path)) return FileResult::kNotPlain;
  return live_.count(path) ? FileResult::kDone : FileResult::kFailed;
}

bool CrashFiles::Write(NativeFile file, const void* data, std::size_t size) noexcept {
  OpenFile* open = Stopped() ? nullptr : Find(file);
  if (!open || !open->writing || Refuses(open->folder, kFull)) return false;
  open->data->live.append(static_cast<const char*>(data), size);
  return true;
}

bool CrashFiles::Flush(NativeFile file) noexcept {
  OpenFile* open = Stopped() ? nullptr : Find(file);
  if (!open) return false;
  open->data->durable = open->data->live;
  return true;
}

// A stopped machine closes nothing, but the handle is gone for the caller either way.
bool CrashFiles::Close(NativeFile file) noexcept {
  const bool stopped = Stopped();
  if (open_folders_.erase(file) > 0) return !stopped;
  return open_.erase(file) > 0 && !stopped;
}

PageDeletion CrashFiles::DeletePage(File page, const FileStamp&, NativeFile, std::string_view view, std::string_view) noexcept {
  const std::string path(view);
  if (Stopped()) return PageDeletion::kKept;
  const OpenFile* open = Find(page.get().native);
  const bool same = open && !open->writing && live_.count(path) && live_[path] == open->data && !RefusesRemoval(path);
  page.reset();
  if (!same) return PageDeletion::kKept;
  Change({path, "", nullptr});
  return PageDeletion::kGone;
}

FileResult CrashFiles::RenameNew(NativeFile file, NativeFile at, std::string_view from, std::string_view to) noexcept {
  const OpenFile* open = Find(file);
  if (!open || !live_.count(std::string(from)) || live_[std::string(from)] != open->data) return FileResult::kFailed;
  return MoveNoReplace(at, from, to);
}

bool CrashFiles::DeleteNew(File file, NativeFile, std::string_view view) noexcept {
  const std::string path(view);
  const OpenFile* open = Find(file.get().native);
  const bool same = open && live_.count(path) && live_[path] == open->data && !RefusesRemoval(path);
  file.reset();
  if (Stopped() || !same) return false;
  Change({path, "", nullptr});
  return true;
}

bool CrashFiles::SyncFolder(NativeFile handle) noexcept {
  const auto open = open_folders_.find(handle);
  if (Stopped() || open == open_folders_.end()) return false;
  // The journal keeps names in order: what the folder's last change needs is durable with it.
  const std::string folder = open->second;
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

FileResult CrashFiles::Remove(NativeFile, std::string_view view) noexcept {
  const std::string path(view);
  if (Stopped() || !live_.count(path) || RefusesRemoval(path)) return FileResult::kFailed;
  Change({path, "", nullptr});
  return FileResult::kDone;
}

FileResult CrashFiles::MoveNoReplace(NativeFile, std::string_view from_view, std::string_view to_view) noexcept {
  const std::string from(from_view), to(to_view);
  if (Stopped() || !live_.count(from) || !HasFolderOf(to)) return FileResult::kFailed;
  if (Exists(to)) return FileResult::kExists;
  if (RefusesName(to) || RefusesRemoval(from)) return FileResult::kFailed;
  Change({from, to, nullptr});
  return FileResult::kDone;
}

ListResult CrashFiles::ListFolder(NativeFile, std::string_view folder, Listing& entries) noexcept {
  const std::string dir = WithoutSeparator(std::string(folder));
  if (Stopped() || !folders_.count(dir)) return ListResult::kFailed;
  struct Found {
    std::string name;
    EntryKind kind;
    std::uint64_t index;
    bool operator<(const Found& other) const { return name < other.name; }
  };
  std::vector<Found> found;
  for (const auto& [path, identity] : folders_) {
    if (path != dir && FolderOf(path) == dir) found.push_back({path.substr(dir.size() + 1), EntryKind::kFolder, identity});
  }
  for (const auto& [path, data] : live_) {
    if (FolderOf(path) == dir) found.push_back({path.substr(dir.size() + 1), EntryKind::kFile, 0});
  }
  std::sort(found.begin(), found.end());
  entries.Clear();
  for (const Found& entry : found) {
    if (!entries.Add(entry.name, entry.kind, entry.index)) return ListResult::kNoMemory;
  }
  return ListResult::kDone;
}

bool CrashFiles::Refuses(const std::string& folder, unsigned refusal) const {
  const auto found = refusals_.find(folder);
  return found != refusals_.end() && (found->second & refusal) != 0;
}

bool CrashFiles::RefusesRemoval(const std::string& from) const {
  const auto found = live_.find(from);
  return Refuses(FolderOf(from), kNoRemoval) && found != live_.end() && !found->second->made;
}

Permission CrashFiles::MayCreate(NativeFile, std::string_view path) noexcept {
  if (Refuses(FolderOf(std::string(path)), kUntold)) return Permission::kUnknown;
  return RefusesName(std::string(path)) ? Permission::kNo : Permission::kYes;
}

Permission CrashFiles::MayRemove(NativeFile, std::string_view path) noexcept {
  if (Refuses(FolderOf(std::string(path)), kUntold)) return Permission::kUnknown;
  return RefusesRemoval(std::string(path)) ? Permission::kNo : Permission::kYes;
}

LockResult CrashFiles::LockFolder(NativeFile folder, FolderLock&) noexcept {
  const auto open = open_folders_.find(folder);
  return open != open_folders_.end() && Refuses(open->second, kHeld) ? LockResult::kBusy : LockResult::kHeld;
}

bool CrashFiles::RealFolderPath(std::string_view folder, PathText& real) noexcept {
  return !Stopped() && real.Assign(folder);
}

}  // namespace setupext::testing
