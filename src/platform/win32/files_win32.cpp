// The Win32 file layer. Every call takes a wide "\\?\" path, or for a page's own steps its
// name in the folder held open, so names in any script and paths up to the walk's limits work
// on every Windows version, whatever the host's manifest says, and reserved device names
// ("con", "nul") are ordinary files.
#include <windows.h>
#include <winternl.h>

#include <cstddef>
#include <cstring>

#include "platform/files.h"
#include "platform/name_keys.h"
#include "platform/win32/handles.h"
#include "platform/win32/wide_text.h"

namespace setupext {
namespace {

using win32::ExtendedPath;
using win32::ReachedByThisPath;
using win32::UniqueFind;
using win32::UniqueKernelHandle;
using win32::WideText;

// What the checks on an open file need, from one query: its attributes, size, link count and
// its path below its volume as the system names it ("\dir\a.pag"). Paths the walk builds are
// shorter than the buffer; a longer name fails the query, and the file is left alone.
struct FileFacts {
  alignas(8) char bytes[sizeof(FILE_ALL_INFORMATION) + sizeof(wchar_t) * WideText::kCapacity];
  const FILE_ALL_INFORMATION& all() const { return *reinterpret_cast<const FILE_ALL_INFORMATION*>(bytes); }
  std::wstring_view name() const {
    const FILE_NAME_INFORMATION& name = all().NameInformation;
    return {name.FileName, name.FileNameLength / sizeof(wchar_t)};
  }
};

// The DLL imports from kernel32, user32, advapi32 and msvcrt alone, as hosts expect; ntdll,
// loaded in every process, is asked by name.
void* FromNtdll(const char* name) {
  const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  return ntdll ? reinterpret_cast<void*>(GetProcAddress(ntdll, name)) : nullptr;
}

bool QueryFile(HANDLE file, void* facts, ULONG size, ULONG what) {
  using Query = LONG(NTAPI*)(HANDLE, IO_STATUS_BLOCK*, void*, ULONG, ULONG);
  const auto query = reinterpret_cast<Query>(FromNtdll("NtQueryInformationFile"));
  IO_STATUS_BLOCK status{};
  return query && NT_SUCCESS(query(file, &status, facts, size, what));
}

bool QueryFacts(HANDLE file, FileFacts& facts) {
  return QueryFile(file, facts.bytes, sizeof facts.bytes, FileAllInformation);
}

// Wine's folders are Linux folders, whatever its volume queries say: names are held as UTF-8
// bytes there, and may differ only in case.
bool UnderWine() { return FromNtdll("wine_get_version") != nullptr; }

// The attributes a page's French version keeps.
constexpr DWORD kKeptAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                  FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

// kDone for a regular file, not a link or a folder, with exactly one name, reached by this
// very path; otherwise what it is (kFailed when it cannot be asked).
FileResult PlainFileWithOneName(HANDLE file, std::wstring_view extended, std::uint64_t* size = nullptr,
                                DWORD* attributes = nullptr) {
  FileFacts facts;
  if (!QueryFacts(file, facts)) return FileResult::kFailed;
  const FILE_ALL_INFORMATION& all = facts.all();
  if (all.BasicInformation.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) return FileResult::kLink;
  if ((all.BasicInformation.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) || all.StandardInformation.Directory)
    return FileResult::kNotPlain;
  if (size) *size = static_cast<std::uint64_t>(all.StandardInformation.EndOfFile.QuadPart);
  if (attributes) *attributes = all.BasicInformation.FileAttributes & kKeptAttributes;
  if (all.StandardInformation.NumberOfLinks != 1) return FileResult::kSecondName;
  return ReachedByThisPath(facts.name(), extended) ? FileResult::kDone : FileResult::kThroughLink;
}

// Sets a file's attributes through its handle, its times left as they are.
bool SetAttributes(HANDLE file, DWORD attributes) {
  FILE_BASIC_INFO basic{};
  basic.FileAttributes = attributes == 0 ? FILE_ATTRIBUTE_NORMAL : attributes;
  return SetFileInformationByHandle(file, FileBasicInfo, &basic, sizeof basic) != 0;
}

HANDLE OpenWithoutFollowing(const wchar_t* extended, DWORD access, DWORD sharing) {
  return CreateFileW(extended, access, sharing, nullptr, OPEN_EXISTING,
                     FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
}

// Errors of a file or name that someone else holds for a moment.
bool IsBusy(DWORD error) {
  return error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED || error == ERROR_LOCK_VIOLATION;
}

FileResult ResultOf(DWORD error) {
  if (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS) return FileResult::kExists;
  return IsBusy(error) ? FileResult::kBusy : FileResult::kFailed;
}

// The system's errors come as status codes from ntdll's own calls; callers read them as
// Win32 errors, as from any other call.
void SetErrorFromStatus(LONG status) {
  using ToDosError = ULONG(NTAPI*)(LONG);
  const auto to_dos = reinterpret_cast<ToDosError>(FromNtdll("RtlNtStatusToDosError"));
  SetLastError(to_dos ? to_dos(status) : ERROR_GEN_FAILURE);
}

// A path's last name: the name in its folder.
std::wstring_view NameIn(std::wstring_view extended) {
  const std::size_t at = extended.rfind(L'\\') + 1;
  return {extended.data() + at, extended.size() - at};
}

// Opens or creates the file `name` in the folder held open as `folder`, as the POSIX layer
// does with openat: the name is looked up in that folder alone, never again from the
// volume's root, so a folder on the way that became a link since the walk checked it cannot
// lead elsewhere, and only the one name is parsed (Wine also spares resolving the drive).
HANDLE OpenInFolder(HANDLE folder, std::wstring_view name, ACCESS_MASK access, ULONG sharing, ULONG disposition,
                    ULONG options) {
  using Create = LONG(NTAPI*)(HANDLE*, ACCESS_MASK, OBJECT_ATTRIBUTES*, IO_STATUS_BLOCK*, LARGE_INTEGER*, ULONG, ULONG,
                              ULONG, ULONG, void*, ULONG);
  const auto create = reinterpret_cast<Create>(FromNtdll("NtCreateFile"));
  if (!create || name.empty() || name.size() > 0x7FFF) {
    SetLastError(create ? ERROR_INVALID_NAME : ERROR_GEN_FAILURE);
    return INVALID_HANDLE_VALUE;
  }
  const auto bytes = static_cast<USHORT>(name.size() * sizeof(wchar_t));
  UNICODE_STRING text{bytes, bytes, const_cast<wchar_t*>(name.data())};
  OBJECT_ATTRIBUTES object;
  InitializeObjectAttributes(&object, &text, OBJ_CASE_INSENSITIVE, folder, nullptr);
  IO_STATUS_BLOCK io{};
  HANDLE file = INVALID_HANDLE_VALUE;
  // What CreateFileW asks besides the access given: synchronous I/O, attributes readable.
  const LONG status = create(&file, access | SYNCHRONIZE | FILE_READ_ATTRIBUTES, &object, &io, nullptr, FILE_ATTRIBUTE_NORMAL,
                             sharing, disposition, options | FILE_NON_DIRECTORY_FILE | FILE_SYNCHRONOUS_IO_NONALERT,
                             nullptr, 0);
  if (NT_SUCCESS(status)) return file;
  SetErrorFromStatus(status);
  return INVALID_HANDLE_VALUE;
}

// Renames an open file through its handle onto a free name in the folder held as `folder`,
// never over an existing one. The request is built in the target's own buffer, its name
// moved up behind the request's head: a second buffer the size of a path would double the
// stack a rename takes. The buffer's path is spent.
bool RenameInFolder(HANDLE file, HANDLE folder, WideText& extended_target) {
  constexpr std::size_t kHead = offsetof(FILE_RENAME_INFORMATION, FileName) / sizeof(wchar_t);
  static_assert(offsetof(FILE_RENAME_INFORMATION, FileName) % sizeof(wchar_t) == 0);
  static_assert(alignof(WideText) >= alignof(FILE_RENAME_INFORMATION));
  using SetInformation = LONG(NTAPI*)(HANDLE, IO_STATUS_BLOCK*, void*, ULONG, FILE_INFORMATION_CLASS);
  const auto set = reinterpret_cast<SetInformation>(FromNtdll("NtSetInformationFile"));
  const std::wstring_view name = NameIn(extended_target.view());
  if (!set || name.empty() || name.size() + kHead + 1 > WideText::kCapacity) {
    SetLastError(set ? ERROR_INVALID_NAME : ERROR_GEN_FAILURE);
    return false;
  }
  const std::size_t size = name.size();
  wchar_t* const units = extended_target.data();
  std::char_traits<wchar_t>::move(units + kHead, name.data(), size);
  extended_target.SetSize(kHead + size);
  FILE_RENAME_INFORMATION head{};
  head.ReplaceIfExists = FALSE;
  head.RootDirectory = folder;
  head.FileNameLength = static_cast<ULONG>(size * sizeof(wchar_t));
  std::memcpy(units, &head, offsetof(FILE_RENAME_INFORMATION, FileName));
  IO_STATUS_BLOCK io{};
  // ntdll's own call: kernel32's form of it takes the name as a path of the process.
  const LONG status = set(file, &io, units, static_cast<ULONG>((kHead + size) * sizeof(wchar_t)), FileRenameInformation);
  extended_target.Clear();
  if (NT_SUCCESS(status)) return true;
  SetErrorFromStatus(status);
  return false;
}

bool MarkForDeletion(HANDLE file) {
  FILE_DISPOSITION_INFO disposition{};
  disposition.DeleteFile = TRUE;
  return SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof disposition) != 0;
}

// A read-only file cannot be marked for deletion: its attribute is cleared first, and put
// back when the deletion is refused all the same.
bool MarkForDeletion(HANDLE file, DWORD attributes) {
  if (!(attributes & FILE_ATTRIBUTE_READONLY)) return MarkForDeletion(file);
  if (!SetAttributes(file, attributes & ~FILE_ATTRIBUTE_READONLY)) return false;
  if (MarkForDeletion(file)) return true;
  (void)SetAttributes(file, attributes);
  return false;
}

// The name goes at once, even while others hold the file: POSIX semantics, where the system
// has them (Windows 10 and later, on NTFS).
bool DeleteAtOnce(HANDLE file) {
  constexpr DWORD kDelete = 0x1, kPosixSemantics = 0x2, kIgnoreReadOnly = 0x10;
  constexpr auto kDispositionInfoEx = static_cast<FILE_INFO_BY_HANDLE_CLASS>(21);
  DWORD flags = kDelete | kPosixSemantics | kIgnoreReadOnly;
  return SetFileInformationByHandle(file, kDispositionInfoEx, &flags, sizeof flags) != 0;
}

// Moves a file onto a free name; without MOVEFILE_REPLACE_EXISTING the move fails when the
// target exists. Not inlined: its path is on the stack only while it runs.
[[gnu::noinline]] FileResult MoveTo(const WideText& source, std::string_view to) {
  WideText target;
  if (!ExtendedPath(to, target)) return FileResult::kFailed;
  if (MoveFileExW(source.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH)) return FileResult::kDone;
  return ResultOf(GetLastError());
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
HANDLE FindFirst(const wchar_t* pattern, WIN32_FIND_DATAW* data) {
  HANDLE search = FindFirstFileExW(pattern, FindExInfoBasic, data, FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH);
  if (search == INVALID_HANDLE_VALUE && GetLastError() == ERROR_INVALID_PARAMETER)
    search = FindFirstFileExW(pattern, FindExInfoStandard, data, FindExSearchNameMatch, nullptr, 0);
  return search;
}

// FILE_FLAG_BACKUP_SEMANTICS opens folders; a link is followed to the folder it names.
HANDLE OpenFolderFollowing(const wchar_t* extended) {
  return CreateFileW(extended, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                     FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

// Whether no folder on the way to the path's end, the end included, is a link: then the
// path names the folder itself. Asked one folder at a time from the volume's root, each
// folder named by the path cut short in place (and mended after) rather than copied.
bool NoLinkOnTheWay(WideText& extended_text) {
  const std::wstring_view extended = extended_text.view();
  wchar_t* const units = extended_text.data();
  std::size_t next = extended.find(L'\\', extended.starts_with(L"\\\\?\\UNC\\") ? 8 : 4);
  if (extended.starts_with(L"\\\\?\\UNC\\") && next != std::wstring_view::npos) next = extended.find(L'\\', next + 1);
  while (next != std::wstring_view::npos) {
    next = extended.find(L'\\', next + 1);
    const std::size_t end = next == std::wstring_view::npos ? extended.size() : next;
    if (units[end - 1] == L'\\') continue;
    const wchar_t cut = units[end];
    units[end] = L'\0';
    const DWORD attributes = GetFileAttributesW(units);
    units[end] = cut;
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) return false;
  }
  return true;
}

// Whether names in the folder keep their case apart ("a.pag" beside "A.pag"), as Windows 10
// lets a folder say; where the query is refused (older systems, Wine), names fold.
bool IsCaseSensitive(HANDLE folder) {
  constexpr ULONG kCaseSensitiveInformation = 71, kCaseSensitiveFolder = 0x1;
  ULONG flags = 0;
  return QueryFile(folder, &flags, sizeof flags, kCaseSensitiveInformation) && (flags & kCaseSensitiveFolder);
}

// NTFS and ReFS journal names in order: a page's deletion never outlives a cut that its
// output's creation does not. Any other volume, or one that cannot be asked, is synced. A
// volume with POSIX deletion (NTFS on Windows 10 and later) frees a deleted file's name though
// others still hold it.
void AskVolume(HANDLE folder, FolderFacts& facts) {
  constexpr DWORD kPosixUnlinkRename = 0x400;
  wchar_t system[MAX_PATH + 1] = {};
  DWORD longest = 0, flags = 0;
  facts.case_sensitive = IsCaseSensitive(folder);
  facts.name_unit = NameUnit::kUtf16;
  facts.name_limit = 255;
  facts.frees_names_at_once = false;
  if (GetVolumeInformationByHandleW(folder, nullptr, 0, nullptr, &longest, &flags, system, MAX_PATH + 1)) {
    if (longest > 0 && longest < 32768) facts.name_limit = longest;
    const std::wstring_view name = system;
    facts.names_in_order = name == L"NTFS" || name == L"ReFS";
    facts.frees_names_at_once = (flags & kPosixUnlinkRename) != 0;
  }
  if (UnderWine()) {
    // Linux counts a name's bytes, and Wine's names are UTF-8 there.
    facts.name_unit = NameUnit::kBytes;
    facts.name_limit = 255;
  }
}

// Whether the system lets this process open the path for `access` now: kNo where the rights
// refuse it, kUnknown where the path cannot be asked or another program holds it.
Permission MayOpen(std::string_view path, DWORD access, DWORD flags) {
  win32::WideText extended;
  if (!ExtendedPath(path, extended)) return Permission::kUnknown;
  const UniqueKernelHandle opened(CreateFileW(extended.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                              nullptr, OPEN_EXISTING, flags, nullptr));
  if (opened.is_open()) return Permission::kYes;
  return GetLastError() == ERROR_ACCESS_DENIED ? Permission::kNo : Permission::kUnknown;
}

std::string_view FolderOf(std::string_view path) { return Part(path, 0, path.rfind('\\') + 1); }

// Under Wine a Linux name that is no UTF-8 is listed with U+FFFD in place of its bytes, and
// twins ("a.pag" beside "A.pag", which Linux holds apart) are folded together by Wine's
// lookups: such a name, written back, names another file or none, or cannot be made while its
// twin is there. Neither is ever renamed. (A name that truly holds U+FFFD is left with them.)
bool WineCarries(std::wstring_view name) { return name.find(L'\xFFFD') == std::wstring_view::npos; }

[[nodiscard]] bool MarkTwinsNotCarried(Listing& entries) {
  NameKeys folded(false);
  for (std::uint32_t i = 0; i < entries.size(); ++i) {
    if (!folded.Add(i, entries.name(i))) return false;
  }
  folded.Sort();
  for (std::size_t rank = 1; rank < folded.size(); ++rank) {
    if (folded.Key(rank - 1) != folded.Key(rank)) continue;
    entries.MarkNotCarried(folded.Entry(rank - 1));
    entries.MarkNotCarried(folded.Entry(rank));
  }
  return true;
}

class Win32Files final : public Files {
 public:
  constexpr Win32Files() = default;

  void SetQuietErrorMode() noexcept override { SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX); }

  // The folder is held open (sharing everything) while its plan is carried out; a link at its
  // name is not followed.
  FolderOpen OpenFolder(std::string_view path, std::uint64_t expected_index, File& folder,
                        FolderFacts& facts) noexcept override {
    WideText extended;
    if (!ExtendedPath(path, extended)) return FolderOpen::kFailed;
    UniqueKernelHandle handle(CreateFileW(extended.c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                          FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!handle.is_open()) return FolderOpen::kFailed;
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(handle.get(), &info) || !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
      return FolderOpen::kFailed;
    if (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) return FolderOpen::kLink;
    const std::uint64_t index = (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    if (expected_index != 0 && index != expected_index) return FolderOpen::kChanged;
    facts = {};
    facts.identity = {info.dwVolumeSerialNumber, index};
    AskVolume(handle.get(), facts);
    // Where names must be synced, the folder's own entries are flushed through this handle.
    if (!facts.names_in_order) {
      const HANDLE writable = ReOpenFile(handle.get(), GENERIC_WRITE | FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                         FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT);
      if (writable != INVALID_HANDLE_VALUE) handle.reset(writable);
    }
    folder = File(FileRef{this, handle.release()});
    return FolderOpen::kDone;
  }

  // Asked by opening, never by writing: the folder for adding a file.
  Permission MayCreate(NativeFile, std::string_view path) noexcept override {
    return MayOpen(FolderOf(path), FILE_ADD_FILE, FILE_FLAG_BACKUP_SEMANTICS);
  }
  // A file may go where it grants its deletion or its folder grants the deletion of its
  // entries. A read-only attribute does not stop it: the layer clears it for the deletion.
  Permission MayRemove(NativeFile, std::string_view path) noexcept override {
    const Permission file = MayOpen(path, DELETE, FILE_FLAG_OPEN_REPARSE_POINT);
    if (file != Permission::kNo) return file;
    return MayOpen(FolderOf(path), FILE_DELETE_CHILD, FILE_FLAG_BACKUP_SEMANTICS);
  }

  // With DELETE access held from its creation, whoever opens the output later must share
  // deletion with it: its rename can never be refused.
  Opened CreateNew(NativeFile folder, std::string_view path) noexcept override {
    WideText extended;
    if (!ExtendedPath(path, extended)) return {};
    HANDLE file = OpenInFolder(folder, NameIn(extended.view()), GENERIC_WRITE | DELETE, FILE_SHARE_READ, FILE_CREATE,
                               FILE_SEQUENTIAL_ONLY);
    if (file == INVALID_HANDLE_VALUE) return {File(), ResultOf(GetLastError())};
    return {File(FileRef{this, file}), FileResult::kDone};
  }

  Opened OpenPage(NativeFile folder, std::string_view path, std::uint64_t* size) noexcept override {
    WideText extended;
    if (!ExtendedPath(path, extended)) return {};
    // Attributes may be written: a read-only page's attribute is cleared for its deletion.
    HANDLE handle = OpenInFolder(folder, NameIn(extended.view()), GENERIC_READ | DELETE | FILE_WRITE_ATTRIBUTES,
                                 FILE_SHARE_READ, FILE_OPEN, FILE_OPEN_REPARSE_POINT | FILE_SEQUENTIAL_ONLY);
    if (handle == INVALID_HANDLE_VALUE) return {File(), IsBusy(GetLastError()) ? FileResult::kBusy : FileResult::kFailed};
    File page(FileRef{this, handle});
    DWORD attributes = 0;
    Opened opened{File(), PlainFileWithOneName(handle, extended.view(), size, &attributes)};
    if (opened.result != FileResult::kDone) return opened;
    opened.file = static_cast<File&&>(page);
    opened.result = FileResult::kDone;
    opened.stamp.size = *size;
    opened.stamp.attributes = attributes;
    return opened;
  }

  std::ptrdiff_t ReadAt(NativeFile file, std::uint64_t offset, void* buffer, std::size_t size) noexcept override {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD got = 0;
    if (!ReadFile(file, buffer, static_cast<DWORD>(size), &got, &at)) return GetLastError() == ERROR_HANDLE_EOF ? 0 : -1;
    return static_cast<std::ptrdiff_t>(got);
  }

  bool Write(NativeFile file, const void* data, std::size_t size) noexcept override {
    const char* next = static_cast<const char*>(data);
    while (size > 0) {
      DWORD put = 0;
      if (!WriteFile(file, next, static_cast<DWORD>(size), &put, nullptr) || put == 0) return false;
      next += put;
      size -= put;
    }
    return true;
  }

  bool Flush(NativeFile file) noexcept override { return FlushFileBuffers(file) != 0; }
  // A new file is plain and archived already: only what it lacks is set.
  bool KeepAttributes(NativeFile file, const FileStamp& page) noexcept override {
    constexpr DWORD kNotGiven = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
    return (page.attributes & kNotGiven) == 0 || SetAttributes(file, page.attributes);
  }
  bool Close(NativeFile file) noexcept override { return CloseHandle(file) != 0; }

  // Held without write sharing from its opening, the page cannot have changed: the stamp is
  // not needed here.
  PageDeletion DeletePage(File page, const FileStamp& stamp, NativeFile folder, std::string_view path,
                          std::string_view aside) noexcept override {
    const HANDLE handle = page.get().native;
    if (aside.empty()) {
      const bool gone = DeleteAtOnce(handle) || MarkForDeletion(handle, stamp.attributes);
      return gone ? PageDeletion::kGone : PageDeletion::kKept;
    }
    // The name must come free at once, and a deleted file keeps it while others hold it: the
    // page first moves aside, then goes (when the last holder lets go).
    WideText extended;
    const bool moved_aside = ExtendedPath(aside, extended) && RenameInFolder(handle, folder, extended);
    if (MarkForDeletion(handle, stamp.attributes)) return PageDeletion::kGone;
    if (!moved_aside) return PageDeletion::kKept;
    if (ExtendedPath(path, extended) && RenameInFolder(handle, folder, extended)) return PageDeletion::kKept;
    return PageDeletion::kAside;
  }

  FileResult RenameNew(NativeFile file, NativeFile folder, std::string_view, std::string_view to) noexcept override {
    WideText target;
    if (!ExtendedPath(to, target)) return FileResult::kFailed;
    return RenameInFolder(file, folder, target) ? FileResult::kDone : ResultOf(GetLastError());
  }

  // A new file given a read-only page's attributes loses them first.
  bool DeleteNew(File file, NativeFile, std::string_view) noexcept override {
    const HANDLE handle = file.get().native;
    return MarkForDeletion(handle) || (SetAttributes(handle, FILE_ATTRIBUTE_NORMAL) && MarkForDeletion(handle));
  }

  FileResult CheckPlainFile(NativeFile, std::string_view path) noexcept override {
    WideText extended;
    if (!ExtendedPath(path, extended)) return FileResult::kFailed;
    const UniqueKernelHandle file(OpenWithoutFollowing(extended.c_str(), FILE_READ_ATTRIBUTES,
                                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE));
    if (!file.is_open()) return IsBusy(GetLastError()) ? FileResult::kBusy : FileResult::kFailed;
    return PlainFileWithOneName(file.get(), extended.view());
  }

  // The target's path is made only once the source is checked: the check's buffer and the
  // target's are never on the stack together.
  FileResult MoveNoReplace(NativeFile, std::string_view from, std::string_view to) noexcept override {
    WideText source;
    if (!ExtendedPath(from, source)) return FileResult::kFailed;
    const UniqueKernelHandle file(OpenWithoutFollowing(source.c_str(), FILE_READ_ATTRIBUTES,
                                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE));
    if (!file.is_open()) return IsBusy(GetLastError()) ? FileResult::kBusy : FileResult::kFailed;
    if (const FileResult plain = PlainFileWithOneName(file.get(), source.view()); plain != FileResult::kDone) return plain;
    return MoveTo(source, to);
  }

  FileResult Remove(NativeFile, std::string_view path) noexcept override {
    WideText extended;
    if (!ExtendedPath(path, extended)) return FileResult::kFailed;
    const UniqueKernelHandle file(
        OpenWithoutFollowing(extended.c_str(), DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ));
    if (!file.is_open()) return IsBusy(GetLastError()) ? FileResult::kBusy : FileResult::kFailed;
    DWORD attributes = 0;
    if (const FileResult plain = PlainFileWithOneName(file.get(), extended.view(), nullptr, &attributes);
        plain != FileResult::kDone)
      return plain;
    return MarkForDeletion(file.get(), attributes) ? FileResult::kDone : FileResult::kFailed;
  }

  // Where names are not kept in order (FAT, exFAT, shares), the folder's own entries are put
  // on the disk through a handle to it.
  bool SyncFolder(NativeFile folder) noexcept override { return FlushFileBuffers(folder) != 0; }

  // Share modes keep two calls apart: the page and the output are held without write or
  // delete sharing while they are worked on.
  LockResult LockFolder(NativeFile, FolderLock&) noexcept override { return LockResult::kHeld; }

  ListResult ListFolder(NativeFile, std::string_view folder, Listing& entries) noexcept override {
    WideText pattern;
    if (!ExtendedPath(folder, pattern) || !pattern.Append(L'*')) return ListResult::kFailed;
    WIN32_FIND_DATAW data;
    const UniqueFind search(FindFirst(pattern.c_str(), &data));
    if (!search.is_open()) return ListResult::kFailed;
    entries.Clear();
    const bool wine = UnderWine();
    ByteBuffer name;
    do {
      const std::wstring_view wide = data.cFileName;
      if (wide == L"." || wide == L"..") continue;
      name.Clear();
      if (!win32::AppendUtf8FromWide(wide, name) || !entries.Add(name.view(), KindOf(data), 0, !wine || WineCarries(wide)))
        return ListResult::kNoMemory;
    } while (FindNextFileW(search.get(), &data));
    // Anything but the end is a listing cut short: the folder is one that cannot be listed.
    if (GetLastError() != ERROR_NO_MORE_FILES) return ListResult::kFailed;
    return !wine || MarkTwinsNotCarried(entries) ? ListResult::kDone : ListResult::kNoMemory;
  }

  // The system's own final path where it gives one; where it does not (Wine, for paths over
  // about 260 characters), the path itself when no folder on the way is a link.
  bool RealFolderPath(std::string_view folder, PathText& real) noexcept override {
    WideText extended;
    if (!ExtendedPath(folder, extended)) return false;
    const UniqueKernelHandle handle(OpenFolderFollowing(extended.c_str()));
    if (!handle.is_open()) return false;
    WideText final_path;
    const DWORD length = GetFinalPathNameByHandleW(handle.get(), final_path.data(), WideText::kCapacity,
                                                   FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    real.Clear();
    if (length > 0 && length < WideText::kCapacity) {
      final_path.SetSize(length);
      return win32::AppendPlainPath(final_path.view(), real);
    }
    return NoLinkOnTheWay(extended) && win32::AppendPlainPath(extended.view(), real);
  }

  void Pause(int milliseconds) noexcept override { Sleep(static_cast<DWORD>(milliseconds)); }
};

constinit Win32Files system_files;

}  // namespace

void FolderLockTraits::Close(int) noexcept {}

char PathSeparator() noexcept { return '\\'; }

bool FolderFromHostText(std::string_view text, PathText& folder) noexcept {
  WideText wide;
  if (!win32::WideFromAnsi(text, wide) || wide.size() == 0) return false;
  // A relative folder, or one on the current drive, keeps its meaning for the host.
  WideText full;
  const DWORD length = GetFullPathNameW(wide.c_str(), WideText::kCapacity, full.data(), nullptr);
  if (length == 0 || length >= WideText::kCapacity) return false;
  full.SetSize(length);
  folder.Clear();
  return win32::AppendPlainPath(full.view(), folder);
}

bool AppendNameKey(std::string_view name, bool case_sensitive, ByteBuffer& keys) noexcept {
  if (case_sensitive) return keys.Append(name);
  WideText wide;
  if (!win32::AppendWideFromUtf8(name, wide)) return keys.Append(name);  // longer than any name
  // The system's own upper-casing, as NTFS and FAT compare names.
  if (wide.size() > 0) CharUpperBuffW(wide.data(), static_cast<DWORD>(wide.size()));
  return win32::AppendUtf8FromWide(wide.view(), keys);
}

std::size_t PathUnits(std::string_view path) noexcept {
  std::size_t units = 0;
  for (const char c : path) {
    const unsigned byte = static_cast<unsigned char>(c);
    if (byte < 0x80 || (byte >= 0xC0 && byte < 0xF0)) units += 1;  // a character in one unit
    else if (byte >= 0xF0) units += 2;                              // a surrogate pair
  }
  return units;
}

bool AppendToLogFile(std::string_view path, std::string_view bytes) noexcept {
  WideText extended;
  if (!ExtendedPath(path, extended)) return false;
  const UniqueKernelHandle log(CreateFileW(extended.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                           OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  return log.is_open() && system_files.Write(log.get(), bytes.data(), bytes.size());
}

Files& SystemFiles() noexcept { return system_files; }

}  // namespace setupext
