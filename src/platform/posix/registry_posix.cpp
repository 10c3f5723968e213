// A small stand-in for the registry: keys are folders below a root folder, each value a file
// "<name>.regval" holding a line with its type ("REG_SZ", ...) and then its stored bytes.
// The root is $SETUPEXT_REGISTRY, or ~/.setupext-registry. An open key is a descriptor of its
// folder, so subkeys and values are reached relative to it.
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string_view>

#include "platform/registry.h"

namespace setupext {
namespace {

std::string StoreRoot() {
  if (const char* root = std::getenv("SETUPEXT_REGISTRY"); root && *root) return root;
  const char* home = std::getenv("HOME");
  return std::string(home ? home : ".") + "/.setupext-registry";
}

const char* RootName(RegistryRoot root) {
  return root == RegistryRoot::kCurrentUser ? "HKEY_CURRENT_USER" : "HKEY_USERS";
}

RegistryKey OpenFolderAt(int parent, const char* name) {
  return RegistryKey(openat(parent, name, O_RDONLY | O_DIRECTORY | O_CLOEXEC));
}

// Walks the backslash-separated key path from `key`, making each missing folder when told.
// No key for names the store cannot hold.
RegistryKey Descend(RegistryKey key, std::string_view path, bool create) {
  while (key.is_open() && !path.empty()) {
    const std::size_t end = path.find('\\');
    const std::string part(path.substr(0, end));
    path = end == std::string_view::npos ? std::string_view() : path.substr(end + 1);
    if (part.empty()) continue;
    if (part == "." || part == ".." || part.find('/') != std::string::npos) return RegistryKey();
    if (create && mkdirat(key.get(), part.c_str(), 0777) != 0 && errno != EEXIST) return RegistryKey();
    key = OpenFolderAt(key.get(), part.c_str());
  }
  return key;
}

// The root folder of the hive, made first when told.
RegistryKey OpenHive(RegistryRoot root, bool create) {
  const std::string store = StoreRoot();
  if (create) mkdir(store.c_str(), 0777);
  return Descend(OpenFolderAt(AT_FDCWD, store.c_str()), RootName(root), create);
}

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

}  // namespace

void RegistryKeyTraits::Close(Native key) { close(key); }

RegistryKey CreateRegistryKey(RegistryRoot root, const std::string& path) {
  return Descend(OpenHive(root, true), path, true);
}

RegistryKey OpenRegistryKey(RegistryRoot root, const std::string& path) {
  return Descend(OpenHive(root, false), path, false);
}

RegistryKey OpenRegistrySubkey(const RegistryKey& key, const std::string& path) {
  if (!key.is_open()) return RegistryKey();
  return Descend(OpenFolderAt(key.get(), "."), path, false);
}

RegistryValue QueryRegistryValue(const RegistryKey& key, const std::string& name) {
  RegistryValue value;
  if (!key.is_open() || name.find('/') != std::string::npos) return value;
  const int fd = openat(key.get(), (name + ".regval").c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return value;
  std::unique_ptr<std::FILE, FileCloser> file(fdopen(fd, "rb"));
  if (!file) {
    close(fd);
    return value;
  }
  std::string type;
  for (int c; (c = std::fgetc(file.get())) != EOF && c != '\n';) type.push_back(static_cast<char>(c));
  char chunk[4096];
  while (std::size_t got = std::fread(chunk, 1, sizeof chunk, file.get())) value.bytes.append(chunk, got);
  if (std::ferror(file.get())) return RegistryValue();
  value.kind = type == "REG_SZ" ? RegistryValueKind::kString : RegistryValueKind::kOtherType;
  return value;
}

}  // namespace setupext
