// The stand-in store: a temporary folder that SETUPEXT_REGISTRY names for the test's length.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>

#include "support/scratch_registry.h"

namespace setupext::testing {
namespace {

namespace fs = std::filesystem;

fs::path KeyFolder(const std::string& store_root, RegistryRoot root, const std::string& key_path) {
  fs::path folder = fs::path(store_root) / (root == RegistryRoot::kCurrentUser ? "HKEY_CURRENT_USER" : "HKEY_USERS");
  std::size_t start = 0;
  while (start <= key_path.size()) {
    std::size_t end = key_path.find('\\', start);
    if (end == std::string::npos) end = key_path.size();
    if (end > start) folder /= key_path.substr(start, end - start);
    start = end + 1;
  }
  return folder;
}

}  // namespace

ScratchRegistry::ScratchRegistry() : path_("Software\\Example\\Settings") {
  std::string pattern = (fs::temp_directory_path() / "setupext-registry-XXXXXX").string();
  if (!mkdtemp(pattern.data())) ADD_FAILURE() << "cannot create a temporary store";
  store_root_ = pattern + "/store";  // made by the first call that creates a key, as a user's is
  if (const char* old = getenv("SETUPEXT_REGISTRY")) {
    had_root_variable_ = true;
    saved_root_variable_ = old;
  }
  setenv("SETUPEXT_REGISTRY", store_root_.c_str(), 1);
}

ScratchRegistry::~ScratchRegistry() {
  if (had_root_variable_) {
    setenv("SETUPEXT_REGISTRY", saved_root_variable_.c_str(), 1);
  } else {
    unsetenv("SETUPEXT_REGISTRY");
  }
  std::error_code ignored;
  fs::remove_all(fs::path(store_root_).parent_path(), ignored);
}

void ScratchRegistry::Put(RegistryRoot root, const std::string& key_path, const std::string& name,
                          std::string_view type, std::string_view bytes) {
  const fs::path folder = KeyFolder(store_root_, root, key_path);
  fs::create_directories(folder);
  std::ofstream file(folder / (name + ".regval"), std::ios::binary);
  file << type << '\n';
  file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  ASSERT_TRUE(file.good()) << name;
}

void ScratchRegistry::CreateKey(RegistryRoot root, const std::string& key_path) {
  std::error_code ignored;
  fs::create_directories(KeyFolder(store_root_, root, key_path), ignored);
}

bool ScratchRegistry::KeyExists(RegistryRoot root, const std::string& key_path) const {
  return fs::is_directory(KeyFolder(store_root_, root, key_path));
}

std::string ScratchRegistry::UncreatablePath() {
  // A plain file where a key's folder would have to go.
  const fs::path blocker = KeyFolder(store_root_, RegistryRoot::kCurrentUser, path_ + "\\blocked");
  fs::create_directories(blocker.parent_path());
  std::ofstream(blocker) << "not a key";
  return path_ + "\\blocked\\inner";
}

}  // namespace setupext::testing
