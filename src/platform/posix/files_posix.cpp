#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/statfs.h>
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
bool RenameNoReplace(int at, const char* from, const char* to) {
#ifdef SYS_renameat2
  constexpr unsigned kNoReplace = 1;  // RENAME_NOREPLACE
  if (syscall(SYS_renameat2, at, from, at, to, kNoReplace) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS) return false;
#endif
  // File systems without the flag: link refuses an existing target too.
  if (linkat(at, from, at, to, 0) != 0) return false;
  if (unlinkat(at, from, 0) != 0) {
    const int error = errno;
    unlinkat(at, to, 0);
    errno = error;
    return false;
  }
  return true;
}

// The entry's own name in its folder: the path's last part.
class EntryName {
 public:
  explicit EntryName(std::string_view path) {
    const std::size_t slash = path.rfind('/');
    ok_ = text_.Assign(slash == std::string_view::npos ? path : path.substr(slash + 1)) && !text_.empty();
  }
  bool ok() const { return ok_; }
  const char* c_str() const { return text_.c_str(); }

 private:
  FixedText<512> text_;
  bool ok_;
};

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
          static_cast<std::uint32_t>(info.st_mode & 07777), static_cast<std::uint32_t>(info.st_uid),
          static_cast<std::uint32_t>(info.st_gid)};
}

bool SameFile(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

// Whether the name in the folder still names the open file.
bool StillNamed(int at, const char* name, int file) {
  struct stat named, open_file;
  return fstatat(at, name, &named, AT_SYMLINK_NOFOLLOW) == 0 && fstat(file, &open_file) == 0 && SameFile(named, open_file);
}

// The mount a folder lies on: two mounts of one volume (a bind mount) are told apart, where
// the system says; the device otherwise.
std::uint64_t MountOf(int folder, const struct stat& info) {
#if defined(SYS_statx) && defined(STATX_MNT_ID)
  struct statx extended;
  if (statx(folder, "", AT_EMPTY_PATH, STATX_MNT_ID, &extended) == 0 && (extended.stx_mask & STATX_MNT_ID))
    return extended.stx_mnt_id;
#endif
  return static_cast<std::uint64_t>(info.st_dev);
}

// Folders that fold case: a volume of the FAT family, or one asked to fold case in a folder.
bool FoldsCase(int folder) {
  constexpr long kFatMagic = 0x4d44, kExfatMagic = 0x2011BAB0, kCasefoldFlag = 0x40000000;
  struct statfs volume;
  if (fstatfs(folder, &volume) == 0 && (volume.f_type == kFatMagic || volume.f_type == kExfatMagic)) return true;
  int flags = 0;
  return ioctl(folder, FS_IOC_GETFLAGS, &flags) == 0 && (flags & kCasefoldFlag) != 0;
}

// Whether the name names a regular file with one name; never follows a link.
FileResult CheckPlain(int at, const char* name) {
  struct stat info;
  if (fstatat(at, name, &info, AT_SYMLINK_NOFOLLOW) != 0) return FileResult::kFailed;
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

  // The folder is opened once, without following a link at its name; every call below works
  // relative to it, so a folder renamed or replaced by a link afterwards leads nowhere else.
  FolderOpen OpenFolder(std::string_view path, std::uint64_t expected_index, File& folder,
                        FolderFacts& facts) noexcept override {
    // A trailing separator would make the system follow a link at the name.
    while (path.size() > 1 && path.back() == '/') path.remove_suffix(1);
    const CPath name(path);
    if (!name.ok()) return FolderOpen::kFailed;
    const int fd = open(name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
      struct stat info;
      const bool link = errno == ELOOP || (lstat(name.c_str(), &info) == 0 && S_ISLNK(info.st_mode));
      return link ? FolderOpen::kLink : FolderOpen::kFailed;
    }
    File opened(FileRef{this, fd});
    struct stat info;
    if (fstat(fd, &info) != 0) return FolderOpen::kFailed;
    if (expected_index != 0 && static_cast<std::uint64_t>(info.st_ino) != expected_index) return FolderOpen::kChanged;
    facts = {};
    facts.identity = {MountOf(fd, info), static_cast<std::uint64_t>(info.st_ino)};
    facts.case_sensitive = !FoldsCase(fd);
    facts.name_unit = NameUnit::kBytes;
    const long limit = fpathconf(fd, _PC_NAME_MAX);
    facts.name_limit = limit > 0 && limit < 65536 ? static_cast<std::uint32_t>(limit) : 255;
    facts.names_in_order = false;  // journals need not keep names in order
    facts.frees_names_at_once = true;
    folder = static_cast<File&&>(opened);
    return FolderOpen::kDone;
  }

  Opened CreateNew(NativeFile at, std::string_view path) noexcept override {
    const EntryName name(path);
    if (!name.ok()) return {};
    const int fd = openat(at, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) return {File(), errno == EEXIST ? FileResult::kExists : FileResult::kFailed};
    return {File(FileRef{this, fd}), FileResult::kDone};
  }

  // O_NONBLOCK: a FIFO or a device named like a page must not hold the call at its opening;
  // it is refused by its type right after, and a regular file reads as it always does.
  Opened OpenPage(NativeFile at, std::string_view path, std::uint64_t* size) noexcept override {
    const EntryName name(path);
    if (!name.ok()) return {};
    const int fd = openat(at, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
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
  // The owner first: a change of owner may clear the set-id bits the mode then puts back. A
  // process that may not give files away keeps its own ownership.
  bool KeepAttributes(NativeFile file, const FileStamp& page) noexcept override {
    struct stat info;
    if (fstat(file, &info) != 0) return false;
    if ((info.st_uid != page.owner || info.st_gid != page.group) &&
        fchown(file, static_cast<uid_t>(page.owner), static_cast<gid_t>(page.group)) != 0 && errno != EPERM)
      return false;
    return fchmod(file, static_cast<mode_t>(page.attributes)) == 0;
  }
  bool Close(NativeFile file) noexcept override { return close(file) == 0; }

  // Without share modes nothing keeps a writer out; the page is removed only while its name
  // still names the very file that was read, unchanged since. A name is free at once.
  PageDeletion DeletePage(File page, const FileStamp& stamp, NativeFile at, std::string_view path,
                          std::string_view) noexcept override {
    const EntryName name(path);
    struct stat named;
    const bool same = name.ok() && fstatat(at, name.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 && StampOf(named) == stamp;
    page.reset();
    return same && unlinkat(at, name.c_str(), 0) == 0 ? PageDeletion::kGone : PageDeletion::kKept;
  }

  // Another file that took the output's name meanwhile is not moved in its place.
  FileResult RenameNew(NativeFile file, NativeFile at, std::string_view from, std::string_view to) noexcept override {
    const EntryName source(from), target(to);
    if (!source.ok() || !target.ok()) return FileResult::kFailed;
    if (!StillNamed(at, source.c_str(), file)) return FileResult::kFailed;
    return RenameNoReplace(at, source.c_str(), target.c_str()) ? FileResult::kDone : MoveResultOf(errno);
  }

  bool DeleteNew(File file, NativeFile at, std::string_view path) noexcept override {
    const EntryName name(path);
    const bool same = name.ok() && StillNamed(at, name.c_str(), file.get().native);
    file.reset();
    return same && unlinkat(at, name.c_str(), 0) == 0;
  }

  FileResult CheckPlainFile(NativeFile at, std::string_view path) noexcept override {
    const EntryName name(path);
    return name.ok() ? CheckPlain(at, name.c_str()) : FileResult::kFailed;
  }

  FileResult MoveNoReplace(NativeFile at, std::string_view from, std::string_view to) noexcept override {
    const EntryName source(from), target(to);
    if (!source.ok() || !target.ok()) return FileResult::kFailed;
    const FileResult plain = CheckPlain(at, source.c_str());
    if (plain != FileResult::kDone) return plain;
    return RenameNoReplace(at, source.c_str(), target.c_str()) ? FileResult::kDone : MoveResultOf(errno);
  }

  FileResult Remove(NativeFile at, std::string_view path) noexcept override {
    const EntryName name(path);
    if (!name.ok()) return FileResult::kFailed;
    const FileResult plain = CheckPlain(at, name.c_str());
    if (plain != FileResult::kDone) return plain;
    return unlinkat(at, name.c_str(), 0) == 0 ? FileResult::kDone : FileResult::kFailed;
  }

  // Names are made and removed by writing the folder.
  Permission MayCreate(NativeFile at, std::string_view) noexcept override {
    return faccessat(at, ".", W_OK | X_OK, AT_EACCESS) == 0 ? Permission::kYes : Permission::kNo;
  }

  // In a sticky folder only the file's owner, the folder's owner or a privileged process
  // may remove a name.
  Permission MayRemove(NativeFile at, std::string_view path) noexcept override {
    const EntryName name(path);
    struct stat folder, file;
    if (!name.ok() || fstat(at, &folder) != 0 || fstatat(at, name.c_str(), &file, AT_SYMLINK_NOFOLLOW) != 0)
      return Permission::kUnknown;
    if (faccessat(at, ".", W_OK | X_OK, AT_EACCESS) != 0) return Permission::kNo;
    const uid_t me = geteuid();
    if ((folder.st_mode & S_ISVTX) && me != 0 && me != file.st_uid && me != folder.st_uid) return Permission::kNo;
    return Permission::kYes;
  }

  // A name made, moved or removed outlives a power cut once its folder is synced.
  bool SyncFolder(NativeFile folder) noexcept override { return fsync(folder) == 0; }

  // Nothing keeps another call out of a folder but this advisory lock, which every call
  // takes on its own opening of the folder: tried, never waited on here.
  LockResult LockFolder(NativeFile folder, FolderLock& lock) noexcept override {
    if (flock(folder, LOCK_EX | LOCK_NB) != 0) return errno == EWOULDBLOCK ? LockResult::kBusy : LockResult::kFailed;
    lock = FolderLock(folder);
    return LockResult::kHeld;
  }

  ListResult ListFolder(NativeFile folder, std::string_view, Listing& entries) noexcept override {
    const int own = fcntl(folder, F_DUPFD_CLOEXEC, 0);
    if (own < 0) return ListResult::kFailed;
    const UniqueDir dir(fdopendir(own));
    if (!dir.is_open()) {
      close(own);
      return ListResult::kFailed;
    }
    rewinddir(dir.get());
    entries.Clear();
    errno = 0;
    while (const dirent* entry = readdir(dir.get())) {
      const std::string_view entry_name = entry->d_name;
      if (entry_name != "." && entry_name != ".." &&
          !entries.Add(entry_name, KindOf(folder, entry->d_name, entry->d_type), static_cast<std::uint64_t>(entry->d_ino)))
        return ListResult::kNoMemory;
      errno = 0;
    }
    return errno == 0 ? ListResult::kDone : ListResult::kFailed;
  }

  // The root is followed to where it really is, once; links below it are never followed, so
  // the paths the walk builds name the files themselves.
  bool RealFolderPath(std::string_view folder, PathText& real) noexcept override {
    const CPath name(folder);
    char resolved[PATH_MAX];
    return name.ok() && realpath(name.c_str(), resolved) && real.Assign(resolved);
  }

  void Pause(int milliseconds) noexcept override { usleep(static_cast<useconds_t>(milliseconds) * 1000); }
};

constinit PosixFiles system_files;

}  // namespace

// The lock goes with the folder's own opening; letting go of it early keeps the folder open.
void FolderLockTraits::Close(int lock) noexcept { flock(lock, LOCK_UN); }

char PathSeparator() noexcept { return '/'; }

bool FolderFromHostText(std::string_view text, PathText& folder) noexcept {
  return !text.empty() && folder.Assign(text);
}

std::size_t PathUnits(std::string_view path) noexcept { return path.size(); }

// Folders that fold case here fold ASCII letters alike.
bool AppendNameKey(std::string_view name, bool case_sensitive, ByteBuffer& keys) noexcept {
  if (case_sensitive) return keys.Append(name);
  for (const char c : name) {
    const char folded = c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
    if (!keys.Append(std::string_view(&folded, 1))) return false;
  }
  return true;
}

bool AppendToLogFile(std::string_view path, std::string_view bytes) noexcept {
  const CPath name(path);
  if (!name.ok()) return false;
  const UniqueDescriptor log(open(name.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NONBLOCK | O_CLOEXEC, 0666));
  return log.is_open() && system_files.Write(log.get(), bytes.data(), bytes.size());
}

Files& SystemFiles() noexcept { return system_files; }

}  // namespace setupext
