#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "raw_files.h"

namespace setupext::raw {

char Separator() { return '/'; }

bool Identify(const std::string& folder, std::uint64_t* volume, std::uint64_t* index) {
  struct stat info;
  if (stat(folder.c_str(), &info) != 0) return false;
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
    bool is_folder = entry->d_type == DT_DIR;
    if (entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN) {
      struct stat info;
      is_folder = stat((folder + name).c_str(), &info) == 0 && S_ISDIR(info.st_mode);
    }
    entries->push_back({name, is_folder});
  }
  closedir(dir);
  return true;
}

File CreateNew(const std::string& path) { return open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666); }
File OpenForReading(const std::string& path) { return open(path.c_str(), O_RDONLY | O_CLOEXEC); }
std::ptrdiff_t Read(File file, void* buffer, std::size_t size) { return read(static_cast<int>(file), buffer, size); }
bool Write(File file, const void* data, std::size_t size) {
  return write(static_cast<int>(file), data, size) == static_cast<ssize_t>(size);
}
bool Flush(File file) { return fsync(static_cast<int>(file)) == 0; }
bool Close(File file) { return close(static_cast<int>(file)) == 0; }
bool Remove(const std::string& path) { return unlink(path.c_str()) == 0; }
bool MoveNoReplace(const std::string& from, const std::string& to) {
  constexpr unsigned kNoReplace = 1;  // RENAME_NOREPLACE
  return syscall(SYS_renameat2, AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), kNoReplace) == 0;
}

}  // namespace setupext::raw
