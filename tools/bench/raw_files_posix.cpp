// The module's POSIX file calls (src/platform/posix/files_posix.cpp), one system call each
// where the module makes one, with none of its error handling; and the naive calls.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "raw_files.h"

namespace setupext::raw {
namespace {

bool PlainWithOneName(const struct stat& info) { return S_ISREG(info.st_mode) && info.st_nlink == 1; }


bool RenameNoReplace(const std::string& from, const std::string& to) {
  constexpr unsigned kNoReplace = 1;  // RENAME_NOREPLACE
  return syscall(SYS_renameat2, AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), kNoReplace) == 0;
}

int Descriptor(File file) { return static_cast<int>(file); }

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
    if (entry->d_type == DT_UNKNOWN && fstatat(dirfd(dir), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0)
      kind = S_ISLNK(info.st_mode) ? Kind::kLink : S_ISDIR(info.st_mode) ? Kind::kFolder : Kind::kFile;
    entries->push_back({name, kind});
  }
  closedir(dir);
  return true;
}

bool KeepsNamesInOrder() { return false; }

void QuietErrors() {}

Stamp StampOf(const struct stat& info) {
  return {static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino),
          static_cast<std::uint64_t>(info.st_size),
          static_cast<std::uint64_t>(info.st_mtim.tv_sec) * 1000000000u + static_cast<std::uint64_t>(info.st_mtim.tv_nsec)};
}

File OpenPage(const std::string& path, std::uint64_t* size, Stamp* stamp) {
  const int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return kNone;
  struct stat info;
  if (fstat(fd, &info) == 0 && PlainWithOneName(info)) {
    *size = static_cast<std::uint64_t>(info.st_size);
    *stamp = StampOf(info);
    return fd;
  }
  close(fd);
  return kNone;
}

File CreateNew(const std::string& path) {
  return open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
}

std::ptrdiff_t Read(File file, void* buffer, std::size_t size) { return read(Descriptor(file), buffer, size); }
bool Write(File file, const void* data, std::size_t size) {
  return write(Descriptor(file), data, size) == static_cast<ssize_t>(size);
}
bool Flush(File file) { return fsync(Descriptor(file)) == 0; }
bool Close(File file) { return close(Descriptor(file)) == 0; }

// The page goes only while its path still names the file that was read, unchanged.
bool DeletePage(File page, const Stamp& stamp, const std::string& path, const std::string&) {
  struct stat named;
  const bool same = lstat(path.c_str(), &named) == 0 && StampOf(named) == stamp;
  close(Descriptor(page));
  return same && unlink(path.c_str()) == 0;
}

bool RenameNew(File, const std::string& from, const std::string& to) { return RenameNoReplace(from, to); }

// Folders are synced after their moves, not here.
bool MoveNoReplace(const std::string& from, const std::string& to, bool) {
  struct stat info;
  return lstat(from.c_str(), &info) == 0 && PlainWithOneName(info) && RenameNoReplace(from, to);
}

bool SyncFolder(const std::string& folder) {
  const std::string path = folder.size() > 1 && folder.back() == '/' ? folder.substr(0, folder.size() - 1) : folder;
  const int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  const bool synced = fd >= 0 && fsync(fd) == 0;
  if (fd >= 0) close(fd);
  return synced;
}

File OpenToRead(const std::string& path) { return open(path.c_str(), O_RDONLY); }
File CreateToWrite(const std::string& path) { return open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0666); }
bool DeleteByName(const std::string& path) { return unlink(path.c_str()) == 0; }
bool MoveByName(const std::string& from, const std::string& to) { return rename(from.c_str(), to.c_str()) == 0; }

}  // namespace setupext::raw
