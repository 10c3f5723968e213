// The Win32 file layer. Every call takes a wide "\\?\" path, so names in any script and paths
// up to the walk's limits work on every Windows version, whatever the host's manifest says,
// and reserved device names ("con", "nul") are ordinary files.
#include <windows.h>

#include "platform/files.h"
#include "platform/win32/handles.h"
#include "platform/win32/wide_text.h"

namespace setupext {
namespace {

using win32::UniqueFind;
using win32::UniqueKernelHandle;

std::wstring SystemPath(const std::string& path) { return win32::ExtendedPath(win32::WideFromUtf8(path)); }

bool EqualIgnoringCase(std::wstring_view a, std::wstring_view b) {
  return CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(), static_cast<int>(b.size()), TRUE) ==
         CSTR_EQUAL;
}

// The path of an open file below its volume, as the system names it ("\dir\a.pag"), in the
// caller's buffer. Paths the walk builds are far shorter; a longer name fails, and the file
// is left alone.
struct NameBuffer {
  alignas(FILE_NAME_INFO) char bytes[sizeof(FILE_NAME_INFO) + 2 * 4096];
};

std::optional<std::wstring_view> NameBelowVolume(HANDLE file, NameBuffer& buffer) {
  auto* info = reinterpret_cast<FILE_NAME_INFO*>(buffer.bytes);
  if (!GetFileInformationByHandleEx(file, FileNameInfo, info, sizeof buffer.bytes)) return std::nullopt;
  return std::wstring_view(info->FileName, info->FileNameLength / sizeof(wchar_t));
}

// Whether the handle is the file that `extended` names, not one reached through a link: the
// system's name for it below its volume is the path's own part after the volume.
bool ReachedByThisPath(HANDLE file, std::wstring_view extended) {
  NameBuffer buffer;
  const std::optional<std::wstring_view> name = NameBelowVolume(file, buffer);
  if (!name || name->empty()) return false;
  std::wstring_view below = extended;
  if (below.starts_with(L"\\\\?\\UNC\\")) {
    // "server\share\rest": a share's files may be named from the server or from the share.
    below.remove_prefix(8);
    const std::size_t share = below.find(L'\\');
    const std::size_t rest = share == std::wstring_view::npos ? share : below.find(L'\\', share + 1);
    if (rest == std::wstring_view::npos) return false;
    return EqualIgnoringCase(*name, below.substr(rest)) ||
           (name->front() == L'\\' && EqualIgnoringCase(name->substr(1), below));
  }
  if (below.starts_with(L"\\\\?\\")) below.remove_prefix(4);
  const std::size_t root = below.find(L'\\');
  if (root == std::wstring_view::npos) return false;
  return EqualIgnoringCase(*name, below.substr(root));
}

// A regular file, not a link or a folder, with exactly one name, reached by this very path.
bool IsPlainFileWithOneName(HANDLE file, std::wstring_view extended) {
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(file, &info)) return false;
  if (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) return false;
  return info.nNumberOfLinks == 1 && ReachedByThisPath(file, extended);
}

HANDLE OpenWithoutFollowing(const wchar_t* extended, DWORD access, DWORD sharing) {
  return CreateFileW(extended, access, sharing, nullptr, OPEN_EXISTING,
                     FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
}

// Errors of a file that someone else holds for a moment.
bool IsBusy(DWORD error) {
  return error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED || error == ERROR_LOCK_VIOLATION;
}

// Renames an open file through its handle, never over an existing one.
bool RenameByHandle(HANDLE file, std::wstring_view extended_target) {
  // The system takes the target in its own form: "\??\" instead of "\\?\".
  struct {
    FILE_RENAME_INFO info;
    wchar_t rest[2100];
  } rename{};
  if (extended_target.size() >= 2100 || !extended_target.starts_with(L"\\\\?\\")) return false;
  rename.info.ReplaceIfExists = FALSE;
  rename.info.RootDirectory = nullptr;
  wchar_t* name = rename.info.FileName;
  name[0] = L'\\';
  name[1] = L'?';
  name[2] = L'?';
  name[3] = L'\\';
  extended_target.substr(4).copy(name + 4, extended_target.size() - 4);
  rename.info.FileNameLength = static_cast<DWORD>(extended_target.size() * sizeof(wchar_t));
  return SetFileInformationByHandle(file, FileRenameInfo, &rename, sizeof rename) != 0;
}

bool MarkForDeletion(HANDLE file) {
  FILE_DISPOSITION_INFO disposition{};
  disposition.DeleteFile = TRUE;
  return SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof disposition) != 0;
}

// The name goes at once, even while others hold the file: POSIX semantics, where the system
// has them (Windows 10 and later, on NTFS).
bool DeleteAtOnce(HANDLE file) {
  constexpr DWORD kDelete = 0x1, kPosixSemantics = 0x2;
  constexpr auto kDispositionInfoEx = static_cast<FILE_INFO_BY_HANDLE_CLASS>(21);
  DWORD flags = kDelete | kPosixSemantics;
  return SetFileInformationByHandle(file, kDispositionInfoEx, &flags, sizeof flags) != 0;
}

// A name beside the page for it to wait under while others still hold it: neither ".pag" nor
// ".tmp" in it, so no pass ever takes it for a page or an output.
std::wstring WaitingName(const std::wstring& extended_page, unsigned attempt) {
  const std::size_t slash = extended_page.rfind(L'\\');
  const std::size_t dot = extended_page.find(L'.', slash);
  std::wstring name = extended_page.substr(0, dot == std::wstring::npos ? extended_page.size() : dot);
  name += L"~deleted-";
  for (DWORD number = GetCurrentProcessId() * 8 + attempt; number > 0; number /= 16)
    name += L"0123456789abcdef"[number % 16];
  return name;
}

// Junctions, symbolic links and mount points are name surrogates. A reparse point whose tag
// the system does not give is taken as a link too: better left alone than followed.
EntryKind KindOf(const WIN32_FIND_DATAW& data) {
  const bool folder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  if (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
    const DWORD tag = data.dwReserved0;
    if (tag == 0 || IsReparseTagNameSurrogate(tag)) return EntryKind::kLink;
  }
  return folder ? EntryKind::kFolder : EntryKind::kFile;
}

// The basic information level and large fetches came with Windows 7; Vista refuses them.
HANDLE FindFirst(const std::wstring& pattern, WIN32_FIND_DATAW* data) {
  HANDLE search = FindFirstFileExW(pattern.c_str(), FindExInfoBasic, data, FindExSearchNameMatch, nullptr,
                                   FIND_FIRST_EX_LARGE_FETCH);
  if (search == INVALID_HANDLE_VALUE && GetLastError() == ERROR_INVALID_PARAMETER)
    search = FindFirstFileExW(pattern.c_str(), FindExInfoStandard, data, FindExSearchNameMatch, nullptr, 0);
  return search;
}

class Win32Files final : public Files {
 public:
  void SetQuietErrorMode() override { SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX); }

  FileHandle CreateNew(const std::string& path) override {
    return CreateFileW(SystemPath(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                       FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  }

  FileHandle OpenPage(const std::string& path) override {
    const std::wstring extended = SystemPath(path);
    UniqueKernelHandle page(OpenWithoutFollowing(extended.c_str(), GENERIC_READ | DELETE, FILE_SHARE_READ));
    if (!page.is_open() || !IsPlainFileWithOneName(page.get(), extended)) return kNoFile;
    return page.release();
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

  bool Flush(FileHandle file) override { return FlushFileBuffers(file) != 0; }

  bool Close(FileHandle file) override { return CloseHandle(file) != 0; }

  bool DeletePage(FileHandle page, const std::string& path) override {
    UniqueKernelHandle held(page);
    if (DeleteAtOnce(held.get())) return true;
    // Elsewhere a deleted file keeps its name while others hold it, and the output could not
    // take the name until they let go: the page first moves aside, then goes.
    const std::wstring extended = SystemPath(path);
    bool moved_aside = false;
    for (unsigned attempt = 0; attempt < 4 && !moved_aside; ++attempt)
      moved_aside = RenameByHandle(held.get(), WaitingName(extended, attempt));
    if (!MarkForDeletion(held.get())) {
      if (moved_aside) RenameByHandle(held.get(), extended);
      return false;
    }
    return true;  // the file goes when the last handle to it closes, ours first
  }

  bool Remove(const std::string& path) override { return DeleteFileW(SystemPath(path).c_str()) != 0; }

  MoveResult MoveNoReplace(const std::string& from, const std::string& to) override {
    const win32::FixedExtendedPath source(from);
    const win32::FixedExtendedPath target(to);
    if (!source.ok() || !target.ok()) return MoveResult::kFailed;
    {
      UniqueKernelHandle file(OpenWithoutFollowing(source.c_str(), FILE_READ_ATTRIBUTES,
                                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE));
      if (!file.is_open()) return IsBusy(GetLastError()) ? MoveResult::kBusy : MoveResult::kFailed;
      if (!IsPlainFileWithOneName(file.get(), source.view())) return MoveResult::kFailed;
    }
    // Without MOVEFILE_REPLACE_EXISTING the move fails when the target exists.
    if (MoveFileExW(source.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH)) return MoveResult::kMoved;
    const DWORD error = GetLastError();
    if (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS) return MoveResult::kTargetExists;
    return IsBusy(error) ? MoveResult::kBusy : MoveResult::kFailed;
  }

  bool ListFolder(const std::string& folder, std::vector<DirectoryEntry>* entries) override {
    WIN32_FIND_DATAW data;
    UniqueFind search(FindFirst(SystemPath(folder) + L"*", &data));
    if (!search.is_open()) return false;
    entries->clear();
    do {
      const std::wstring_view name = data.cFileName;
      if (name == L"." || name == L"..") continue;
      entries->push_back({win32::Utf8FromWide(name), KindOf(data)});
    } while (FindNextFileW(search.get(), &data));
    // Anything but the end is a listing cut short: the folder is one that cannot be listed.
    return GetLastError() == ERROR_NO_MORE_FILES;
  }

  bool IdentifyFolder(const std::string& folder, FolderIdentity* identity) override {
    UniqueKernelHandle handle(OpenFolder(folder));
    BY_HANDLE_FILE_INFORMATION info;
    if (!handle.is_open() || !GetFileInformationByHandle(handle.get(), &info)) return false;
    identity->volume = info.dwVolumeSerialNumber;
    identity->index = (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    return true;
  }

  void Pause(int milliseconds) override { Sleep(static_cast<DWORD>(milliseconds)); }

  // NTFS journals names in order: a page's deletion never outlives a cut that its output's
  // creation does not, and moves are written through.
  bool SyncFolderOf(const std::string&) override { return true; }

  bool RealFolderPath(const std::string& folder, std::string* real) override {
    UniqueKernelHandle handle(OpenFolder(folder));
    if (!handle.is_open()) return false;
    std::wstring buffer(32768, L'\0');
    const DWORD length = GetFinalPathNameByHandleW(handle.get(), buffer.data(), static_cast<DWORD>(buffer.size()),
                                                   FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (length == 0 || length >= buffer.size()) return false;
    buffer.resize(length);
    *real = win32::Utf8FromWide(win32::PlainPath(buffer));
    return true;
  }

 private:
  // FILE_FLAG_BACKUP_SEMANTICS opens folders; a link is followed to the folder it names.
  static HANDLE OpenFolder(const std::string& folder) {
    return CreateFileW(SystemPath(folder).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                       nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  }
};

}  // namespace

char PathSeparator() { return '\\'; }

std::optional<std::string> FolderFromHostText(std::string_view text) {
  const std::optional<std::wstring> wide = win32::WideFromAnsi(text);
  if (!wide || wide->empty()) return std::nullopt;
  // A relative folder, or one on the current drive, keeps its meaning for the host.
  const DWORD needed = GetFullPathNameW(wide->c_str(), 0, nullptr, nullptr);
  if (needed == 0) return std::nullopt;
  std::wstring full(needed, L'\0');
  const DWORD length = GetFullPathNameW(wide->c_str(), needed, full.data(), nullptr);
  if (length == 0 || length >= needed) return std::nullopt;
  full.resize(length);
  return win32::Utf8FromWide(win32::PlainPath(full));
}

std::string NameKey(std::string_view name) {
  std::wstring wide = win32::WideFromUtf8(name);
  // The system's own upper-casing, as NTFS and FAT compare names.
  if (!wide.empty()) CharUpperBuffW(wide.data(), static_cast<DWORD>(wide.size()));
  return win32::Utf8FromWide(wide);
}

std::size_t PathUnits(std::string_view path) {
  std::size_t units = 0;
  for (const char c : path) {
    const unsigned byte = static_cast<unsigned char>(c);
    if (byte < 0x80 || (byte >= 0xC0 && byte < 0xF0)) units += 1;  // a character in one unit
    else if (byte >= 0xF0) units += 2;                              // a surrogate pair
  }
  return units;
}

Files& SystemFiles() {
  static Win32Files files;
  return files;
}

}  // namespace setupext
