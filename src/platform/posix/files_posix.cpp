#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstring>

#include "platform/files.h"

namespace setupext {
namespace {

// Paths come as views; the system wants them NUL-terminated.
class CPath {
 public:
  explicit CPath(std::string_view path) { ok_ = text_.Assign(path); }
  bool ok() const { return ok_; }
  const char* c_str() const { return text_.c_str(); }

 private:
  FixedText<4096> text_;
  bool ok_;
};

struct DirTraits {
  using Native = DIR*;
  static Native Invalid() noexcept { return nullptr; }
  static void Close(Native dir) noexcept { closedir(dir); }
};
using UniqueDir = UniqueHandle<DirTraits>;

struct DescriptorTraits {
  using Native = int;
  static Native Invalid() noexcept { return -1; }
  static void Close(Native fd) noexcept { close(fd); }
};
using UniqueDescriptor = UniqueHandle<DescriptorTraits>;

// rename(2) replaces its target; renameat2 can refuse to.
bool RenameNoReplace(const char* from, const char* to) {
#ifdef SYS_renameat2
  constexpr unsigned kNoReplace = 1;  // RENAME_NOREPLACE
  if (syscall(SYS_renameat2, AT_FDCWD, from, AT_FDCWD, to, kNoReplace) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS) return false;
#endif
  // File systems without the flag: link refuses an existing target too.
  if (link(from, to) != 0) return false;
  if (unlink(from) != 0) {
    const int error = errno;
    unlink(to);
    errno = error;
    return false;
  }
  return true;
}

FileResult MoveResultOf(int error) {
  if (error == EEXIST || error == ENOTEMPTY) return FileResult::kExists;
  return FileResult::kFailed;
}

// kDone for a regular file with one name; otherwise what it is.
FileResult PlainFileWithOneName(const struct stat& info) {
  if (S_ISLNK(info.st_mode)) return FileResult::kLink;
  if (!S_ISREG(info.st_mode)) return FileResult::kNotPlain;
  return info.st_nlink == 1 ? FileResult::kDone : FileResult::kSecondName;
}

FileStamp StampOf(const struct stat& info) {
  return {static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino),
          static_cast<std::uint64_t>(info.st_size),
          static_cast<std::uint64_t>(info.st_mtim.tv_sec) * 1000000000u + static_cast<std::uint64_t>(info.st_mtim.tv_nsec),
          static_cast<std::uint32_t>(info.st_mode & 07777)};
}

// Whether the path names a regular file with one name; never follows a link.
FileResult CheckPlain(const char* path) {
  struct stat info;
  if (lstat(path, &info) != 0) return FileResult::kFailed;
  return PlainFileWithOneName(info);
}

EntryKind KindOf(int folder, const char* name, unsigned char type) {
  if (type == DT_DIR) return EntryKind::kFolder;
  if (type == DT_LNK) return EntryKind::kLink;
  if (type == DT_REG) return EntryKind::kFile;
  if (type != DT_UNKNOWN) return EntryKind::kSpecial;
  struct stat info;
  if (fstatat(folder, name, &info, AT_SYMLINK_NOFOLLOW) != 0) return EntryKind::kFile;
  if (S_ISLNK(info.st_mode)) return EntryKind::kLink;
  if (S_ISDIR(info.st_mode)) return EntryKind::kFolder;
  return S_ISREG(info.st_mode) ? EntryKind::kFile : EntryKind::kSpecial;
}

class PosixFiles final : public Files {
 public:
  constexpr PosixFiles() = default;

  void SetQuietErrorMode() noexcept override {}

  Opened CreateNew(std::string_view path) noexcept override {
    const CPath name(path);
    if (!name.ok()) return {};
    const int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0) return {File(), errno == EEXIST ? FileResult::kExists : FileResult::kFailed};
    return {File(FileRef{this, fd}), FileResult::kDone};
  }

  // O_NONBLOCK: a FIFO or a device named like a page must not hold the call at its opening;
  // it is refused by its type right after, and a regular file reads as it always does.
  Opened OpenPage(std::string_view path, std::uint64_t* size) noexcept override {
    const CPath name(path);
    if (!name.ok()) return {};
    const int fd = open(name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return {File(), errno == ELOOP ? FileResult::kLink : FileResult::kFailed};
    File page(FileRef{this, fd});
    struct stat info;
    if (fstat(fd, &info) != 0) return {};
    if (const FileResult plain = PlainFileWithOneName(info); plain != FileResult::kDone) return {File(), plain};
    *size = static_cast<std::uint64_t>(info.st_size);
    return {static_cast<File&&>(page), FileResult::kDone, StampOf(info)};
  }

  std::ptrdiff_t ReadAt(NativeFile file, std::uint64_t offset, void* buffer, std::size_t size) noexcept override {
    for (;;) {
      const ssize_t got = pread(file, buffer, size, static_cast<off_t>(offset));
      if (got >= 0) return got;
      if (errno != EINTR) return -1;
    }
  }

  bool Write(NativeFile file, const void* data, std::size_t size) noexcept override {
    const char* next = static_cast<const char*>(data);
    while (size > 0) {
      const ssize_t put = write(file, next, size);
      if (put < 0 && errno == EINTR) continue;
      if (put <= 0) return false;
      next += put;
      size -= static_cast<std::size_t>(put);
    }
    return true;
  }

  bool Flush(NativeFile file) noexcept override { return fsync(file) == 0; }
  bool KeepAttributes(NativeFile file, std::uint32_t mode) noexcept override {
    return fchmod(file, static_cast<mode_t>(mode)) == 0;
  }
  bool Close(NativeFile file) noexcept override { return close(file) == 0; }

  // Without share modes nothing keeps a writer out; the page is removed only while its path
  // still names the very file that was read, unchanged since. A name is free at once.
  PageDeletion DeletePage(File page, const FileStamp& stamp, std::string_view path, std::string_view) noexcept override {
    const CPath name(path);
    struct stat named;
    const bool same = name.ok() && lstat(name.c_str(), &named) == 0 && StampOf(named) == stamp;
    page.reset();
    return same && unlink(name.c_str()) == 0 ? PageDeletion::kGone : PageDeletion::kKept;
  }

  FileResult RenameNew(NativeFile, std::string_view from, std::string_view to) noexcept override {
    const CPath source(from), target(to);
    if (!source.ok() || !target.ok()) return FileResult::kFailed;
    return RenameNoReplace(source.c_str(), target.c_str()) ? FileResult::kDone : MoveResultOf(errno);
  }

  bool DeleteNew(File file, std::string_view path) noexcept override {
    const CPath name(path);
    file.reset();
    return name.ok() && unlink(name.c_str()) == 0;
  }

  FileResult CheckPlainFile(std::string_view path) noexcept override {
    const CPath name(path);
    return name.ok() ? CheckPlain(name.c_str()) : FileResult::kFailed;
  }

  FileResult MoveNoReplace(std::string_view from, std::string_view to) noexcept override {
    const CPath source(from), target(to);
    if (!source.ok() || !target.ok()) return FileResult::kFailed;
    const FileResult plain = CheckPlain(source.c_str());
    if (plain != FileResult::kDone) return plain;
    return RenameNoReplace(source.c_str(), target.c_str()) ? FileResult::kDone : MoveResultOf(errno);
  }

  FileResult Remove(std::string_view path) noexcept override {
    const CPath name(path);
    if (!name.ok()) return FileResult::kFailed;
    const FileResult plain = CheckPlain(name.c_str());
    if (plain != FileResult::kDone) return plain;
    return unlink(name.c_str()) == 0 ? FileResult::kDone : FileResult::kFailed;
  }

  // A name made, moved or removed outlives a power cut once its folder is synced.
  bool SyncFolderOf(std::string_view path) noexcept override {
    const std::size_t slash = path.rfind('/');
    const CPath folder(slash == std::string_view::npos ? std::string_view(".") : path.substr(0, slash ? slash : 1));
    if (!folder.ok()) return false;
    const UniqueDescriptor fd(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    return fd.is_open() && fsync(fd.get()) == 0;
  }

  // Journals keep a file's data and names apart and need not keep names in order: every
  // volume is taken as one that does not.
  bool KeepsNamesInOrder(std::string_view) noexcept override { return false; }

  // Nothing keeps another call out of a folder but this advisory lock, which every call
  // takes: tried for a while, never waited on for ever.
  LockResult LockFolder(std::string_view folder, FolderLock& lock) noexcept override {
    const CPath name(folder);
    if (!name.ok()) return LockResult::kFailed;
    FolderLock held(open(name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!held.is_open()) return LockResult::kFailed;
    if (flock(held.get(), LOCK_EX | LOCK_NB) != 0) return errno == EWOULDBLOCK ? LockResult::kBusy : LockResult::kFailed;
    lock = static_cast<FolderLock&&>(held);
    return LockResult::kHeld;
  }

  ListResult ListFolder(std::string_view folder, Listing& entries) noexcept override {
    const CPath name(folder);
    if (!name.ok()) return ListResult::kFailed;
    const UniqueDir dir(opendir(name.c_str()));
    if (!dir.is_open()) return ListResult::kFailed;
    entries.Clear();
    errno = 0;
    while (const dirent* entry = readdir(dir.get())) {
      const std::string_view entry_name = entry->d_name;
      if (entry_name != "." && entry_name != ".." &&
          !entries.Add(entry_name, KindOf(dirfd(dir.get()), entry->d_name, entry->d_type)))
        return ListResult::kNoMemory;
      errno = 0;
    }
    return errno == 0 ? ListResult::kDone : ListResult::kFailed;
  }

  bool IdentifyFolder(std::string_view folder, FolderIdentity* identity) noexcept override {
    const CPath name(folder);
    struct stat info;
    if (!name.ok() || stat(name.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) return false;
    identity->volume = static_cast<std::uint64_t>(info.st_dev);
    identity->index = static_cast<std::uint64_t>(info.st_ino);
    return true;
  }

  // Links below the root are never followed, so the paths the walk builds name the files
  // themselves whatever leads to the root.
  bool RealFolderPath(std::string_view folder, PathText& real) noexcept override { return real.Assign(folder); }

  void Pause(int milliseconds) noexcept override { usleep(static_cast<useconds_t>(milliseconds) * 1000); }
};

constinit PosixFiles system_files;

}  // namespace

void FolderLockTraits::Close(int lock) noexcept { close(lock); }

char PathSeparator() noexcept { return '/'; }

bool FolderFromHostText(std::string_view text, PathText& folder) noexcept {
  return !text.empty() && folder.Assign(text);
}

std::size_t PathUnits(std::string_view path) noexcept { return path.size(); }

bool AppendNameKey(std::string_view name, ByteBuffer& keys) noexcept { return keys.Append(name); }

bool AppendToLogFile(std::string_view path, std::string_view bytes) noexcept {
  const CPath name(path);
  if (!name.ok()) return false;
  const UniqueDescriptor log(open(name.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NONBLOCK | O_CLOEXEC, 0666));
  return log.is_open() && system_files.Write(log.get(), bytes.data(), bytes.size());
}

Files& SystemFiles() noexcept { return system_files; }

}  // namespace setupext
