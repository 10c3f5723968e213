// An in-memory file system whose power can be cut after any call, to check what the template
// passes leave on the disk at every point of a run. Its rules are those of a journalling file
// system, taken strictly:
// - Paths use '/', as the POSIX layer's do. Folders are made by the test and never change; each
//   has its own identity. RealFolderPath gives the path back as it is.
// - Data written to a file is volatile until Flush(file). A file's durable content is what it
//   held at its last Flush: nothing for a file never flushed.
// - Name operations (creating a file, moving, deleting a page, removing) change the live names
//   at once and are appended to a pending journal. SyncFolderOf(path) makes durable every
//   pending operation up to the last one in that folder (journals keep names in order).
// - At a power cut a prefix of the pending journal survives where journals keep names in
//   order; RebootKeeping lets any set of them survive, for file systems that do not.
// - CutAfter(n): every file call after the n-th fails, returning its failure value and
//   changing nothing, as if the machine had stopped (SetQuietErrorMode and Pause touch no file
//   and are not counted). Reboot(kept) then gives the durable state: the names as of the last
//   sync plus the first `kept` pending operations, each file holding its durable content.
// - A read returns at most kReadSize bytes, so a page of a few KB takes several reads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/files.h"
#include "support/temp_tree.h"

namespace setupext::testing {

class CrashFiles final : public Files {
 public:
  static constexpr std::size_t kReadSize = 1024;

  // A durable file, with every folder above it.
  void AddFile(const std::string& path, const std::string& bytes);
  void CutAfter(int calls) { cut_after_ = calls; }
  int calls() const { return calls_; }
  std::size_t pending() const { return journal_.size(); }
  void Reboot(std::size_t kept);
  // The same with any set of the pending operations surviving: bit i keeps the i-th.
  void RebootKeeping(std::uint64_t kept);
  // Every file below `root` by its path relative to it, as it is now.
  TreeSnapshot Snapshot(const std::string& root) const;

  void SetQuietErrorMode() override {}
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
  void Pause(int) override {}

 private:
  struct Data {
    std::string live, durable;
  };
  using Names = std::map<std::string, std::shared_ptr<Data>>;
  // A created file has `data` and no `from`; a move has both names; an unlink only `from`.
  struct NameChange {
    std::string from, to;
    std::shared_ptr<Data> data;
  };
  struct OpenFile {
    std::shared_ptr<Data> data;
    std::size_t offset = 0;
    bool writing = false;
  };

  // Counts the call; true once the power is cut.
  bool Stopped() { return ++calls_ > cut_after_ && cut_after_ >= 0; }
  static void Apply(Names& names, const NameChange& change);
  void Change(NameChange change);
  bool Exists(const std::string& path) const { return live_.count(path) || folders_.count(path); }
  bool HasFolderOf(const std::string& path) const;
  OpenFile* Find(FileHandle file);

  std::map<std::string, std::uint64_t> folders_;  // path without its separator -> identity
  Names live_, durable_;
  std::vector<NameChange> journal_;
  std::map<FileHandle, OpenFile> open_;
  FileHandle next_handle_ = 3;
  int calls_ = 0;
  int cut_after_ = -1;
};

}  // namespace setupext::testing
