// The system's files with one chosen call made to fail, to check what every failure leaves.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

#include "platform/files.h"

namespace setupext::testing {

enum class FileCall {
  kCreate, kOpen, kRead, kWrite, kFlush, kClose, kDeletePage, kRename, kDeleteNew, kSync, kRemove, kMove, kList,
  kAttributes, kCheck, kLock, kOpenFolder, kMayCreate, kMayRemove, kCount
};

const char* FileCallName(FileCall call);

class FaultyFiles final : public Files {
 public:
  // The system error number every failure made here leaves, as the thread's own.
  static constexpr std::uint32_t kInjectedError = 9999;
  static void SetLastSystemError(std::uint32_t error);
  // Makes the nth call (from 1) of `call` fail; 0 fails none. Persistent: that call and every
  // later one of its kind. Each kind of call has its own failure, so a failure can be met in
  // the cleanup of another.
  void FailNth(FileCall call, int nth, bool persistent = false);
  // Answers as a volume that does not keep names in order does (FAT, a share), so that the
  // folder syncs are made whatever volume the test runs on.
  void TakeNamesAsUnordered() { unordered_ = true; }
  int pauses() const { return pauses_; }
  int count(FileCall call) const { return counts_[static_cast<std::size_t>(call)]; }
  // True when the quiet error mode was set before the first file was created.
  bool quiet_before_create() const { return quiet_before_create_; }

  void SetQuietErrorMode() noexcept override;
  FolderOpen OpenFolder(std::string_view path, std::uint64_t expected_index, File& folder,
                        FolderFacts& facts) noexcept override;
  Opened CreateNew(NativeFile at, std::string_view path) noexcept override;
  Opened OpenPage(NativeFile at, std::string_view path, std::uint64_t* size) noexcept override;
  std::ptrdiff_t ReadAt(NativeFile file, std::uint64_t offset, void* buffer, std::size_t size) noexcept override;
  bool Write(NativeFile file, const void* data, std::size_t size) noexcept override;
  bool Flush(NativeFile file) noexcept override;
  bool KeepAttributes(NativeFile file, const FileStamp& page) noexcept override;
  FileResult CheckPlainFile(NativeFile at, std::string_view path) noexcept override;
  LockResult LockFolder(NativeFile folder, FolderLock& lock) noexcept override;
  bool Close(NativeFile file) noexcept override;
  PageDeletion DeletePage(File page, const FileStamp& stamp, NativeFile at, std::string_view path,
                          std::string_view aside) noexcept override;
  FileResult RenameNew(NativeFile file, NativeFile at, std::string_view from, std::string_view to) noexcept override;
  bool DeleteNew(File file, NativeFile at, std::string_view path) noexcept override;
  FileResult MoveNoReplace(NativeFile at, std::string_view from, std::string_view to) noexcept override;
  FileResult Remove(NativeFile at, std::string_view path) noexcept override;
  Permission MayCreate(NativeFile at, std::string_view path) noexcept override;
  Permission MayRemove(NativeFile at, std::string_view path) noexcept override;
  bool SyncFolder(NativeFile folder) noexcept override;
  ListResult ListFolder(NativeFile folder, std::string_view path, Listing& entries) noexcept override;
  bool RealFolderPath(std::string_view folder, PathText& real) noexcept override {
    return real_.RealFolderPath(folder, real);
  }
  void Pause(int) noexcept override { ++pauses_; }

 private:
  // Counts the call; true when this one must fail.
  bool Fails(FileCall call);
  // The real file's handle is handed on without its owner closing it through us.
  static File Unwrapped(File file);
  File Wrapped(File file) { return File(FileRef{this, file.release().native}); }

  Files& real_ = SystemFiles();
  struct Failure {
    int nth = 0;
    bool persistent = false;
  };
  static constexpr std::size_t kCalls = static_cast<std::size_t>(FileCall::kCount);
  std::array<int, kCalls> counts_{};
  std::array<Failure, kCalls> failures_{};
  int pauses_ = 0;
  bool quiet_ = false;
  bool unordered_ = false;
  bool created_ = false;
  bool quiet_before_create_ = false;
};

}  // namespace setupext::testing
