// The per-user settings store: the Windows registry, or a folder-backed stand-in elsewhere.
#pragma once

#include <string>

#include "platform/native_handle.h"
#include "platform/unique_handle.h"

namespace setupext {

enum class RegistryRoot { kCurrentUser, kUsers };

struct RegistryKeyTraits {
  using Native = NativeKey;
  static Native Invalid() { return NoNativeKey(); }
  static void Close(Native key);
};

// An open key, closed when it goes out of scope.
using RegistryKey = UniqueHandle<RegistryKeyTraits>;

// Opens the key with full access, creating it and its missing parents.
RegistryKey CreateRegistryKey(RegistryRoot root, const std::string& path);
// Opens an existing key for reading.
RegistryKey OpenRegistryKey(RegistryRoot root, const std::string& path);
RegistryKey OpenRegistrySubkey(const RegistryKey& key, const std::string& path);

enum class RegistryValueKind { kMissing, kString, kOtherType };

struct RegistryValue {
  RegistryValueKind kind = RegistryValueKind::kMissing;
  std::string bytes;  // exactly the stored bytes, terminating NUL included if one was stored
};

// Reads one value of the key. Read errors look like a missing value.
RegistryValue QueryRegistryValue(const RegistryKey& key, const std::string& name);

}  // namespace setupext
