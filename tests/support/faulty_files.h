// The system's files with one chosen call made to fail, to check what every failure leaves.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <vector>

#include "platform/files.h"

namespace setupext::testing {

enum class FileCall { kCreate, kOpen, kRead, kWrite, kFlush, kClose, kDelete, kSync, kRemove, kMove, kList, kCount };

const char* FileCallName(FileCall call);

class FaultyFiles final : public Files {
 public:
  enum class Fault {
    kError,    // the call reports failure (a write first writes part of its bytes)
    kThrow,    // the call throws std::bad_alloc before doing anything; close and remove,
               // which run from destructors, fail as with kError instead
  };

  // Makes the nth call (from 1) of `call` fail from now on; 0 fails none. Persistent: that
  // call and every later one of its kind. Each kind of call has its own failure, so a
  // failure can be met in the cleanup of another.
  void FailNth(FileCall call, int nth, Fault fault = Fault::kError, bool persistent = false);
  int pauses() const { return pauses_; }
  int count(FileCall call) const { return counts_[static_cast<std::size_t>(call)]; }
  // True when the quiet error mode was set before the first file was created.
  bool quiet_before_create() const { return quiet_before_create_; }

  void SetQuietErrorMode() override;
  FileHandle CreateNew(const std::string& path) override;
  FileHandle OpenPage(const std::string& path) override;
  std::ptrdiff_t Read(FileHandle file, void* buffer, std::size_t size) override;
  bool Write(FileHandle file, const void* data, std::size_t size) override;
  bool Flush(FileHandle file) override;
  bool Close(FileHandle file) override;
  bool DeletePage(FileHandle page, const std::string& path) override;
  bool SyncFolderOf(const std::string& path) override;
  bool Remove(const std::string& path) override;
  MoveResult MoveNoReplace(const std::string& from, const std::string& to) override;
  bool ListFolder(const std::string& folder, std::vector<DirectoryEntry>* entries) override;
  bool IdentifyFolder(const std::string& folder, FolderIdentity* identity) override;
  bool RealFolderPath(const std::string& folder, std::string* real) override;
  void Pause(int milliseconds) override;

 private:
  // Counts the call; true when this one must fail (having thrown if so told).
  bool Fails(FileCall call);
  // Counts the call; true when it must fail. Never throws: for calls made from cleanup.
  bool FailsQuietly(FileCall call);

  Files& real_ = SystemFiles();
  struct Failure {
    int nth = 0;
    Fault fault = Fault::kError;
    bool persistent = false;
  };
  static constexpr std::size_t kCalls = static_cast<std::size_t>(FileCall::kCount);
  std::array<int, kCalls> counts_{};
  std::array<Failure, kCalls> failures_{};
  int pauses_ = 0;
  bool quiet_ = false;
  bool created_ = false;
  bool quiet_before_create_ = false;
};

}  // namespace setupext::testing
