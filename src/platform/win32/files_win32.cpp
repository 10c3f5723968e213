#include <windows.h>

#include "platform/files.h"
#include "platform/win32/handles.h"

namespace setupext {
namespace {

using win32::UniqueFind;
using win32::UniqueKernelHandle;

class Win32Files final : public Files {
 public:
  void SetQuietErrorMode() override { SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX); }

  FileHandle CreateNew(const std::string& path) override {
    return CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                       FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  }

  FileHandle OpenForReading(const std::string& path) override {
    return CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  }

  std::ptrdiff_t Read(FileHandle file, void* buffer, std::size_t size) override {
    DWORD got = 0;
    if (!ReadFile(file, buffer, static_cast<DWORD>(size), &got, nullptr)) return -1;
    return static_cast<std::ptrdiff_t>(got);
  }

  bool Write(FileHandle file, const void* data, std::size_t size) override {
    const char* next = static_cast<const char*>(data);
    while (size > 0) {
      DWORD put = 0;
      if (!WriteFile(file, next, static_cast<DWORD>(size), &put, nullptr) || put == 0) return false;
      next += put;
      size -= put;
    }
    return true;
  }

  bool Close(FileHandle file) override { return CloseHandle(file) != 0; }

  bool Remove(const std::string& path) override { return DeleteFileA(path.c_str()) != 0; }

  bool MoveNoReplace(const std::string& from, const std::string& to) override {
    // Without MOVEFILE_REPLACE_EXISTING the move fails when the target exists.
    return MoveFileA(from.c_str(), to.c_str()) != 0;
  }

  bool ListFolder(const std::string& folder, std::vector<DirectoryEntry>* entries) override {
    WIN32_FIND_DATAA data;
    UniqueFind search(FindFirstFileA((folder + "*.*").c_str(), &data));
    if (!search.is_open()) return false;
    entries->clear();
    do {
      std::string name = data.cFileName;
      if (name == "." || name == "..") continue;
      entries->push_back({name, (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0});
    } while (FindNextFileA(search.get(), &data));
    return true;
  }

  bool IdentifyFolder(const std::string& folder, FolderIdentity* identity) override {
    // FILE_FLAG_BACKUP_SEMANTICS opens folders; links are followed to the folder they name.
    UniqueKernelHandle handle(CreateFileA(folder.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    BY_HANDLE_FILE_INFORMATION info;
    if (!handle.is_open() || !GetFileInformationByHandle(handle.get(), &info)) return false;
    identity->volume = info.dwVolumeSerialNumber;
    identity->index = (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    return true;
  }
};

}  // namespace

char PathSeparator() { return '\\'; }

Files& SystemFiles() {
  static Win32Files files;
  return files;
}

}  // namespace setupext
