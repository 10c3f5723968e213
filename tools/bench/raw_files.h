// The bare operating-system file calls the limit program is made of: no checks, no
// bookkeeping, one system call each, so its time is the floor for the module's file calls.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace setupext::raw {

using File = std::intptr_t;  // a descriptor or a HANDLE; kNone when a call failed
inline constexpr File kNone = -1;

char Separator();
// The folder's volume and index, as the module identifies each folder it walks.
bool Identify(const std::string& folder, std::uint64_t* volume, std::uint64_t* index);
struct Entry {
  std::string name;
  bool is_folder;
};
// Every entry but "." and "..", `folder` ending in the separator.
bool List(const std::string& folder, std::vector<Entry>* entries);
File CreateNew(const std::string& path);
File OpenForReading(const std::string& path);
std::ptrdiff_t Read(File file, void* buffer, std::size_t size);
bool Write(File file, const void* data, std::size_t size);
bool Flush(File file);
bool Close(File file);
bool Remove(const std::string& path);
bool MoveNoReplace(const std::string& from, const std::string& to);

}  // namespace setupext::raw
