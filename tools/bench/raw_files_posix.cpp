// The module's POSIX file calls (src/platform/posix/files_posix.cpp), one system call each
// where the module makes one, with none of its error handling.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "raw_files.h"

namespace setupext::raw {
namespace {

bool PlainWithOneName(const struct stat& info) { return S_ISREG(info.st_mode) && info.st_nlink == 1; }

bool Unchanged(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size &&
         a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
}

}  // namespace

char Separator() { return '/'; }

bool RealFolder(const std::string& folder, std::string* real) {
  *real = folder;  // the walk never follows links below it, so the path itself will do
  return true;
}

bool Identify(const std::string& folder, std::uint64_t* volume, std::uint64_t* index) {
  struct stat info;
  if (stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) return false;
  *volume = info.st_dev;
  *index = info.st_ino;
  return true;
}

bool List(const std::string& folder, std::vector<Entry>* entries) {
  DIR* dir = opendir(folder.c_str());
  if (!dir) return false;
  while (dirent* entry = readdir(dir)) {
    const std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    Kind kind = entry->d_type == DT_DIR ? Kind::kFolder : entry->d_type == DT_LNK ? Kind::kLink : Kind::kFile;
    struct stat info;
    if (entry->d_type == DT_UNKNOWN && lstat((folder + name).c_str(), &info) == 0)
      kind = S_ISLNK(info.st_mode) ? Kind::kLink : S_ISDIR(info.st_mode) ? Kind::kFolder : Kind::kFile;
    entries->push_back({name, kind});
  }
  closedir(dir);
  return true;
}

void QuietErrors() {}

File CreateNew(const std::string& path) { return open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666); }

File OpenPage(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  struct stat info;
  if (fd < 0 || (fstat(fd, &info) == 0 && PlainWithOneName(info))) return fd;
  close(fd);
  return kNone;
}

std::ptrdiff_t Read(File file, void* buffer, std::size_t size) { return read(static_cast<int>(file), buffer, size); }
bool Write(File file, const void* data, std::size_t size) {
  return write(static_cast<int>(file), data, size) == static_cast<ssize_t>(size);
}
bool Flush(File file) { return fsync(static_cast<int>(file)) == 0; }
bool Close(File file) { return close(static_cast<int>(file)) == 0; }

bool SyncFolder(const std::string& folder) {
  const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  const bool synced = fd >= 0 && fsync(fd) == 0;
  if (fd >= 0) close(fd);
  return synced;
}

// The page goes only while its path still names the file that was read, unchanged.
bool DeletePage(File page, const std::string& path) {
  struct stat held, named;
  const bool same = fstat(static_cast<int>(page), &held) == 0 && lstat(path.c_str(), &named) == 0 && Unchanged(held, named);
  close(static_cast<int>(page));
  return same && unlink(path.c_str()) == 0;
}

// Folders are synced after their moves, not here.
bool MoveNoReplace(const std::string& from, const std::string& to, bool) {
  constexpr unsigned kNoReplace = 1;  // RENAME_NOREPLACE
  struct stat info;
  return lstat(from.c_str(), &info) == 0 && PlainWithOneName(info) &&
         syscall(SYS_renameat2, AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), kNoReplace) == 0;
}

}  // namespace setupext::raw
