#include <windows.h>

#include "platform/registry.h"

namespace setupext {
namespace {

HKEY RootKey(RegistryRoot root) { return root == RegistryRoot::kCurrentUser ? HKEY_CURRENT_USER : HKEY_USERS; }

RegistryKey OpenForReading(HKEY parent, const char* path) {
  RegistryKey key;
  if (RegOpenKeyExA(parent, path, 0, KEY_READ, key.put()) != ERROR_SUCCESS) key.release();
  return key;
}

}  // namespace

void RegistryKeyTraits::Close(Native key) noexcept { RegCloseKey(key); }

RegistryKey CreateRegistryKey(RegistryRoot root, const char* path) noexcept {
  RegistryKey key;
  if (RegCreateKeyExA(RootKey(root), path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.put(), nullptr) !=
      ERROR_SUCCESS)
    key.release();  // a failed call leaves no key to close
  return key;
}

RegistryKey OpenRegistryKey(RegistryRoot root, const char* path) noexcept {
  return OpenForReading(RootKey(root), path);
}

RegistryKey OpenRegistrySubkey(const RegistryKey& parent, const char* path) noexcept {
  if (!parent.is_open()) return RegistryKey();
  return OpenForReading(parent.get(), path);
}

RegistryValue QueryRegistryValue(const RegistryKey& key, const char* name) noexcept {
  RegistryValue value;
  if (!key.is_open()) return value;
  DWORD type = 0;
  DWORD size = 0;
  if (RegQueryValueExA(key.get(), name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return value;
  value.kind = RegistryValueKind::kUnreadable;
  if (!value.bytes.Reserve(size == 0 ? 1 : size)) return value;
  // The value may change between the two queries; the second reports what it really stored.
  DWORD stored = size;
  if (RegQueryValueExA(key.get(), name, nullptr, &type, reinterpret_cast<BYTE*>(value.bytes.data()), &stored) !=
          ERROR_SUCCESS ||
      stored > size)
    return value;
  value.bytes.SetSize(stored);
  value.kind = type == REG_SZ ? RegistryValueKind::kString : RegistryValueKind::kOtherType;
  return value;
}

}  // namespace setupext
