#include "read_only_files.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "template/folder_plan.h"

namespace setupext {
namespace {

// A handle no real file has: descriptors are never negative, kernel handles are multiples of
// four.
template <typename Native>
Native FakeHandle(int number) {
  if constexpr (std::is_pointer_v<Native>) return reinterpret_cast<Native>(static_cast<std::intptr_t>(number) * 4 + 1);
  else return static_cast<Native>(-1000 - number);
}

}  // namespace

FolderOpen ReadOnlyFiles::OpenFolder(std::string_view path, std::uint64_t expected_index, File& folder,
                                     FolderFacts& facts) noexcept {
  const FolderOpen opened = real_.OpenFolder(path, expected_index, folder, facts);
  if (opened == FolderOpen::kDone) case_sensitive_[std::string(path)] = facts.case_sensitive;
  return opened;
}

ListResult ReadOnlyFiles::ListFolder(NativeFile folder, std::string_view path, Listing& entries) noexcept {
  const ListResult listed = real_.ListFolder(folder, path, entries);
  const auto facts = case_sensitive_.find(std::string(path));
  if (listed != ListResult::kDone || facts == case_sensitive_.end()) return listed;
  // Names are keyed as the plan compares them there.
  bool twins = false;
  if (!facts->second && ShowsCaseTwins(entries, &twins)) facts->second = twins;
  return listed;
}

std::string ReadOnlyFiles::Key(std::string_view path) const {
  const std::size_t separator = path.rfind(PathSeparator());
  const std::string_view folder = separator == std::string_view::npos ? std::string_view() : path.substr(0, separator + 1);
  const auto facts = case_sensitive_.find(std::string(folder));
  const bool sensitive = facts == case_sensitive_.end() || facts->second;
  ByteBuffer key;
  return AppendNameKey(path, sensitive, key) ? std::string(key.view()) : std::string(path);
}

bool ReadOnlyFiles::Exists(NativeFile at, std::string_view path) {
  const std::string key = Key(path);
  if (made_.count(key)) return true;
  if (gone_.count(key)) return false;
  return real_.CheckPlainFile(at, path) != FileResult::kFailed;
}

NativeFile ReadOnlyFiles::NewHandle(std::string key, bool writing) {
  const NativeFile handle = FakeHandle<NativeFile>(next_handle_++);
  handles_[handle] = {std::move(key), writing};
  return handle;
}

// A real file's handle, closed through this layer.
Opened ReadOnlyFiles::Wrap(Opened real) {
  if (real.result != FileResult::kDone) return real;
  real.file = File(FileRef{this, real.file.release().native});
  return real;
}

Opened ReadOnlyFiles::CreateNew(NativeFile at, std::string_view path) noexcept {
  if (Exists(at, path)) return {File(), FileResult::kExists};
  if (Refused(real_.MayCreate(at, path))) return {};
  const std::string key = Key(path);
  made_[key] = {};
  return {File(FileRef{this, NewHandle(key, true)}), FileResult::kDone};
}

Opened ReadOnlyFiles::OpenPage(NativeFile at, std::string_view path, std::uint64_t* size) noexcept {
  const std::string key = Key(path);
  const auto made = made_.find(key);
  if (made == made_.end()) return gone_.count(key) ? Opened{} : Wrap(real_.OpenPage(at, path, size));
  if (!made->second.real_path.empty()) return Wrap(real_.OpenPage(at, made->second.real_path, size));
  *size = made->second.bytes.size();
  Opened opened{File(FileRef{this, NewHandle(key, false)}), FileResult::kDone};
  opened.stamp.size = *size;
  return opened;
}

std::ptrdiff_t ReadOnlyFiles::ReadAt(NativeFile file, std::uint64_t offset, void* buffer, std::size_t size) noexcept {
  const auto handle = handles_.find(file);
  if (handle == handles_.end()) return real_.ReadAt(file, offset, buffer, size);
  const auto made = made_.find(handle->second.key);
  if (made == made_.end()) return -1;
  const std::string& bytes = made->second.bytes;
  if (offset >= bytes.size()) return 0;
  const std::size_t take = std::min<std::size_t>(size, bytes.size() - static_cast<std::size_t>(offset));
  std::memcpy(buffer, bytes.data() + offset, take);
  return static_cast<std::ptrdiff_t>(take);
}

bool ReadOnlyFiles::Write(NativeFile file, const void* data, std::size_t size) noexcept {
  const auto handle = handles_.find(file);
  if (handle == handles_.end() || !handle->second.writing) return false;
  made_[handle->second.key].bytes.append(static_cast<const char*>(data), size);
  return true;
}

bool ReadOnlyFiles::Close(NativeFile file) noexcept {
  if (handles_.erase(file)) return true;
  return real_.Close(file);
}

PageDeletion ReadOnlyFiles::DeletePage(File page, const FileStamp&, NativeFile at, std::string_view path,
                                       std::string_view) noexcept {
  page.reset();
  const std::string key = Key(path);
  if (!made_.count(key) && Refused(real_.MayRemove(at, path))) return PageDeletion::kKept;
  if (!made_.erase(key)) gone_.insert(key);
  return PageDeletion::kGone;
}

FileResult ReadOnlyFiles::RenameNew(NativeFile file, NativeFile at, std::string_view, std::string_view to) noexcept {
  const auto handle = handles_.find(file);
  if (handle == handles_.end()) return FileResult::kFailed;
  if (Exists(at, to)) return FileResult::kExists;
  const std::string key = Key(to);
  made_[key] = std::move(made_[handle->second.key]);
  made_.erase(handle->second.key);
  handle->second.key = key;
  return FileResult::kDone;
}

bool ReadOnlyFiles::DeleteNew(File file, NativeFile, std::string_view path) noexcept {
  file.reset();
  return made_.erase(Key(path)) > 0;
}

FileResult ReadOnlyFiles::CheckPlainFile(NativeFile at, std::string_view path) noexcept {
  const std::string key = Key(path);
  const auto made = made_.find(key);
  if (made != made_.end())
    return made->second.real_path.empty() ? FileResult::kDone : real_.CheckPlainFile(at, made->second.real_path);
  return gone_.count(key) ? FileResult::kFailed : real_.CheckPlainFile(at, path);
}

FileResult ReadOnlyFiles::MoveNoReplace(NativeFile at, std::string_view from, std::string_view to) noexcept {
  const FileResult plain = CheckPlainFile(at, from);
  if (plain != FileResult::kDone) return plain;
  if (Exists(at, to)) return FileResult::kExists;
  const std::string source = Key(from);
  // A move makes a name as a creation does, and frees one as a removal does.
  if (Refused(real_.MayCreate(at, to)) || (!made_.count(source) && Refused(real_.MayRemove(at, from))))
    return FileResult::kFailed;
  Made moved;
  if (const auto made = made_.find(source); made != made_.end()) {
    moved = std::move(made->second);
    made_.erase(made);
  } else {
    moved.real_path = std::string(from);
    gone_.insert(source);
  }
  made_[Key(to)] = std::move(moved);
  return FileResult::kDone;
}

FileResult ReadOnlyFiles::Remove(NativeFile at, std::string_view path) noexcept {
  const FileResult plain = CheckPlainFile(at, path);
  if (plain != FileResult::kDone) return plain;
  const std::string key = Key(path);
  if (!made_.count(key) && Refused(real_.MayRemove(at, path))) return FileResult::kFailed;
  if (!made_.erase(key)) gone_.insert(key);
  return FileResult::kDone;
}

}  // namespace setupext
