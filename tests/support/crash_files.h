// An in-memory file system whose power can be cut after any call, to check what the template
// passes leave on the disk at every point of a run. Its rules are those of a journalling file
// system, taken strictly:
// - Paths use '/', as the POSIX layer's do. Folders are made by the test and never change; each
//   has its own identity. RealFolderPath gives the path back as it is. Every folder reports the
//   facts the test sets (SetFacts): names compared with or without case (ASCII letters), a
//   name limit, names kept in order or not.
// - Data written to a file is volatile until Flush(file). A file's durable content is what it
//   held at its last Flush: nothing for a file never flushed.
// - Name operations (creating a file, moving, deleting a page, removing) change the live names
//   at once and are appended to a pending journal. SyncFolderOf(path) makes durable every
//   pending operation up to the last one in that folder (journals keep names in order).
// - A killed process loses nothing the system has taken: Kill() keeps every name and all
//   data written, and closes the process's files.
// - At a power cut a prefix of the pending journal survives where journals keep names in
//   order; RebootKeeping lets any set of them survive, for file systems that do not.
// - CutAfter(n): every file call after the n-th fails, returning its failure value and
//   changing nothing, as if the machine had stopped (SetQuietErrorMode and Pause touch no file
//   and are not counted). Reboot(kept) then gives the durable state: the names as of the last
//   sync plus the first `kept` pending operations, each file holding its durable content.
// - A read returns at most kReadSize bytes, so a page of a few KB takes several reads.
// - A folder may refuse what the system would refuse the caller (Refuse): new names, the names
//   of files the call did not make (a folder not writable, or one whose sticky rule protects
//   others' files), its lock (another call holds it), or data (a full disk). MayCreate and
//   MayRemove tell the refusals of names, or answer kUnknown where the system cannot tell.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
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

  void Kill();

  // What a folder refuses, a set of these bits.
  enum Refusal : unsigned {
    kNoNewName = 1,     // no file created or moved into it
    kNoRemoval = 2,     // no name removed or moved away, but of files the calls made
    kHeld = 4,          // its lock is held by another call
    kFull = 8,          // every write fails: cannot be told in advance
    kUntold = 16,       // MayCreate and MayRemove answer kUnknown
  };
  // `folder` without its separator.
  void Refuse(const std::string& folder, unsigned refusals) { refusals_[folder] = refusals; }

  // The facts every folder reports (the identity aside): how names compare, their limit and
  // unit, whether names are kept in order, whether a name is freed at once.
  void SetFacts(const FolderFacts& facts) { facts_ = facts; }
  // Folders tell case apart whatever their facts say, as a case-sensitive folder on a volume
  // that reports none does: the only folders that may hold two names one case would make one.
  void TellCaseApart(bool tell) { tells_case_ = tell; }
  // A volume that keeps names in order: the module makes no folder syncs, and a power cut
  // keeps a prefix of the pending journal (Reboot), never another set.
  void SetNamesKeptInOrder(bool ordered) { facts_.names_in_order = ordered; }

  void SetQuietErrorMode() noexcept override {}
  FolderOpen OpenFolder(std::string_view path, std::uint64_t expected_index, File& folder,
                        FolderFacts& facts) noexcept override;
  Opened CreateNew(NativeFile at, std::string_view path) noexcept override;
  Opened OpenPage(NativeFile at, std::string_view path, std::uint64_t* size) noexcept override;
  std::ptrdiff_t ReadAt(NativeFile file, std::uint64_t offset, void* buffer, std::size_t size) noexcept override;
  bool Write(NativeFile file, const void* data, std::size_t size) noexcept override;
  bool Flush(NativeFile file) noexcept override;
  bool KeepAttributes(NativeFile file, const FileStamp&) noexcept override { return !Stopped() && Find(file); }
  FileResult CheckPlainFile(NativeFile at, std::string_view path) noexcept override;
  LockResult LockFolder(NativeFile folder, FolderLock&) noexcept override;
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
  bool RealFolderPath(std::string_view folder, PathText& real) noexcept override;
  void Pause(int) noexcept override {}

 private:
  struct Data {
    std::string live, durable;
    bool made = false;  // by a call, not by the test
  };
  using Names = std::map<std::string, std::shared_ptr<Data>>;
  // A created file has `data` and no `from`; a move has both names; an unlink only `from`.
  struct NameChange {
    std::string from, to;
    std::shared_ptr<Data> data;
  };
  struct OpenFile {
    std::shared_ptr<Data> data;
    bool writing = false;
    std::string folder;
  };

  // Counts the call; true once the power is cut.
  bool Stopped() { return ++calls_ > cut_after_ && cut_after_ >= 0; }
  static void Apply(Names& names, const NameChange& change);
  void Change(NameChange change);
  // Whether the name is taken, as the folder compares names.
  bool Exists(const std::string& path) const;
  bool HasFolderOf(const std::string& path) const;
  OpenFile* Find(NativeFile file);
  Opened Open(const std::shared_ptr<Data>& data, bool writing, const std::string& path);
  bool Refuses(const std::string& folder, unsigned refusal) const;
  // Whether the folder refuses a new name at `to`, or the removal of `from`'s name.
  bool RefusesName(const std::string& to) const { return Refuses(FolderOf(to), kNoNewName); }
  bool RefusesRemoval(const std::string& from) const;
  static std::string FolderOf(const std::string& path) { return path.substr(0, path.rfind('/')); }

  std::map<std::string, std::uint64_t> folders_;  // path without its separator -> identity
  Names live_, durable_;
  std::vector<NameChange> journal_;
  std::map<NativeFile, OpenFile> open_;
  std::map<NativeFile, std::string> open_folders_;  // handle -> path without its separator
  int next_handle_ = 3;
  int calls_ = 0;
  int cut_after_ = -1;
  FolderFacts facts_;
  bool tells_case_ = false;
  std::map<std::string, unsigned> refusals_;
};

}  // namespace setupext::testing
