// The bare operating-system file calls the limit program is made of: the very calls the
// module's file layer makes for each step, with no bookkeeping around them, so their time is
// the floor for the module's file calls. Each platform's file keeps its sequences in one place.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace setupext::raw {

using File = std::intptr_t;  // a descriptor or a HANDLE; kNone when a call failed
inline constexpr File kNone = -1;

char Separator();

// ---- per walk and per folder ----
// The folder with every link on the way resolved, as the walk starts from it.
bool RealFolder(const std::string& folder, std::string* real);
// The folder's volume and index, as the module identifies each folder it walks.
bool Identify(const std::string& folder, std::uint64_t* volume, std::uint64_t* index);
enum class Kind { kFile, kFolder, kLink };
struct Entry {
  std::string name;
  Kind kind;
};
// Every entry but "." and "..", `folder` ending in the separator.
bool List(const std::string& folder, std::vector<Entry>* entries);

// ---- per page ----
void QuietErrors();  // the error mode the module sets before each page
File CreateNew(const std::string& path);
// Opened without following a link, held against writers, checked on the handle to be a plain
// file with one name.
File OpenPage(const std::string& path);
std::ptrdiff_t Read(File file, void* buffer, std::size_t size);
bool Write(File file, const void* data, std::size_t size);
bool Flush(File file);
bool Close(File file);
// Deletes the page through its handle (closed either way).
bool DeletePage(File page, const std::string& path);
// Checks the source and moves it never replacing a file, written through when `durable`
// (Win32; POSIX syncs the folder after its moves instead).
bool MoveNoReplace(const std::string& from, const std::string& to, bool durable);
// Puts the folder's names on the disk (POSIX); nothing to do on Win32.
bool SyncFolder(const std::string& folder);

}  // namespace setupext::raw
