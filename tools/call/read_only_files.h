// A file layer that only reads: what a call would do, carried out by the module's own
// executor without changing anything. Listings and reads pass through to the real files;
// names made, moved or freed go to an overlay that later calls of the same run see; what can
// be known without writing (a file held by another program, a link, a second name, a FIFO)
// is asked of the real files.
#pragma once

#include <map>
#include <memory>
#include <set>
#include <string>
#include <string_view>

#include "platform/files.h"

namespace setupext {

class ReadOnlyFiles final : public Files {
 public:
  explicit ReadOnlyFiles(Files& real);
  ~ReadOnlyFiles();

  void SetQuietErrorMode() noexcept override {}
  FolderOpen OpenFolder(std::string_view path, std::uint64_t expected_index, File& folder,
                        FolderFacts& facts) noexcept override;
  Opened CreateNew(NativeFile at, std::string_view path) noexcept override;
  Opened OpenPage(NativeFile at, std::string_view path, std::uint64_t* size) noexcept override;
  std::ptrdiff_t ReadAt(NativeFile file, std::uint64_t offset, void* buffer, std::size_t size) noexcept override;
  bool Write(NativeFile file, const void* data, std::size_t size) noexcept override;
  bool Flush(NativeFile) noexcept override { return true; }
  bool KeepAttributes(NativeFile, const FileStamp&) noexcept override { return true; }
  bool Close(NativeFile file) noexcept override;
  PageDeletion DeletePage(File page, const FileStamp& stamp, NativeFile at, std::string_view path,
                          std::string_view aside) noexcept override;
  FileResult RenameNew(NativeFile file, NativeFile at, std::string_view from, std::string_view to) noexcept override;
  bool DeleteNew(File file, NativeFile at, std::string_view path) noexcept override;
  FileResult CheckPlainFile(NativeFile at, std::string_view path) noexcept override;
  FileResult MoveNoReplace(NativeFile at, std::string_view from, std::string_view to) noexcept override;
  FileResult Remove(NativeFile at, std::string_view path) noexcept override;
  Permission MayCreate(NativeFile at, std::string_view path) noexcept override { return real_.MayCreate(at, path); }
  Permission MayRemove(NativeFile at, std::string_view path) noexcept override { return real_.MayRemove(at, path); }
  bool SyncFolder(NativeFile) noexcept override { return true; }
  // Another call holding the folder is seen as the call would see it; the lock is let go at
  // once.
  LockResult LockFolder(NativeFile folder, FolderLock&) noexcept override {
    FolderLock probe;
    return real_.LockFolder(folder, probe);
  }
  ListResult ListFolder(NativeFile folder, std::string_view path, Listing& entries) noexcept override;
  bool RealFolderPath(std::string_view folder, PathText& real) noexcept override { return real_.RealFolderPath(folder, real); }
  void Pause(int) noexcept override {}

  // The digest of bytes, taken piece by piece: FNV-1a over 64 bits, from kNoBytes.
  static constexpr std::uint64_t kNoBytes = 14695981039346656037ull;
  static std::uint64_t Digest(std::uint64_t digest, std::string_view bytes) noexcept {
    for (const char c : bytes) digest = (digest ^ static_cast<unsigned char>(c)) * 1099511628211ull;
    return digest;
  }

  // A name the run made: new bytes, or a real file that now goes by it. New bytes are kept
  // as their size and digest, never held: they are the translation of the real page read last
  // before the name was made, and are read by translating that page again.
  struct Made {
    std::uint64_t size = 0;
    std::uint64_t digest = kNoBytes;
    std::string real_path;  // not empty: the real file this name stands for
    std::string source;     // the real page the new bytes translate
    NativeFile folder = NoNativeFile();  // where `source` lies, open while its folder is worked
  };
  // What the run would have changed, by name key (the path itself where names keep their
  // case): the names made, and the real names freed.
  const std::map<std::string, Made>& made() const { return made_; }
  const std::set<std::string>& gone() const { return gone_; }

 private:
  class Replay;
  std::ptrdiff_t ReadMade(const std::string& key, const Made& made, std::uint64_t offset, char* buffer, std::size_t size);

  struct Handle {
    std::string key;  // of the name the bytes belong to
    bool writing = false;
  };

  // A path's key as its folder compares names.
  std::string Key(std::string_view path) const;
  bool Exists(NativeFile at, std::string_view path);
  // What the system would refuse the call, though nothing is written here.
  bool Refused(Permission permission) const { return permission == Permission::kNo; }
  Opened Wrap(Opened real);
  NativeFile NewHandle(std::string key, bool writing);

  Files& real_;
  // By folder path: as each folder was opened, or true where its listing holds two names one
  // case would make one, as the plan takes it.
  std::map<std::string, bool> case_sensitive_;
  std::map<std::string, Made> made_;  // by key
  std::set<std::string> gone_;        // keys of real names the run freed
  std::map<NativeFile, Handle> handles_;
  std::string last_page_;  // the real path of the page opened last, and the folder it lies in
  NativeFile last_folder_ = NoNativeFile();
  std::unique_ptr<Replay> replay_;  // the new bytes read last, made again
  int next_handle_ = 0;
};

}  // namespace setupext
