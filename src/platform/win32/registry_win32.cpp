#include <windows.h>

#include <exception>

#include "platform/registry.h"

namespace setupext {
namespace {

HKEY RootKey(RegistryRoot root) { return root == RegistryRoot::kCurrentUser ? HKEY_CURRENT_USER : HKEY_USERS; }

HKEY Native(const RegistryKey& key) { return reinterpret_cast<HKEY>(key.get()); }

// Takes the status separately: the key is set by the call, so both must not be arguments of
// one call (C++ leaves their order of evaluation open).
RegistryKey Wrap(LONG status, HKEY key) {
  return status == ERROR_SUCCESS ? RegistryKey(reinterpret_cast<std::intptr_t>(key)) : RegistryKey();
}

}  // namespace

void RegistryKey::reset() {
  if (std::intptr_t handle = release()) RegCloseKey(reinterpret_cast<HKEY>(handle));
}

RegistryKey CreateRegistryKey(RegistryRoot root, const std::string& path) {
  HKEY key = nullptr;
  LONG status = RegCreateKeyExA(RootKey(root), path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                                &key, nullptr);
  return Wrap(status, key);
}

RegistryKey OpenRegistryKey(RegistryRoot root, const std::string& path) {
  HKEY key = nullptr;
  LONG status = RegOpenKeyExA(RootKey(root), path.c_str(), 0, KEY_READ, &key);
  return Wrap(status, key);
}

RegistryKey OpenRegistrySubkey(const RegistryKey& parent, const std::string& path) {
  if (!parent.is_open()) return RegistryKey();
  HKEY key = nullptr;
  LONG status = RegOpenKeyExA(Native(parent), path.c_str(), 0, KEY_READ, &key);
  return Wrap(status, key);
}

RegistryValue QueryRegistryValue(const RegistryKey& key, const std::string& name) {
  RegistryValue value;
  if (!key.is_open()) return value;
  DWORD type = 0;
  DWORD size = 0;
  if (RegQueryValueExA(Native(key), name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
    return value;
  // A value too large to hold reads like a failed read: it ends the caller's list.
  try {
    value.bytes.resize(size);
  } catch (const std::exception&) {
    return RegistryValue();
  }
  // The value may change between the two queries; the second reports what it really stored.
  LONG status = RegQueryValueExA(Native(key), name.c_str(), nullptr, &type,
                                 reinterpret_cast<BYTE*>(value.bytes.data()), &size);
  if (status != ERROR_SUCCESS || size > value.bytes.size()) return RegistryValue();
  value.bytes.resize(size);
  value.kind = type == REG_SZ ? RegistryValueKind::kString : RegistryValueKind::kOtherType;
  return value;
}

}  // namespace setupext
