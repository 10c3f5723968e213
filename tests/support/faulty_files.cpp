#include "support/faulty_files.h"

#include <new>

namespace setupext::testing {

const char* FileCallName(FileCall call) {
  switch (call) {
    case FileCall::kCreate: return "create";
    case FileCall::kOpen: return "open";
    case FileCall::kRead: return "read";
    case FileCall::kWrite: return "write";
    case FileCall::kClose: return "close";
    case FileCall::kRemove: return "remove";
    case FileCall::kMove: return "move";
    case FileCall::kCount: break;
  }
  return "?";
}

void FaultyFiles::FailNth(FileCall call, int nth, Fault fault) {
  fail_call_ = call;
  fail_nth_ = nth;
  fault_ = fault;
}

bool FaultyFiles::Fails(FileCall call) {
  int n = ++counts_[static_cast<std::size_t>(call)];
  if (call != fail_call_ || n != fail_nth_) return false;
  if (fault_ == Fault::kThrow) throw std::bad_alloc();
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

bool FaultyFiles::Close(FileHandle file) {
  // A failed close still releases the handle, as on both platforms; it never throws, since
  // closes run from destructors.
  bool closed = real_.Close(file);
  int n = ++counts_[static_cast<std::size_t>(FileCall::kClose)];
  return closed && !(fail_call_ == FileCall::kClose && n == fail_nth_);
}

bool FaultyFiles::Remove(const std::string& path) {
  // Never throws either: removing an output is cleanup that runs from destructors.
  int n = ++counts_[static_cast<std::size_t>(FileCall::kRemove)];
  if (fail_call_ == FileCall::kRemove && n == fail_nth_) return false;
  return real_.Remove(path);
}

bool FaultyFiles::MoveNoReplace(const std::string& from, const std::string& to) {
  if (Fails(FileCall::kMove)) return false;
  return real_.MoveNoReplace(from, to);
}

bool FaultyFiles::ListFolder(const std::string& folder, std::vector<DirectoryEntry>* entries) {
  return real_.ListFolder(folder, entries);
}

bool FaultyFiles::IdentifyFolder(const std::string& folder, FolderIdentity* identity) {
  return real_.IdentifyFolder(folder, identity);
}

bool FaultyFiles::RealFolderPath(const std::string& folder, std::string* real) {
  return real_.RealFolderPath(folder, real);
}

}  // namespace setupext::testing
