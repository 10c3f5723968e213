#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <linux/openat2.h>
#include <linux/fs.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/statfs.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cstring>

#include "platform/files.h"

namespace setupext {
namespace {

// Paths come as views; the system wants them NUL-terminated. Every path here is one the
// module built, so a PathText's size holds it.
class CPath {
 public:
  explicit CPath(std::string_view path) { ok_ = text_.Assign(path); }
  bool ok() const { return ok_; }
  const char* c_str() const { return text_.c_str(); }

 private:
  PathText text_;
  bool ok_;
};

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

// The mount a folder lies on (two mounts of one volume, a bind mount, are told apart where
// the system says; the device otherwise) and its index: one question.
bool IdentityOf(int folder, FolderIdentity& identity) {
  struct statx info;
  if (statx(folder, "", AT_EMPTY_PATH | AT_SYMLINK_NOFOLLOW, STATX_INO | STATX_MNT_ID, &info) != 0) return false;
  identity.index = info.stx_ino;
  identity.volume = (info.stx_mask & STATX_MNT_ID) ? info.stx_mnt_id : makedev(info.stx_dev_major, info.stx_dev_minor);
  return true;
}

// Folders that fold case: a volume of the FAT family, or one asked to fold case in a folder.
bool FoldsCase(int folder, const struct statfs& volume) {
  constexpr long kFatMagic = 0x4d44, kExfatMagic = 0x2011BAB0, kCasefoldFlag = 0x40000000;
  if (volume.f_type == kFatMagic || volume.f_type == kExfatMagic) return true;
  int flags = 0;
  return ioctl(folder, FS_IOC_GETFLAGS, &flags) == 0 && (flags & kCasefoldFlag) != 0;
}

// Opens a folder by its full path without following a link anywhere on it: the walk's paths
// are the root's real path and names listed since, so a link on the way is one put there
// since. Kernels without openat2 check the last part only.
int OpenFolderNoLinks(const char* path) {
  constexpr int kFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
#ifdef SYS_openat2
  struct open_how how = {};
  how.flags = kFlags;
  how.resolve = RESOLVE_NO_SYMLINKS;
  const long fd = syscall(SYS_openat2, AT_FDCWD, path, &how, sizeof how);
  if (fd >= 0 || (errno != ENOSYS && errno != EPERM)) return static_cast<int>(fd);
#endif
  return open(path, kFlags);
}

// Whether this process may make and remove names in the folder: a refusal for want of rights
// or on a read-only or immutable folder is a no; any other failure tells nothing.
Permission MayWrite(int folder) {
  if (faccessat(folder, ".", W_OK | X_OK, AT_EACCESS) == 0) return Permission::kYes;
  return errno == EACCES || errno == EROFS || errno == EPERM ? Permission::kNo : Permission::kUnknown;
}

// Whether the name names a regular file with one name; never follows a link.
FileResult CheckPlain(int at, const char* name) {
  struct stat info;
  if (fstatat(at, name, &info, AT_SYMLINK_NOFOLLOW) != 0) return FileResult::kFailed;
  return PlainFileWithOneName(info);
}

EntryKind KindOf(const struct stat& info) {
  if (S_ISLNK(info.st_mode)) return EntryKind::kLink;
  if (S_ISDIR(info.st_mode)) return EntryKind::kFolder;
  return S_ISREG(info.st_mode) ? EntryKind::kFile : EntryKind::kSpecial;
}

// A folder's index is asked by name, as opening it will find it: the listing's own number is
// another where something is mounted on the folder or an overlay joins two file systems.
bool AddEntry(int folder, const dirent64& entry, Listing& entries) {
  EntryKind kind = entry.d_type == DT_DIR ? EntryKind::kFolder
                   : entry.d_type == DT_LNK ? EntryKind::kLink
                   : entry.d_type == DT_REG ? EntryKind::kFile
                                            : EntryKind::kSpecial;
  std::uint64_t index = entry.d_ino;
  struct stat info;
  if (entry.d_type == DT_DIR || entry.d_type == DT_UNKNOWN) {
    const bool named = fstatat(folder, entry.d_name, &info, AT_SYMLINK_NOFOLLOW) == 0;
    kind = named ? KindOf(info) : entry.d_type == DT_DIR ? EntryKind::kFolder : EntryKind::kFile;
    if (named) index = static_cast<std::uint64_t>(info.st_ino);
  }
  return entries.Add(entry.d_name, kind, index);
}

// Adds the entries of one batch the system gave, but "." and "..".
bool AddBatch(int folder, const char* batch, std::size_t size, Listing& entries) {
  for (std::size_t at = 0; at < size;) {
    const auto& entry = *reinterpret_cast<const dirent64*>(batch + at);
    at += entry.d_reclen;
    const std::string_view name = entry.d_name;
    if (name != "." && name != ".." && !AddEntry(folder, entry, entries)) return false;
  }
  return true;
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
    const int fd = OpenFolderNoLinks(name.c_str());
    if (fd < 0) {
      struct stat info;
      const bool link = errno == ELOOP || (lstat(name.c_str(), &info) == 0 && S_ISLNK(info.st_mode));
      return link ? FolderOpen::kLink : FolderOpen::kFailed;
    }
    File opened(FileRef{this, fd});
    FolderIdentity identity;
    struct statfs volume;
    if (!IdentityOf(fd, identity) || fstatfs(fd, &volume) != 0) return FolderOpen::kFailed;
    if (expected_index != 0 && identity.index != expected_index) return FolderOpen::kChanged;
    facts = {};
    facts.identity = identity;
    facts.case_sensitive = !FoldsCase(fd, volume);
    facts.name_unit = NameUnit::kBytes;
    facts.name_limit = volume.f_namelen > 0 && volume.f_namelen < 65536 ? static_cast<std::uint32_t>(volume.f_namelen) : 255;
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
  Permission MayCreate(NativeFile at, std::string_view) noexcept override { return MayWrite(at); }

  // In a sticky folder only the file's owner, the folder's owner or a privileged process
  // may remove a name; an immutable or append-only file's name no one may.
  Permission MayRemove(NativeFile at, std::string_view path) noexcept override {
    const EntryName name(path);
    struct stat folder;
    struct statx file;
    if (!name.ok() || fstat(at, &folder) != 0 ||
        statx(at, name.c_str(), AT_SYMLINK_NOFOLLOW, STATX_UID, &file) != 0 || !(file.stx_mask & STATX_UID))
      return Permission::kUnknown;
    if (file.stx_attributes & file.stx_attributes_mask & (STATX_ATTR_IMMUTABLE | STATX_ATTR_APPEND)) return Permission::kNo;
    const Permission write = MayWrite(at);
    const uid_t me = geteuid();
    if (write == Permission::kYes && (folder.st_mode & S_ISVTX) && me != 0 && me != file.stx_uid && me != folder.st_uid)
      return Permission::kNo;
    return write;
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

  // Read through the folder's own descriptor, from its start: no second descriptor and no
  // stream of the C library is opened and closed for each folder.
  ListResult ListFolder(NativeFile folder, std::string_view, Listing& entries) noexcept override {
    constexpr std::size_t kBatch = 32 * 1024;
    GrowingArray<char> batch;
    if (!batch.Reserve(kBatch)) return ListResult::kNoMemory;
    if (lseek(folder, 0, SEEK_SET) != 0) return ListResult::kFailed;
    entries.Clear();
    for (;;) {
      const ssize_t got = getdents64(folder, batch.data(), kBatch);
      if (got < 0 && errno == EINTR) continue;
      if (got < 0) return ListResult::kFailed;
      if (got == 0) return ListResult::kDone;
      if (!AddBatch(folder, batch.data(), static_cast<std::size_t>(got), entries)) return ListResult::kNoMemory;
    }
  }

  // The root is followed to where it really is, once; links below it are never followed, so
  // the paths the walk builds name the files themselves.
  // The C library gives the path in memory of its own, as it does a listing's: no buffer of
  // PATH_MAX bytes on the stack.
  bool RealFolderPath(std::string_view folder, PathText& real) noexcept override {
    const CPath name(folder);
    char* const resolved = name.ok() ? realpath(name.c_str(), nullptr) : nullptr;
    const bool fits = resolved && real.Assign(resolved);
    free(resolved);
    return fits;
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
