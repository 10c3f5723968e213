// The bare operating-system file calls the floor program is made of: only what any program
// that replaces the pages must call, by path, with no flags beyond the needed and no checks.
// Each platform's file keeps its calls in one place.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace setupext::raw {

using File = std::intptr_t;  // a descriptor or a HANDLE; kNone when a call failed
inline constexpr File kNone = -1;

char Separator();

// The folder with every link on the way resolved, as the walk starts from it.
bool RealFolder(const std::string& folder, std::string* real);
enum class Kind { kFile, kFolder, kLink };
struct Entry {
  std::string name;
  Kind kind;
};
// Every entry but "." and "..", `folder` ending in the separator.
bool List(const std::string& folder, std::vector<Entry>* entries);

File OpenToRead(const std::string& path);
File CreateToWrite(const std::string& path);  // new, never over an existing name
std::ptrdiff_t Read(File file, void* buffer, std::size_t size);
bool Write(File file, const void* data, std::size_t size);
bool Flush(File file);  // the file's data on the disk
bool Close(File file);
bool DeleteByName(const std::string& path);
bool MoveByName(const std::string& from, const std::string& to);

}  // namespace setupext::raw
