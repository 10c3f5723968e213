// The bare operating-system file calls the limit and floor programs are made of. The limit
// part makes the very calls the module's file layer makes for each step, with no bookkeeping
// around them, so their time is the floor for the module's file calls. The naive part makes
// only what any program changing the files needs. Each platform's file keeps its sequences in
// one place.
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
// Whether the system keeps name operations in order (Win32): then each page is replaced as
// soon as its output is written, and folders are never synced.
bool KeepsNamesInOrder();

// ---- per page, as the module ----
void QuietErrors();  // the error mode the module sets once per call
// Opened without following a link, held against writers, checked on the handle to be a plain
// file with one name reached by this path; *size from that check.
// What the page was when opened (POSIX: device, inode, size, change time), for its deletion.
struct Stamp {
  std::uint64_t device = 0, index = 0, size = 0, modified_ns = 0;
  bool operator==(const Stamp&) const = default;
};
File OpenPage(const std::string& path, std::uint64_t* size, Stamp* stamp);
// New, never over an existing name; renamed and deleted later through its handle.
File CreateNew(const std::string& path);
std::ptrdiff_t Read(File file, void* buffer, std::size_t size);
bool Write(File file, const void* data, std::size_t size);
bool Flush(File file);
bool Close(File file);
// Deletes the page through its handle and closes it; `aside` (may be empty) is where it moves
// first where the system cannot free a name at once.
bool DeletePage(File page, const Stamp& stamp, const std::string& path, const std::string& aside);
// Renames the output through its handle onto a free name; the handle stays open.
bool RenameNew(File output, const std::string& from, const std::string& to);
// A stray: checked, then moved never replacing a file, written through when `durable` (Win32).
bool MoveNoReplace(const std::string& from, const std::string& to, bool durable);
// Puts the folder's names on the disk (POSIX); nothing to do on Win32.
bool SyncFolder(const std::string& folder);

// ---- per page, naive: by path, no flags beyond the needed, no checks ----
File OpenToRead(const std::string& path);
File CreateToWrite(const std::string& path);
bool DeleteByName(const std::string& path);
bool MoveByName(const std::string& from, const std::string& to);

}  // namespace setupext::raw
