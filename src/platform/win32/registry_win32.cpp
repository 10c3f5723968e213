#include <windows.h>

#include <exception>

#include "platform/registry.h"

namespace setupext {
namespace {

HKEY RootKey(RegistryRoot root) { return root == RegistryRoot::kCurrentUser ? HKEY_CURRENT_USER : HKEY_USERS; }

RegistryKey OpenForReading(HKEY parent, const std::string& path) {
  RegistryKey key;
  if (RegOpenKeyExA(parent, path.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS) key.release();
  return key;
}

}  // namespace

void RegistryKeyTraits::Close(Native key) { RegCloseKey(key); }

RegistryKey CreateRegistryKey(RegistryRoot root, const std::string& path) {
  RegistryKey key;
  if (RegCreateKeyExA(RootKey(root), path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.put(), nullptr) !=
      ERROR_SUCCESS)
    key.release();  // a failed call leaves no key to close
  return key;
}

RegistryKey OpenRegistryKey(RegistryRoot root, const std::string& path) { return OpenForReading(RootKey(root), path); }

RegistryKey OpenRegistrySubkey(const RegistryKey& parent, const std::string& path) {
  if (!parent.is_open()) return RegistryKey();
  return OpenForReading(parent.get(), path);
}

RegistryValue QueryRegistryValue(const RegistryKey& key, const std::string& name) {
  RegistryValue value;
  if (!key.is_open()) return value;
  DWORD type = 0;
  DWORD size = 0;
  if (RegQueryValueExA(key.get(), name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return value;
  // A value too large to hold reads like a failed read: it ends the caller's list.
  try {
    value.bytes.resize(size);
  } catch (const std::exception&) {
    return RegistryValue();
  }
  // The value may change between the two queries; the second reports what it really stored.
  LONG status = RegQueryValueExA(key.get(), name.c_str(), nullptr, &type,
                                 reinterpret_cast<BYTE*>(value.bytes.data()), &size);
  if (status != ERROR_SUCCESS || size > value.bytes.size()) return RegistryValue();
  value.bytes.resize(size);
  value.kind = type == REG_SZ ? RegistryValueKind::kString : RegistryValueKind::kOtherType;
  return value;
}

}  // namespace setupext
