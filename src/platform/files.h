// Files and folders as the template passes need them. The interface is narrow on purpose:
// tests wrap it to make any single call fail and check that no page text is lost.
#pragma once

#include <compare>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/native_handle.h"

namespace setupext {

// The separator of the target's paths: '\\' on Windows, '/' elsewhere.
char PathSeparator();

// Paths here are byte text: on Windows UTF-8 (unpaired surrogates of a name kept as their
// three-byte forms, so every name the system can hold comes through), elsewhere the bytes the
// system uses. Names are never converted back to the ANSI code page.

// A folder named by the host in its ANSI code page, as this layer's absolute path. Nothing
// when the text does not convert (or is empty): then nothing must be touched.
std::optional<std::string> FolderFromHostText(std::string_view text);

// The length of a path as the system counts it: UTF-16 units on Windows, bytes elsewhere.
std::size_t PathUnits(std::string_view path);

using FileHandle = NativeFile;
inline const FileHandle kNoFile = NoNativeFile();

// Links (junctions, symbolic links, mount points) are never entered, read, moved or deleted
// below the folder the host names: they may lead anywhere.
enum class EntryKind { kFile, kFolder, kLink };

struct DirectoryEntry {
  std::string name;
  EntryKind kind = EntryKind::kFile;
};

// What a move did. A busy file (held by a scanner, an indexer, a backup) may move later.
enum class MoveResult { kMoved, kTargetExists, kBusy, kFailed };

// What makes a folder the same folder whatever path leads to it.
struct FolderIdentity {
  std::uint64_t volume = 0;
  std::uint64_t index = 0;
  auto operator<=>(const FolderIdentity&) const = default;
};

class Files {
 public:
  virtual ~Files() = default;

  // Lets a missing disk fail the call instead of raising a system dialog. Never restored.
  virtual void SetQuietErrorMode() = 0;
  // Creates a new file for writing; fails (kNoFile) when the name is taken.
  virtual FileHandle CreateNew(const std::string& path) = 0;
  // Opens a page for reading without following links. Only a regular file with exactly one
  // name, reached by this very path, is opened: a second name would keep the old text, and a
  // file reached through a link may lie anywhere. Others may go on reading the page but not
  // write to it until it is closed, so nothing is added between its reading and its deletion.
  virtual FileHandle OpenPage(const std::string& path) = 0;
  // Bytes read, 0 at the end, -1 on a read error.
  virtual std::ptrdiff_t Read(FileHandle file, void* buffer, std::size_t size) = 0;
  // Writes all of the bytes or fails.
  virtual bool Write(FileHandle file, const void* data, std::size_t size) = 0;
  // Puts the file's data on the disk, so that it outlives a power cut.
  virtual bool Flush(FileHandle file) = 0;
  // Also reports errors of data still in flight.
  virtual bool Close(FileHandle file) = 0;
  // Deletes the page opened by OpenPage at `path` through its handle, so it is the file that
  // was read, unchanged; the handle is closed afterwards either way. The name is free once
  // this returns true, even while others still hold the file.
  virtual bool DeletePage(FileHandle page, const std::string& path) = 0;
  // Puts every name made, moved or removed in the folder holding `path` on the disk, so it
  // outlives a power cut. Where the system journals names in order itself (Windows), there
  // is nothing to do. Needs no memory.
  virtual bool SyncFolderOf(const std::string& path) = 0;
  virtual bool Remove(const std::string& path) = 0;
  // Moves a regular file with one name onto a free name, written through where the system
  // offers it; fails, leaving both as they are, when the target exists or the source is
  // anything else. Needs no memory, so what was planned can still be moved when memory has
  // run out.
  virtual MoveResult MoveNoReplace(const std::string& from, const std::string& to) = 0;
  // Every entry of the folder except "." and "..", in the platform's order. The folder path
  // ends with the separator. A listing that fails part way fails as a whole.
  virtual bool ListFolder(const std::string& folder, std::vector<DirectoryEntry>* entries) = 0;
  virtual bool IdentifyFolder(const std::string& folder, FolderIdentity* identity) = 0;
  // The folder's path with every link on the way resolved: the walk starts there, so every
  // path it builds names the file itself.
  virtual bool RealFolderPath(const std::string& folder, std::string* real) = 0;
  // Waits before an attempt is made again.
  virtual void Pause(int milliseconds) = 0;
};

// The key under which the file system compares a name: folded to one case on Windows, the
// bytes themselves elsewhere.
std::string NameKey(std::string_view name);

// The real file system of the target.
Files& SystemFiles();

// Closes the file when it goes out of scope, unless Close() was called.
class UniqueFile {
 public:
  UniqueFile(Files& files, FileHandle handle) : files_(&files), handle_(handle) {}
  UniqueFile(const UniqueFile&) = delete;
  UniqueFile& operator=(const UniqueFile&) = delete;
  ~UniqueFile() {
    if (is_open()) files_->Close(handle_);
  }

  bool is_open() const { return handle_ != kNoFile; }
  FileHandle get() const { return handle_; }
  FileHandle release() {
    FileHandle handle = handle_;
    handle_ = kNoFile;
    return handle;
  }
  bool Close() {
    FileHandle handle = handle_;
    handle_ = kNoFile;
    return handle != kNoFile && files_->Close(handle);
  }

 private:
  Files* files_;
  FileHandle handle_;
};

}  // namespace setupext
