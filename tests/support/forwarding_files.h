// A file layer that hands every call on to another: test doubles override only the calls they
// change.
#pragma once

#include <utility>

#include "platform/files.h"

namespace setupext::testing {

class ForwardingFiles : public Files {
 public:
  explicit ForwardingFiles(Files& real) : real_(real) {}

  void SetQuietErrorMode() noexcept override { real_.SetQuietErrorMode(); }
  FolderOpen OpenFolder(std::string_view path, std::uint64_t expected_index, File& folder,
                        FolderFacts& facts) noexcept override {
    return real_.OpenFolder(path, expected_index, folder, facts);
  }
  Opened CreateNew(NativeFile at, std::string_view path) noexcept override { return real_.CreateNew(at, path); }
  Opened OpenPage(NativeFile at, std::string_view path, std::uint64_t* size) noexcept override {
    return real_.OpenPage(at, path, size);
  }
  std::ptrdiff_t ReadAt(NativeFile file, std::uint64_t offset, void* buffer, std::size_t size) noexcept override {
    return real_.ReadAt(file, offset, buffer, size);
  }
  bool Write(NativeFile file, const void* data, std::size_t size) noexcept override { return real_.Write(file, data, size); }
  bool Flush(NativeFile file) noexcept override { return real_.Flush(file); }
  bool KeepAttributes(NativeFile file, const FileStamp& page) noexcept override { return real_.KeepAttributes(file, page); }
  bool Close(NativeFile file) noexcept override { return real_.Close(file); }
  PageDeletion DeletePage(File page, const FileStamp& stamp, NativeFile at, std::string_view path,
                          std::string_view aside) noexcept override {
    return real_.DeletePage(std::move(page), stamp, at, path, aside);
  }
  FileResult RenameNew(NativeFile file, NativeFile at, std::string_view from, std::string_view to) noexcept override {
    return real_.RenameNew(file, at, from, to);
  }
  bool DeleteNew(File file, NativeFile at, std::string_view path) noexcept override {
    return real_.DeleteNew(std::move(file), at, path);
  }
  FileResult CheckPlainFile(NativeFile at, std::string_view path) noexcept override { return real_.CheckPlainFile(at, path); }
  FileResult MoveNoReplace(NativeFile at, std::string_view from, std::string_view to) noexcept override {
    return real_.MoveNoReplace(at, from, to);
  }
  FileResult Remove(NativeFile at, std::string_view path) noexcept override { return real_.Remove(at, path); }
  Permission MayCreate(NativeFile at, std::string_view path) noexcept override { return real_.MayCreate(at, path); }
  Permission MayRemove(NativeFile at, std::string_view path) noexcept override { return real_.MayRemove(at, path); }
  bool SyncFolder(NativeFile folder) noexcept override { return real_.SyncFolder(folder); }
  LockResult LockFolder(NativeFile folder, FolderLock& lock) noexcept override { return real_.LockFolder(folder, lock); }
  ListResult ListFolder(NativeFile folder, std::string_view path, Listing& entries) noexcept override {
    return real_.ListFolder(folder, path, entries);
  }
  bool RealFolderPath(std::string_view folder, PathText& real) noexcept override { return real_.RealFolderPath(folder, real); }
  void Pause(int milliseconds) noexcept override { real_.Pause(milliseconds); }

 protected:
  ~ForwardingFiles() = default;
  Files& real_;
};

}  // namespace setupext::testing
