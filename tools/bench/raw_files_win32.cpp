// The floor program's Win32 calls: wide calls on "\\?\" paths, by path, one call each.
#include <windows.h>

#include <string_view>

#include "raw_files.h"

namespace setupext::raw {
namespace {

// Paths are UTF-8 here; the walk starts from a "\\?\" path.
std::wstring Wide(const std::string& path) {
  const int size = MultiByteToWideChar(CP_UTF8, 0, path.c_str(), -1, nullptr, 0);
  std::wstring wide(size > 0 ? static_cast<std::size_t>(size) : 1, L'\0');
  MultiByteToWideChar(CP_UTF8, 0, path.c_str(), -1, wide.data(), size);
  wide.resize(wide.size() - 1);
  return wide.starts_with(L"\\\\?\\") ? wide : L"\\\\?\\" + wide;
}

std::string Utf8(const wchar_t* name) {
  const int size = WideCharToMultiByte(CP_UTF8, 0, name, -1, nullptr, 0, nullptr, nullptr);
  std::string narrow(size > 0 ? static_cast<std::size_t>(size) : 1, '\0');
  WideCharToMultiByte(CP_UTF8, 0, name, -1, narrow.data(), size, nullptr, nullptr);
  narrow.resize(narrow.size() - 1);
  return narrow;
}

HANDLE Native(File file) { return reinterpret_cast<HANDLE>(file); }
File Ours(HANDLE handle) { return handle == INVALID_HANDLE_VALUE ? kNone : reinterpret_cast<File>(handle); }

HANDLE OpenFolder(const std::string& folder) {
  return CreateFileW(Wide(folder).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                     OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

}  // namespace

char Separator() { return '\\'; }

bool RealFolder(const std::string& folder, std::string* real) {
  wchar_t full[MAX_PATH * 4], final_path[32768];
  const DWORD length = GetFullPathNameW(Wide(folder).c_str() + 4, MAX_PATH * 4, full, nullptr);
  if (length == 0 || length >= MAX_PATH * 4) return false;
  HANDLE handle = OpenFolder(Utf8(full));
  if (handle == INVALID_HANDLE_VALUE) return false;
  const DWORD got = GetFinalPathNameByHandleW(handle, final_path, 32768, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
  CloseHandle(handle);
  if (got == 0 || got >= 32768) return false;
  *real = Utf8(final_path);
  return true;
}

bool List(const std::string& folder, std::vector<Entry>* entries) {
  WIN32_FIND_DATAW data;
  const std::wstring pattern = Wide(folder) + L"*";
  HANDLE search = FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &data, FindExSearchNameMatch, nullptr,
                                   FIND_FIRST_EX_LARGE_FETCH);
  if (search == INVALID_HANDLE_VALUE) return false;
  do {
    const std::wstring_view name = data.cFileName;
    if (name == L"." || name == L"..") continue;
    const Kind kind = (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ? Kind::kLink
                      : (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)   ? Kind::kFolder
                                                                             : Kind::kFile;
    entries->push_back({Utf8(data.cFileName), kind});
  } while (FindNextFileW(search, &data));
  FindClose(search);
  return true;
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

File OpenToRead(const std::string& path) {
  return Ours(CreateFileW(Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
}
File CreateToWrite(const std::string& path) {
  return Ours(CreateFileW(Wide(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
}
bool DeleteByName(const std::string& path) { return DeleteFileW(Wide(path).c_str()) != 0; }
bool MoveByName(const std::string& from, const std::string& to) {
  return MoveFileExW(Wide(from).c_str(), Wide(to).c_str(), 0) != 0;
}

}  // namespace setupext::raw
