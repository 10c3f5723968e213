#include "support/faulty_files.h"

#include <new>

namespace setupext::testing {

const char* FileCallName(FileCall call) {
  switch (call) {
    case FileCall::kCreate: return "create";
    case FileCall::kOpen: return "open";
    case FileCall::kRead: return "read";
    case FileCall::kWrite: return "write";
    case FileCall::kFlush: return "flush";
    case FileCall::kClose: return "close";
    case FileCall::kDelete: return "delete";
    case FileCall::kSync: return "sync";
    case FileCall::kRemove: return "remove";
    case FileCall::kMove: return "move";
    case FileCall::kList: return "list";
    case FileCall::kCount: break;
  }
  return "?";
}

void FaultyFiles::FailNth(FileCall call, int nth, Fault fault, bool persistent) {
  failures_[static_cast<std::size_t>(call)] = {nth, fault, persistent};
}

bool FaultyFiles::FailsQuietly(FileCall call) {
  const int n = ++counts_[static_cast<std::size_t>(call)];
  const Failure& failure = failures_[static_cast<std::size_t>(call)];
  return failure.nth > 0 && (n == failure.nth || (failure.persistent && n > failure.nth));
}

bool FaultyFiles::Fails(FileCall call) {
  if (!FailsQuietly(call)) return false;
  if (failures_[static_cast<std::size_t>(call)].fault == Fault::kThrow) throw std::bad_alloc();
  return true;
}

void FaultyFiles::SetQuietErrorMode() {
  quiet_ = true;
  real_.SetQuietErrorMode();
}

FileHandle FaultyFiles::CreateNew(const std::string& path) {
  if (!created_) quiet_before_create_ = quiet_;
  created_ = true;
  if (Fails(FileCall::kCreate)) return kNoFile;
  return real_.CreateNew(path);
}

FileHandle FaultyFiles::OpenPage(const std::string& path) {
  if (Fails(FileCall::kOpen)) return kNoFile;
  return real_.OpenPage(path);
}

std::ptrdiff_t FaultyFiles::Read(FileHandle file, void* buffer, std::size_t size) {
  if (Fails(FileCall::kRead)) return -1;
  return real_.Read(file, buffer, size);
}

bool FaultyFiles::Write(FileHandle file, const void* data, std::size_t size) {
  if (Fails(FileCall::kWrite)) {
    // A full disk typically takes part of the bytes before it refuses the rest.
    real_.Write(file, data, size / 2);
    return false;
  }
  return real_.Write(file, data, size);
}

bool FaultyFiles::Flush(FileHandle file) {
  if (Fails(FileCall::kFlush)) return false;
  return real_.Flush(file);
}

bool FaultyFiles::Close(FileHandle file) {
  // A failed close still releases the handle, as on both platforms; it never throws, since
  // closes run from destructors.
  const bool closed = real_.Close(file);
  return !FailsQuietly(FileCall::kClose) && closed;
}

bool FaultyFiles::DeletePage(FileHandle page, const std::string& path) {
  // The handle is the callee's either way.
  if (FailsQuietly(FileCall::kDelete)) {
    real_.Close(page);
    if (failures_[static_cast<std::size_t>(FileCall::kDelete)].fault == Fault::kThrow) throw std::bad_alloc();
    return false;
  }
  return real_.DeletePage(page, path);
}

bool FaultyFiles::SyncFolderOf(const std::string& path) {
  // Needs no memory, so it never throws.
  if (FailsQuietly(FileCall::kSync)) return false;
  return real_.SyncFolderOf(path);
}

bool FaultyFiles::Remove(const std::string& path) {
  // Never throws either: removing an output is cleanup.
  if (FailsQuietly(FileCall::kRemove)) return false;
  return real_.Remove(path);
}

MoveResult FaultyFiles::MoveNoReplace(const std::string& from, const std::string& to) {
  // Moves need no memory, so they never throw; a failed one looks like a busy file.
  if (FailsQuietly(FileCall::kMove)) return MoveResult::kBusy;
  return real_.MoveNoReplace(from, to);
}

bool FaultyFiles::ListFolder(const std::string& folder, std::vector<DirectoryEntry>* entries) {
  if (Fails(FileCall::kList)) return false;
  return real_.ListFolder(folder, entries);
}

bool FaultyFiles::IdentifyFolder(const std::string& folder, FolderIdentity* identity) {
  return real_.IdentifyFolder(folder, identity);
}

bool FaultyFiles::RealFolderPath(const std::string& folder, std::string* real) {
  return real_.RealFolderPath(folder, real);
}

void FaultyFiles::Pause(int) { ++pauses_; }

}  // namespace setupext::testing
