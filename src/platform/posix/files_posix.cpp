#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <memory>

#include "platform/files.h"

namespace setupext {
namespace {

struct DirCloser {
  void operator()(DIR* dir) const { closedir(dir); }
};
using UniqueDir = std::unique_ptr<DIR, DirCloser>;

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

// A name made, moved or removed outlives a power cut once its folder is synced.
bool SyncFolderHolding(const char* path) {
  const char* slash = std::strrchr(path, '/');
  char folder[4096];
  const std::size_t length = slash ? static_cast<std::size_t>(slash - path) : 0;
  if (length + 1 > sizeof folder) return false;
  std::memcpy(folder, path, length);
  folder[length] = '\0';
  const int fd = open(length ? folder : ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool synced = fsync(fd) == 0;
  close(fd);
  return synced;
}

bool SameFileUnchanged(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size &&
         a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
}

class PosixFiles final : public Files {
 public:
  void SetQuietErrorMode() override {}

  FileHandle CreateNew(const std::string& path) override {
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    return fd < 0 ? kNoFile : fd;
  }

  FileHandle OpenPage(const std::string& path) override {
    const int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return kNoFile;
    struct stat info;
    if (fstat(fd, &info) == 0 && IsPlainFileWithOneName(info)) return fd;
    close(fd);
    return kNoFile;
  }

  std::ptrdiff_t Read(FileHandle file, void* buffer, std::size_t size) override {
    for (;;) {
      ssize_t got = read(static_cast<int>(file), buffer, size);
      if (got >= 0) return got;
      if (errno != EINTR) return -1;
    }
  }

  bool Write(FileHandle file, const void* data, std::size_t size) override {
    const char* next = static_cast<const char*>(data);
    while (size > 0) {
      ssize_t put = write(static_cast<int>(file), next, size);
      if (put < 0 && errno == EINTR) continue;
      if (put <= 0) return false;
      next += put;
      size -= static_cast<std::size_t>(put);
    }
    return true;
  }

  bool Flush(FileHandle file) override { return fsync(file) == 0; }

  bool Close(FileHandle file) override { return close(static_cast<int>(file)) == 0; }

  // Without share modes nothing keeps a writer out; the page is removed only while its path
  // still names the very file that was read, unchanged since.
  bool DeletePage(FileHandle page, const std::string& path) override {
    struct stat held;
    struct stat named;
    const bool same = fstat(page, &held) == 0 && lstat(path.c_str(), &named) == 0 && SameFileUnchanged(held, named);
    close(page);
    return same && unlink(path.c_str()) == 0;
  }

  bool SyncFolderOf(const std::string& path) override { return SyncFolderHolding(path.c_str()); }

  bool Remove(const std::string& path) override { return unlink(path.c_str()) == 0; }

  MoveResult MoveNoReplace(const std::string& from, const std::string& to) override {
    struct stat info;
    if (lstat(from.c_str(), &info) != 0 || !IsPlainFileWithOneName(info)) return MoveResult::kFailed;
    if (!RenameNoReplace(from.c_str(), to.c_str())) return errno == EEXIST ? MoveResult::kTargetExists : MoveResult::kFailed;
    return MoveResult::kMoved;
  }

  bool ListFolder(const std::string& folder, std::vector<DirectoryEntry>* entries) override {
    UniqueDir dir(opendir(folder.c_str()));
    if (!dir) return false;
    entries->clear();
    errno = 0;
    while (dirent* entry = readdir(dir.get())) {
      std::string name = entry->d_name;
      if (name == "." || name == "..") continue;
      entries->push_back({name, KindOf(folder + name, entry->d_type)});
      errno = 0;
    }
    return errno == 0;
  }

  bool IdentifyFolder(const std::string& folder, FolderIdentity* identity) override {
    struct stat info;
    if (stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) return false;
    identity->volume = static_cast<std::uint64_t>(info.st_dev);
    identity->index = static_cast<std::uint64_t>(info.st_ino);
    return true;
  }

  // Links below the root are never followed, so the paths the walk builds name the files
  // themselves whatever leads to the root.
  void Pause(int milliseconds) override { usleep(static_cast<useconds_t>(milliseconds) * 1000); }

  bool RealFolderPath(const std::string& folder, std::string* real) override {
    *real = folder;
    return true;
  }

 private:
  static EntryKind KindOf(const std::string& path, unsigned char type) {
    if (type == DT_DIR) return EntryKind::kFolder;
    if (type == DT_LNK) return EntryKind::kLink;
    if (type != DT_UNKNOWN) return EntryKind::kFile;
    struct stat info;
    if (lstat(path.c_str(), &info) != 0) return EntryKind::kFile;
    if (S_ISLNK(info.st_mode)) return EntryKind::kLink;
    return S_ISDIR(info.st_mode) ? EntryKind::kFolder : EntryKind::kFile;
  }

  static bool IsPlainFileWithOneName(const struct stat& info) { return S_ISREG(info.st_mode) && info.st_nlink == 1; }
};

}  // namespace

char PathSeparator() { return '/'; }

std::optional<std::string> FolderFromHostText(std::string_view text) {
  if (text.empty()) return std::nullopt;
  return std::string(text);
}

std::size_t PathUnits(std::string_view path) { return path.size(); }

std::string NameKey(std::string_view name) { return std::string(name); }

Files& SystemFiles() {
  static PosixFiles files;
  return files;
}

}  // namespace setupext
