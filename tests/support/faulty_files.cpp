#include "support/faulty_files.h"

#include <utility>

#include "platform/system_error.h"

namespace setupext::testing {

const char* FileCallName(FileCall call) {
  switch (call) {
    case FileCall::kCreate: return "create";
    case FileCall::kOpen: return "open";
    case FileCall::kRead: return "read";
    case FileCall::kWrite: return "write";
    case FileCall::kFlush: return "flush";
    case FileCall::kClose: return "close";
    case FileCall::kDeletePage: return "delete page";
    case FileCall::kRename: return "rename output";
    case FileCall::kDeleteNew: return "delete output";
    case FileCall::kSync: return "sync";
    case FileCall::kRemove: return "remove";
    case FileCall::kMove: return "move";
    case FileCall::kList: return "list";
    case FileCall::kAttributes: return "keep attributes";
    case FileCall::kCheck: return "check";
    case FileCall::kLock: return "lock folder";
    case FileCall::kOpenFolder: return "open folder";
    case FileCall::kMayCreate: return "may create";
    case FileCall::kMayRemove: return "may remove";
    case FileCall::kCount: break;
  }
  return "?";
}

void FaultyFiles::FailNth(FileCall call, int nth, bool persistent) {
  failures_[static_cast<std::size_t>(call)] = {nth, persistent};
}

// A failure made here says so in the system's error number, as a real one would.
bool FaultyFiles::Fails(FileCall call) {
  const int n = ++counts_[static_cast<std::size_t>(call)];
  const Failure& failure = failures_[static_cast<std::size_t>(call)];
  const bool fails = failure.nth > 0 && (n == failure.nth || (failure.persistent && n > failure.nth));
  if (fails) SetLastSystemError(kInjectedError);
  return fails;
}

File FaultyFiles::Unwrapped(File file) {
  const FileRef ref = file.release();
  return File(FileRef{&SystemFiles(), ref.native});
}

void FaultyFiles::SetQuietErrorMode() noexcept {
  quiet_ = true;
  real_.SetQuietErrorMode();
}

FolderOpen FaultyFiles::OpenFolder(std::string_view path, std::uint64_t expected_index, File& folder,
                                   FolderFacts& facts) noexcept {
  if (Fails(FileCall::kOpenFolder)) return FolderOpen::kFailed;
  File real;
  const FolderOpen opened = real_.OpenFolder(path, expected_index, real, facts);
  if (unordered_) facts.names_in_order = false;
  if (opened == FolderOpen::kDone) folder = Wrapped(std::move(real));
  return opened;
}

Permission FaultyFiles::MayCreate(NativeFile at, std::string_view path) noexcept {
  if (Fails(FileCall::kMayCreate)) return Permission::kNo;
  return real_.MayCreate(at, path);
}

Permission FaultyFiles::MayRemove(NativeFile at, std::string_view path) noexcept {
  if (Fails(FileCall::kMayRemove)) return Permission::kNo;
  return real_.MayRemove(at, path);
}

Opened FaultyFiles::CreateNew(NativeFile at, std::string_view path) noexcept {
  if (!created_) quiet_before_create_ = quiet_;
  created_ = true;
  if (Fails(FileCall::kCreate)) return {};
  Opened opened = real_.CreateNew(at, path);
  return {Wrapped(std::move(opened.file)), opened.result};
}

Opened FaultyFiles::OpenPage(NativeFile at, std::string_view path, std::uint64_t* size) noexcept {
  if (Fails(FileCall::kOpen)) return {};
  Opened opened = real_.OpenPage(at, path, size);
  return {Wrapped(std::move(opened.file)), opened.result, opened.stamp};
}

std::ptrdiff_t FaultyFiles::ReadAt(NativeFile file, std::uint64_t offset, void* buffer, std::size_t size) noexcept {
  if (Fails(FileCall::kRead)) return -1;
  return real_.ReadAt(file, offset, buffer, size);
}

bool FaultyFiles::Write(NativeFile file, const void* data, std::size_t size) noexcept {
  if (Fails(FileCall::kWrite)) {
    // A full disk typically takes part of the bytes before it refuses the rest.
    (void)real_.Write(file, data, size / 2);
    return false;
  }
  return real_.Write(file, data, size);
}

bool FaultyFiles::Flush(NativeFile file) noexcept { return !Fails(FileCall::kFlush) && real_.Flush(file); }

bool FaultyFiles::KeepAttributes(NativeFile file, const FileStamp& page) noexcept {
  return !Fails(FileCall::kAttributes) && real_.KeepAttributes(file, page);
}

FileResult FaultyFiles::CheckPlainFile(NativeFile at, std::string_view path) noexcept {
  if (Fails(FileCall::kCheck)) return FileResult::kFailed;
  return real_.CheckPlainFile(at, path);
}

LockResult FaultyFiles::LockFolder(NativeFile folder, FolderLock& lock) noexcept {
  if (Fails(FileCall::kLock)) return LockResult::kFailed;
  return real_.LockFolder(folder, lock);
}

// A failed close still releases the handle, as on both platforms.
bool FaultyFiles::Close(NativeFile file) noexcept {
  const bool closed = real_.Close(file);
  return !Fails(FileCall::kClose) && closed;
}

PageDeletion FaultyFiles::DeletePage(File page, const FileStamp& stamp, NativeFile at, std::string_view path,
                                     std::string_view aside) noexcept {
  if (Fails(FileCall::kDeletePage)) return PageDeletion::kKept;  // the handle closes here
  return real_.DeletePage(Unwrapped(std::move(page)), stamp, at, path, aside);
}

FileResult FaultyFiles::RenameNew(NativeFile file, NativeFile at, std::string_view from, std::string_view to) noexcept {
  if (Fails(FileCall::kRename)) return FileResult::kFailed;
  return real_.RenameNew(file, at, from, to);
}

bool FaultyFiles::DeleteNew(File file, NativeFile at, std::string_view path) noexcept {
  if (Fails(FileCall::kDeleteNew)) return false;
  return real_.DeleteNew(Unwrapped(std::move(file)), at, path);
}

FileResult FaultyFiles::MoveNoReplace(NativeFile at, std::string_view from, std::string_view to) noexcept {
  if (Fails(FileCall::kMove)) return FileResult::kBusy;  // looks like a file held a while
  return real_.MoveNoReplace(at, from, to);
}

FileResult FaultyFiles::Remove(NativeFile at, std::string_view path) noexcept {
  if (Fails(FileCall::kRemove)) return FileResult::kFailed;
  return real_.Remove(at, path);
}

bool FaultyFiles::SyncFolder(NativeFile folder) noexcept {
  return !Fails(FileCall::kSync) && real_.SyncFolder(folder);
}

ListResult FaultyFiles::ListFolder(NativeFile folder, std::string_view path, Listing& entries) noexcept {
  if (Fails(FileCall::kList)) return ListResult::kFailed;
  return real_.ListFolder(folder, path, entries);
}

}  // namespace setupext::testing
