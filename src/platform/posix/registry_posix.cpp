// A small stand-in for the registry: keys are folders below a root folder, each value a file
// "<name>.regval" holding a line with its type ("REG_SZ", ...) and then its stored bytes.
// The root is $SETUPEXT_REGISTRY, or ~/.setupext-registry.
#include <errno.h>
#include <sys/stat.h>

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

bool IsFolder(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// Appends the backslash-separated key path to a folder; false for names the store cannot hold.
bool AppendKeyPath(std::string* folder, std::string_view path) {
  while (!path.empty()) {
    std::size_t end = path.find('\\');
    std::string_view part = path.substr(0, end);
    path = end == std::string_view::npos ? std::string_view() : path.substr(end + 1);
    if (part.empty()) continue;
    if (part == "." || part == ".." || part.find('/') != std::string_view::npos) return false;
    folder->append("/").append(part);
  }
  return true;
}

RegistryKey KeyFor(std::string folder) {
  return RegistryKey(reinterpret_cast<std::intptr_t>(new std::string(std::move(folder))));
}

const std::string& FolderOf(const RegistryKey& key) {
  return *reinterpret_cast<const std::string*>(key.get());
}

std::string RootFolder(RegistryRoot root) {
  return StoreRoot() + (root == RegistryRoot::kCurrentUser ? "/HKEY_CURRENT_USER" : "/HKEY_USERS");
}

bool MakeFolders(const std::string& folder) {
  for (std::size_t slash = folder.find('/', 1);; slash = folder.find('/', slash + 1)) {
    std::string prefix = folder.substr(0, slash);
    if (mkdir(prefix.c_str(), 0777) != 0 && errno != EEXIST) return false;
    if (slash == std::string::npos) break;
  }
  return IsFolder(folder);
}

RegistryKey OpenFolder(std::string folder, std::string_view path) {
  if (!AppendKeyPath(&folder, path) || !IsFolder(folder)) return RegistryKey();
  return KeyFor(std::move(folder));
}

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

}  // namespace

void RegistryKey::reset() { delete reinterpret_cast<std::string*>(release()); }

RegistryKey CreateRegistryKey(RegistryRoot root, const std::string& path) {
  std::string folder = RootFolder(root);
  if (!AppendKeyPath(&folder, path) || !MakeFolders(folder)) return RegistryKey();
  return KeyFor(std::move(folder));
}

RegistryKey OpenRegistryKey(RegistryRoot root, const std::string& path) {
  return OpenFolder(RootFolder(root), path);
}

RegistryKey OpenRegistrySubkey(const RegistryKey& key, const std::string& path) {
  if (!key.is_open()) return RegistryKey();
  return OpenFolder(FolderOf(key), path);
}

RegistryValue QueryRegistryValue(const RegistryKey& key, const std::string& name) {
  RegistryValue value;
  if (!key.is_open() || name.find('/') != std::string::npos) return value;
  std::unique_ptr<std::FILE, FileCloser> file(
      std::fopen((FolderOf(key) + "/" + name + ".regval").c_str(), "rb"));
  if (!file) return value;
  std::string type;
  for (int c; (c = std::fgetc(file.get())) != EOF && c != '\n';) type.push_back(static_cast<char>(c));
  char chunk[4096];
  while (std::size_t got = std::fread(chunk, 1, sizeof chunk, file.get())) value.bytes.append(chunk, got);
  if (std::ferror(file.get())) return RegistryValue();
  value.kind = type == "REG_SZ" ? RegistryValueKind::kString : RegistryValueKind::kOtherType;
  return value;
}

}  // namespace setupext
