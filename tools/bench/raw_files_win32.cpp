// The module's Win32 file calls (src/platform/win32/files_win32.cpp): wide calls on "\\?\"
// paths, the same flags and the same checks on the handle, with none of its error handling;
// and the naive calls.
#include <windows.h>
#include <winternl.h>

#include <string_view>

#include "raw_files.h"

namespace setupext::raw {
namespace {

constexpr std::size_t kNameCapacity = 1100;  // as the module's wide path buffers

// Paths are UTF-8 here, as in the module; the walk starts from a "\\?\" path.
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

HANDLE OpenWithoutFollowing(const std::wstring& extended, DWORD access, DWORD sharing) {
  return CreateFileW(extended.c_str(), access, sharing, nullptr, OPEN_EXISTING,
                     FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
}

// The module's one query on the handle: attributes, size, links and the name below the volume,
// which must be the path's part after "\\?\X:".
bool PlainWithOneName(HANDLE file, const std::wstring& extended, std::uint64_t* size) {
  struct {
    FILE_ALL_INFORMATION all;
    wchar_t rest[kNameCapacity];
  } facts;
  IO_STATUS_BLOCK status{};
  if (!NT_SUCCESS(NtQueryInformationFile(file, &status, &facts, sizeof facts, FileAllInformation))) return false;
  if (facts.all.BasicInformation.FileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) return false;
  if (facts.all.StandardInformation.Directory || facts.all.StandardInformation.NumberOfLinks != 1) return false;
  if (size) *size = static_cast<std::uint64_t>(facts.all.StandardInformation.EndOfFile.QuadPart);
  const std::size_t root = extended.find(L'\\', 4);
  if (root == std::wstring::npos) return false;
  const std::wstring_view below = std::wstring_view(extended).substr(root);
  const FILE_NAME_INFORMATION& name = facts.all.NameInformation;
  return CompareStringOrdinal(name.FileName, static_cast<int>(name.FileNameLength / sizeof(wchar_t)), below.data(),
                              static_cast<int>(below.size()), TRUE) == CSTR_EQUAL;
}

bool RenameByHandle(HANDLE file, const std::wstring& extended_target) {
  struct {
    FILE_RENAME_INFO info;
    wchar_t rest[kNameCapacity];
  } rename{};
  const std::wstring target = L"\\??\\" + extended_target.substr(4);
  rename.info.ReplaceIfExists = FALSE;
  target.copy(rename.info.FileName, target.size());
  rename.info.FileNameLength = static_cast<DWORD>(target.size() * sizeof(wchar_t));
  return SetFileInformationByHandle(file, FileRenameInfo, &rename, sizeof rename) != 0;
}

bool MarkForDeletion(HANDLE file) {
  FILE_DISPOSITION_INFO disposition{};
  disposition.DeleteFile = TRUE;
  return SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof disposition) != 0;
}

bool DeleteAtOnce(HANDLE file) {
  constexpr auto kDispositionInfoEx = static_cast<FILE_INFO_BY_HANDLE_CLASS>(21);
  DWORD flags = 0x1 | 0x2;  // delete, POSIX semantics
  return SetFileInformationByHandle(file, kDispositionInfoEx, &flags, sizeof flags) != 0;
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

bool Identify(const std::string& folder, std::uint64_t* volume, std::uint64_t* index) {
  HANDLE handle = OpenFolder(folder);
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

bool KeepsNamesInOrder() { return true; }

void QuietErrors() { SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX); }

File OpenPage(const std::string& path, std::uint64_t* size, Stamp*) {
  const std::wstring extended = Wide(path);
  HANDLE page = OpenWithoutFollowing(extended, GENERIC_READ | DELETE, FILE_SHARE_READ);
  if (page == INVALID_HANDLE_VALUE || PlainWithOneName(page, extended, size)) return Ours(page);
  CloseHandle(page);
  return kNone;
}

// With DELETE access, as the module: whoever opens the output later must share deletion.
File CreateNew(const std::string& path) {
  return Ours(CreateFileW(Wide(path).c_str(), GENERIC_WRITE | DELETE, FILE_SHARE_READ, nullptr, CREATE_NEW,
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

// At once where the system has POSIX deletion; else moved aside by handle, then marked.
bool DeletePage(File page, const Stamp&, const std::string&, const std::string& aside) {
  const HANDLE handle = Native(page);
  bool deleted = DeleteAtOnce(handle);
  if (!deleted) {
    if (!aside.empty()) RenameByHandle(handle, Wide(aside));
    deleted = MarkForDeletion(handle);
  }
  return CloseHandle(handle) && deleted;
}

bool RenameNew(File output, const std::string&, const std::string& to) { return RenameByHandle(Native(output), Wide(to)); }

bool MoveNoReplace(const std::string& from, const std::string& to, bool durable) {
  const std::wstring source = Wide(from);
  HANDLE file = OpenWithoutFollowing(source, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
  if (file == INVALID_HANDLE_VALUE) return false;
  // Without MOVEFILE_REPLACE_EXISTING the move fails when the target exists.
  const bool moved = PlainWithOneName(file, source, nullptr) &&
                     MoveFileExW(source.c_str(), Wide(to).c_str(), durable ? MOVEFILE_WRITE_THROUGH : 0);
  CloseHandle(file);
  return moved;
}

bool SyncFolder(const std::string&) { return true; }

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
