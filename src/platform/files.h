// Files and folders as the template passes need them. The interface is narrow on purpose:
// tests stand in for it to make any single call fail or to cut the power after it, and check
// that no page text is lost.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/buffers.h"
#include "platform/native_handle.h"
#include "platform/unique_handle.h"

namespace setupext {

// The separator of the target's paths: '\\' on Windows, '/' elsewhere.
char PathSeparator() noexcept;

// Paths here are byte text: on Windows UTF-8 (unpaired surrogates of a name kept as their
// three-byte forms, so every name the system can hold comes through), elsewhere the bytes the
// system uses. Names are never converted back to the ANSI code page.

// A folder (or file) named by the host in its ANSI code page, as this layer's absolute path.
// False when the text does not convert, is empty or is too long: then nothing must be touched.
[[nodiscard]] bool FolderFromHostText(std::string_view text, PathText& folder) noexcept;

// Whether the host's text holds the mark its code page writes for a character it has no byte
// for, where no name may hold that mark ('?' on Windows): such text names no folder the host
// meant.
bool HoldsUnwritableMark(std::string_view text) noexcept;

// Appends the bytes to the file, made when missing. For
// the log a script asks for: false when it cannot be written, and nothing else happens.
[[nodiscard]] bool AppendToLogFile(std::string_view path, std::string_view bytes) noexcept;

// The length of a path as the system counts it: UTF-16 units on Windows, bytes elsewhere.
std::size_t PathUnits(std::string_view path) noexcept;

// Appends the key under which a folder compares the name: the bytes themselves where names
// keep their case, folded to one case (as the system folds them) where they do not. False
// when memory ran out.
[[nodiscard]] bool AppendNameKey(std::string_view name, bool case_sensitive, ByteBuffer& keys) noexcept;

class Files;

// An open file of a Files implementation: closed through it when its owner lets go.
struct FileRef {
  Files* files = nullptr;
  NativeFile native = NoNativeFile();
  bool operator==(const FileRef&) const = default;
};
struct FileTraits {
  using Native = FileRef;
  static Native Invalid() noexcept { return {}; }
  static void Close(Native file) noexcept;
};
using File = UniqueHandle<FileTraits>;

enum class [[nodiscard]] FileResult {
  kDone,
  kExists,    // the name is taken
  kBusy,      // another program holds the file for a moment: it may work later
  kNotPlain,     // not a regular file: a folder, a FIFO, a socket, a device
  kLink,         // a symbolic link, junction or other name surrogate
  kSecondName,   // a file with another name (a hard link): changing it changes that one too
  kThroughLink,  // reached through a link on the way: the file lies elsewhere
  kFailed,
};

// Whether the result refuses a file for what it is rather than for a failure.
inline bool IsNotPlain(FileResult result) {
  return result == FileResult::kNotPlain || result == FileResult::kLink || result == FileResult::kSecondName ||
         result == FileResult::kThroughLink;
}

// What a page was when it was opened. Where the system has no share modes (POSIX), its
// deletion checks that its name still names this very file, unchanged since: no second look
// at the open file is needed.
struct FileStamp {
  std::uint64_t device = 0, index = 0, size = 0, modified_ns = 0;
  std::uint32_t attributes = 0;  // what KeepAttributes gives the French version
  std::uint32_t owner = 0, group = 0;  // POSIX: kept where the process may set them
  bool operator==(const FileStamp&) const = default;
};

struct [[nodiscard]] Opened {
  File file;
  FileResult result = FileResult::kFailed;
  FileStamp stamp = {};  // pages only
};

// A folder held against other calls of the module while one carries its plan out, where the
// system has no share modes to keep them apart (POSIX: an advisory lock). Released when the
// owner lets go.
struct FolderLockTraits {
  using Native = int;
  static Native Invalid() noexcept { return -1; }
  static void Close(Native lock) noexcept;
};
using FolderLock = UniqueHandle<FolderLockTraits>;
enum class [[nodiscard]] LockResult { kHeld, kBusy, kFailed };

// What deleting a page did.
enum class [[nodiscard]] PageDeletion {
  kGone,       // the page's name is free, or is freed when the last other holder lets go
  kAside,      // the page could not be deleted and waits, whole, under the aside name
  kKept,       // the page is as it was, under its own name
};

// How a folder's volume measures a name against its limit.
enum class NameUnit : std::uint8_t { kBytes, kUtf16 };

// What makes a folder the same folder whatever path leads to it. `volume` tells volumes (and
// mounts of one volume in two places) apart.
struct FolderIdentity {
  std::uint64_t volume = 0;
  std::uint64_t index = 0;
  bool operator==(const FolderIdentity&) const = default;
};

// What a folder does with names, asked of the file system once a folder: the plan, the
// executor and --explain read these and take nothing for granted. Test doubles simulate every
// value.
struct FolderFacts {
  FolderIdentity identity;
  bool case_sensitive = true;        // "a.pag" and "A.pag" are two names
  NameUnit name_unit = NameUnit::kBytes;
  std::uint32_t name_limit = 255;    // the longest name, in name_unit
  bool names_in_order = false;       // name operations reach the disk in the order made (NTFS)
  bool frees_names_at_once = true;   // a deleted file's name is free at once though others
                                     // hold the file; where not, a page whose name must be
                                     // free at once goes aside first
};

// Links (junctions, symbolic links, mount points) are never entered, read, moved or deleted
// below the folder the host names: they may lead anywhere.
// A FIFO, socket or device is never opened: opening one may block or act on the device.
enum class EntryKind : std::uint8_t { kFile, kFolder, kLink, kSpecial };

// A folder's entries: each name once, "." and ".." left out, in the platform's order.
class Listing {
 public:
  struct Entry {
    std::uint32_t offset;  // of the name in the names' bytes
    std::uint32_t size;
    EntryKind kind;
    bool carried;         // the name is the system's own, byte for byte
    std::uint64_t index;  // the entry's file index in its volume where the listing gives it, else 0
  };
  std::size_t size() const noexcept { return entries_.size(); }
  std::string_view name(std::size_t i) const noexcept {
    return {names_.data() + entries_[i].offset, entries_[i].size};
  }
  EntryKind kind(std::size_t i) const noexcept { return entries_[i].kind; }
  // False for a name the system gave only in part (a character it could not convert): such a
  // name cannot be made again, so its entry is never renamed.
  bool carried(std::size_t i) const noexcept { return entries_[i].carried; }
  std::uint64_t index(std::size_t i) const noexcept { return entries_[i].index; }
  // For a name that turns out, beside the others, not to be carried either.
  void MarkNotCarried(std::size_t i) noexcept { entries_[i].carried = false; }
  void Clear() noexcept {
    entries_.Clear();
    names_.Clear();
  }
  [[nodiscard]] bool Add(std::string_view name, EntryKind kind, std::uint64_t index = 0, bool carried = true) noexcept;

 private:
  GrowingArray<Entry> entries_;
  ByteBuffer names_;
};

enum class [[nodiscard]] ListResult { kDone, kFailed, kNoMemory };

// Opening a folder for the work in it.
enum class [[nodiscard]] FolderOpen {
  kDone,
  kFailed,   // missing, or refused
  kLink,     // a link stands at its name now: never entered
  kChanged,  // another folder than the one listed stands at its name now
};

// What the file system says of an action the caller may take, asked without taking it.
enum class Permission : std::uint8_t { kYes, kNo, kUnknown };

class Files {
 public:
  // Every call that names an entry takes the folder it lies in, as OpenFolder opened it, and
  // the entry's full path. Where the system acts relative to a folder (POSIX), only the
  // path's last part is used, so a folder renamed or swapped for a link after its opening
  // leads nowhere else; elsewhere (Windows, which holds the folders on the way open against
  // deletion) the path is used.

  // Lets a missing disk fail the call instead of raising a system dialog. Never restored.
  virtual void SetQuietErrorMode() noexcept = 0;
  // Opens the folder `path` (ending with the separator) for the work in it, without following
  // a link at its end, and gives its facts. `expected_index`, when not 0, is the index its
  // parent's listing gave: another folder at that name now is refused (kChanged).
  virtual FolderOpen OpenFolder(std::string_view path, std::uint64_t expected_index, File& folder,
                                FolderFacts& facts) noexcept = 0;
  // A new file for writing, under a name that must be free; it can be renamed and deleted
  // through its handle, and whoever else opens it must let that happen.
  virtual Opened CreateNew(NativeFile at, std::string_view path) noexcept = 0;
  // Opens a page for reading without following links. Only a regular file with exactly one
  // name, reached by this very path, is opened: a second name would keep the old text, and a
  // file reached through a link may lie anywhere. Others may go on reading the page but not
  // write to it until it is closed. *size is its size in bytes.
  virtual Opened OpenPage(NativeFile at, std::string_view path, std::uint64_t* size) noexcept = 0;
  // Bytes read from `offset` on, 0 at the end, -1 on a read error.
  virtual std::ptrdiff_t ReadAt(NativeFile file, std::uint64_t offset, void* buffer, std::size_t size) noexcept = 0;
  // Writes all of the bytes or fails.
  [[nodiscard]] virtual bool Write(NativeFile file, const void* data, std::size_t size) noexcept = 0;
  // Puts the file's data on the disk, so that it outlives a power cut.
  [[nodiscard]] virtual bool Flush(NativeFile file) noexcept = 0;
  // Gives a file made by CreateNew the attributes its page had when opened (read-only,
  // hidden, system; POSIX: the mode bits, and the owner where the process may set it).
  [[nodiscard]] virtual bool KeepAttributes(NativeFile file, const FileStamp& page) noexcept = 0;
  // Also reports errors of data still in flight.
  [[nodiscard]] virtual bool Close(NativeFile file) noexcept = 0;
  // Deletes the page opened by OpenPage at `path` through its handle, so it is the file that
  // was read, unchanged; takes the handle. `aside` is not empty only where the folder frees no
  // name at once (FolderFacts) and the page's name must be free at once: the page first moves
  // there and goes from there.
  virtual PageDeletion DeletePage(File page, const FileStamp& stamp, NativeFile at, std::string_view path,
                                  std::string_view aside) noexcept = 0;
  // Renames a file created by CreateNew through its handle onto a free name, written through
  // where the system offers it; never replaces an existing file, and never moves a file other
  // than this one (another file that took `from` meanwhile stays where it is).
  virtual FileResult RenameNew(NativeFile file, NativeFile at, std::string_view from, std::string_view to) noexcept = 0;
  // Deletes a file created by CreateNew through its handle; takes the handle.
  [[nodiscard]] virtual bool DeleteNew(File file, NativeFile at, std::string_view path) noexcept = 0;
  // Whether the path names a regular file with exactly one name, not reached through a link:
  // kDone, kNotPlain, kLink, kSecondName, kThroughLink, kBusy or kFailed (missing). Opens
  // nothing that could block (a FIFO).
  virtual FileResult CheckPlainFile(NativeFile at, std::string_view path) noexcept = 0;
  // Moves a regular file with one name onto a free name in the same folder, written through
  // where the system offers it; fails, leaving both as they are, when the target exists or
  // the source is anything else.
  virtual FileResult MoveNoReplace(NativeFile at, std::string_view from, std::string_view to) noexcept = 0;
  // Removes a regular file with one name (a read-only one too); nothing else.
  virtual FileResult Remove(NativeFile at, std::string_view path) noexcept = 0;
  // Whether a file may be created at `path`, and whether the file at `path` may be removed,
  // as far as the system tells without doing it (rights on the folder and the file, the
  // sticky rule). A full disk cannot be told in advance.
  virtual Permission MayCreate(NativeFile at, std::string_view path) noexcept = 0;
  virtual Permission MayRemove(NativeFile at, std::string_view path) noexcept = 0;
  // Puts every name made, moved or removed in the folder on the disk. Needed only where the
  // folder's facts say names are not kept in order. Needs no memory.
  [[nodiscard]] virtual bool SyncFolder(NativeFile folder) noexcept = 0;
  // Holds the folder against other calls of the module (see FolderLock) without waiting;
  // where share modes keep them apart already, holds nothing and answers kHeld.
  virtual LockResult LockFolder(NativeFile folder, FolderLock& lock) noexcept = 0;
  // Every entry of the folder except "." and "..". `path` is the folder's, ending with the
  // separator. A listing that fails part way fails as a whole.
  virtual ListResult ListFolder(NativeFile folder, std::string_view path, Listing& entries) noexcept = 0;
  // The folder's path with every link on the way resolved: the walk starts there, so every
  // path it builds names the file itself.
  [[nodiscard]] virtual bool RealFolderPath(std::string_view folder, PathText& real) noexcept = 0;
  // Waits before an attempt is made again.
  virtual void Pause(int milliseconds) noexcept = 0;

 protected:
  ~Files() = default;
};

inline void FileTraits::Close(Native file) noexcept { (void)file.files->Close(file.native); }

// Exactly `size` bytes from `offset` on, however many reads the system gives them in: false
// when a read fails or the file ends first.
[[nodiscard]] inline bool ReadFully(Files& files, NativeFile file, std::uint64_t offset, char* buffer,
                                    std::size_t size) noexcept {
  for (std::size_t filled = 0; filled < size;) {
    const std::ptrdiff_t got = files.ReadAt(file, offset + filled, buffer + filled, size - filled);
    if (got <= 0 || static_cast<std::size_t>(got) > size - filled) return false;
    filled += static_cast<std::size_t>(got);
  }
  return true;
}

// The real file system of the target.
Files& SystemFiles() noexcept;

}  // namespace setupext
