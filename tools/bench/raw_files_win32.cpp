#include <windows.h>

#include "raw_files.h"

namespace setupext::raw {
namespace {

std::wstring Wide(const std::string& path) {
  const int size = MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, nullptr, 0);
  std::wstring wide(size > 0 ? static_cast<std::size_t>(size) : 1, L'\0');
  MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide.data(), size);
  return wide;
}

std::string Narrow(const wchar_t* name) {
  const int size = WideCharToMultiByte(CP_ACP, 0, name, -1, nullptr, 0, nullptr, nullptr);
  std::string narrow(size > 0 ? static_cast<std::size_t>(size) : 1, '\0');
  WideCharToMultiByte(CP_ACP, 0, name, -1, narrow.data(), size, nullptr, nullptr);
  narrow.resize(narrow.size() - 1);
  return narrow;
}

HANDLE Native(File file) { return reinterpret_cast<HANDLE>(file); }
File Ours(HANDLE handle) { return handle == INVALID_HANDLE_VALUE ? kNone : reinterpret_cast<File>(handle); }

}  // namespace

char Separator() { return '\\'; }

bool Identify(const std::string& folder, std::uint64_t* volume, std::uint64_t* index) {
  HANDLE handle = CreateFileW(Wide(folder).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION info{};
  const bool known = GetFileInformationByHandle(handle, &info) != 0;
  CloseHandle(handle);
  *volume = info.dwVolumeSerialNumber;
  *index = (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  return known;
}

bool List(const std::string& folder, std::vector<Entry>* entries) {
  WIN32_FIND_DATAW data;
  HANDLE search = FindFirstFileW(Wide(folder + "*.*").c_str(), &data);
  if (search == INVALID_HANDLE_VALUE) return false;
  do {
    const std::string name = Narrow(data.cFileName);
    if (name == "." || name == "..") continue;
    entries->push_back({name, (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0});
  } while (FindNextFileW(search, &data));
  FindClose(search);
  return true;
}

File CreateNew(const std::string& path) {
  return Ours(CreateFileW(Wide(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                          FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
}

File OpenForReading(const std::string& path) {
  return Ours(CreateFileW(Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                          FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
}

std::ptrdiff_t Read(File file, void* buffer, std::size_t size) {
  DWORD got = 0;
  if (!ReadFile(Native(file), buffer, static_cast<DWORD>(size), &got, nullptr)) return -1;
  return static_cast<std::ptrdiff_t>(got);
}

bool Write(File file, const void* data, std::size_t size) {
  DWORD put = 0;
  return WriteFile(Native(file), data, static_cast<DWORD>(size), &put, nullptr) && put == size;
}

bool Flush(File file) { return FlushFileBuffers(Native(file)) != 0; }
bool Close(File file) { return CloseHandle(Native(file)) != 0; }
bool Remove(const std::string& path) { return DeleteFileW(Wide(path).c_str()) != 0; }
// Without MOVEFILE_REPLACE_EXISTING the move fails when the target exists.
bool MoveNoReplace(const std::string& from, const std::string& to) {
  return MoveFileW(Wide(from).c_str(), Wide(to).c_str()) != 0;
}

}  // namespace setupext::raw
