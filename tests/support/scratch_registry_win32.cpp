// The real registry: a key path unique to this process and test, deleted afterwards.
#include <windows.h>

#include <gtest/gtest.h>

#include <vector>

#include "support/scratch_registry.h"

namespace setupext::testing {
namespace {

constexpr const char* kTestsKey = "Software\\setupext-tests";

HKEY Root(RegistryRoot root) { return root == RegistryRoot::kCurrentUser ? HKEY_CURRENT_USER : HKEY_USERS; }

DWORD TypeCode(std::string_view type) {
  if (type == "REG_SZ") return REG_SZ;
  if (type == "REG_EXPAND_SZ") return REG_EXPAND_SZ;
  if (type == "REG_MULTI_SZ") return REG_MULTI_SZ;
  if (type == "REG_DWORD") return REG_DWORD;
  return REG_BINARY;
}

}  // namespace

ScratchRegistry::ScratchRegistry() {
  static int serial = 0;
  path_ = std::string(kTestsKey) + "\\run-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++serial);
}

ScratchRegistry::~ScratchRegistry() {
  RegDeleteTreeA(HKEY_CURRENT_USER, path_.c_str());
  RegDeleteTreeA(HKEY_USERS, (".Default\\" + path_).c_str());
  // Fails, as it should, while another test's key is still below it.
  RegDeleteKeyA(HKEY_CURRENT_USER, kTestsKey);
  RegDeleteKeyA(HKEY_USERS, (std::string(".Default\\") + kTestsKey).c_str());
}

void ScratchRegistry::Put(RegistryRoot root, const std::string& key_path, const std::string& name,
                          std::string_view type, std::string_view bytes) {
  RegistryKey key;
  ASSERT_EQ(RegCreateKeyExA(Root(root), key_path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.put(), nullptr),
            ERROR_SUCCESS)
      << key_path;
  // The store adds a NUL to a string whose size leaves it out when the byte after the data
  // is one; a byte other than NUL there keeps the value exactly as given.
  std::vector<BYTE> data(bytes.begin(), bytes.end());
  data.push_back('X');
  ASSERT_EQ(RegSetValueExA(key.get(), name.c_str(), 0, TypeCode(type), data.data(), static_cast<DWORD>(bytes.size())),
            ERROR_SUCCESS)
      << name;
}

void ScratchRegistry::CreateKey(RegistryRoot root, const std::string& key_path) {
  RegistryKey key;
  RegCreateKeyExA(Root(root), key_path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.put(), nullptr);
}

bool ScratchRegistry::KeyExists(RegistryRoot root, const std::string& key_path) const {
  RegistryKey key;
  return RegOpenKeyExA(Root(root), key_path.c_str(), 0, KEY_READ, key.put()) == ERROR_SUCCESS;
}

std::string ScratchRegistry::UncreatablePath() {
  // A key name is at most 255 characters.
  return path_ + "\\" + std::string(300, 'k');
}

}  // namespace setupext::testing
