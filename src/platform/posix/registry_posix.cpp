// A small stand-in for the registry: keys are folders below a root folder, each value a file
// "<name>.regval" holding a line with its type ("REG_SZ", ...) and then its stored bytes.
// The root is $SETUPEXT_REGISTRY, or ~/.setupext-registry. An open key is a descriptor of its
// folder, so subkeys and values are reached relative to it.
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string_view>

#include "platform/registry.h"

namespace setupext {
namespace {

using FolderName = FixedText<NAME_MAX + 1>;

const char* RootName(RegistryRoot root) {
  return root == RegistryRoot::kCurrentUser ? "HKEY_CURRENT_USER" : "HKEY_USERS";
}

RegistryKey OpenFolderAt(int parent, const char* name) {
  return RegistryKey(openat(parent, name, O_RDONLY | O_DIRECTORY | O_CLOEXEC));
}

// Where `c` first is in `text`, or its end (substr and its out-of-range path are not needed).
std::size_t FindOrEnd(std::string_view text, char c) {
  const std::size_t at = text.find(c);
  return at == std::string_view::npos ? text.size() : at;
}

// A key name the store can hold as one folder name.
bool Storable(std::string_view part) {
  return part != "." && part != ".." && part.find('/') == std::string_view::npos;
}

// Walks the backslash-separated key path from `key`, making each missing folder when told.
// No key for names the store cannot hold.
RegistryKey Descend(RegistryKey key, std::string_view path, bool create) {
  while (key.is_open() && !path.empty()) {
    const std::size_t end = FindOrEnd(path, '\\');
    const std::string_view name(path.data(), end);
    path.remove_prefix(end == path.size() ? end : end + 1);
    FolderName part;
    if (!Storable(name) || !part.Assign(name)) return RegistryKey();
    if (part.empty()) continue;
    if (create && mkdirat(key.get(), part.c_str(), 0777) != 0 && errno != EEXIST) return RegistryKey();
    key = OpenFolderAt(key.get(), part.c_str());
  }
  return key;
}

// The store's root folder, made first when told: $SETUPEXT_REGISTRY, or .setupext-registry
// opened from the home folder, so no path is built (a path buffer would take kilobytes of a
// host's stack).
RegistryKey OpenStore(bool create) {
  if (const char* root = std::getenv("SETUPEXT_REGISTRY"); root && *root) {
    if (create) mkdir(root, 0777);
    return OpenFolderAt(AT_FDCWD, root);
  }
  const char* home = std::getenv("HOME");
  const RegistryKey home_folder = OpenFolderAt(AT_FDCWD, home ? home : ".");
  if (!home_folder.is_open()) return RegistryKey();
  if (create) mkdirat(home_folder.get(), ".setupext-registry", 0777);
  return OpenFolderAt(home_folder.get(), ".setupext-registry");
}

// The root folder of the hive, made first when told.
RegistryKey OpenHive(RegistryRoot root, bool create) { return Descend(OpenStore(create), RootName(root), create); }

struct FileTraits {
  using Native = int;
  static Native Invalid() noexcept { return -1; }
  static void Close(Native file) noexcept { close(file); }
};
using UniqueFile = UniqueHandle<FileTraits>;

// The whole file, in one growth unless it grows meanwhile; false on a read error or when
// memory runs out.
bool ReadWhole(const UniqueFile& file, ByteBuffer& bytes) {
  struct stat status {};
  if (fstat(file.get(), &status) != 0 || !bytes.Reserve(static_cast<std::size_t>(status.st_size) + 1)) return false;
  for (;;) {
    if (bytes.size() == bytes.capacity() && !bytes.ReserveMore(4096)) return false;
    const ssize_t got = read(file.get(), bytes.data() + bytes.size(), bytes.capacity() - bytes.size());
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return false;
    if (got == 0) return true;
    bytes.SetSize(bytes.size() + static_cast<std::size_t>(got));
  }
}

// A value name the store can hold as a file name.
bool ValueFileName(const char* name, FolderName& file_name) {
  return std::string_view(name).find('/') == std::string_view::npos && file_name.Assign(name) &&
         file_name.Append(".regval");
}

}  // namespace

void RegistryKeyTraits::Close(Native key) noexcept { close(key); }

RegistryKey CreateRegistryKey(RegistryRoot root, const char* path) noexcept {
  return Descend(OpenHive(root, true), path, true);
}

RegistryKey OpenRegistryKey(RegistryRoot root, const char* path) noexcept {
  return Descend(OpenHive(root, false), path, false);
}

RegistryKey OpenRegistrySubkey(const RegistryKey& key, const char* path) noexcept {
  if (!key.is_open()) return RegistryKey();
  return Descend(OpenFolderAt(key.get(), "."), path, false);
}

RegistryValue QueryRegistryValue(const RegistryKey& key, const char* name) noexcept {
  RegistryValue value;
  FolderName file_name;
  if (!key.is_open() || !ValueFileName(name, file_name)) return value;
  const UniqueFile file(openat(key.get(), file_name.c_str(), O_RDONLY | O_CLOEXEC));
  if (!file.is_open()) return value;
  ByteBuffer& bytes = value.bytes;
  if (!ReadWhole(file, bytes)) {
    bytes.Clear();
    value.kind = RegistryValueKind::kUnreadable;
    return value;
  }
  // The type line, then the value's bytes, moved to the front.
  const std::size_t line_end = FindOrEnd(bytes.view(), '\n');
  const bool string_type = std::string_view(bytes.data(), line_end) == "REG_SZ";
  const std::size_t start = line_end == bytes.size() ? line_end : line_end + 1;
  const std::size_t length = bytes.size() - start;
  if (length) std::memmove(bytes.data(), bytes.data() + start, length);
  bytes.SetSize(length);
  value.kind = string_type ? RegistryValueKind::kString : RegistryValueKind::kOtherType;
  return value;
}

}  // namespace setupext
