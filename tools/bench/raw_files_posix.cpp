// The floor program's POSIX calls: one system call each, by path.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "raw_files.h"

namespace setupext::raw {
namespace {

int Descriptor(File file) { return static_cast<int>(file); }

}  // namespace

char Separator() { return '/'; }

bool RealFolder(const std::string& folder, std::string* real) {
  *real = folder;  // the walk never follows links below it, so the path itself will do
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

std::ptrdiff_t Read(File file, void* buffer, std::size_t size) { return read(Descriptor(file), buffer, size); }
bool Write(File file, const void* data, std::size_t size) {
  return write(Descriptor(file), data, size) == static_cast<ssize_t>(size);
}
bool Flush(File file) { return fsync(Descriptor(file)) == 0; }
bool Close(File file) { return close(Descriptor(file)) == 0; }

File OpenToRead(const std::string& path) { return open(path.c_str(), O_RDONLY); }
File CreateToWrite(const std::string& path) { return open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0666); }
bool DeleteByName(const std::string& path) { return unlink(path.c_str()) == 0; }
bool MoveByName(const std::string& from, const std::string& to) { return rename(from.c_str(), to.c_str()) == 0; }

}  // namespace setupext::raw
