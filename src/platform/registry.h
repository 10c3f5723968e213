// The per-user settings store: the Windows registry, or a folder-backed stand-in elsewhere.
#pragma once

#include "platform/buffers.h"
#include "platform/native_handle.h"
#include "platform/unique_handle.h"

namespace setupext {

enum class RegistryRoot { kCurrentUser, kUsers };

struct RegistryKeyTraits {
  using Native = NativeKey;
  static Native Invalid() noexcept { return NoNativeKey(); }
  static void Close(Native key) noexcept;
};

// An open key, closed when it goes out of scope; not open when the key could not be had.
using RegistryKey = UniqueHandle<RegistryKeyTraits>;

// Paths and names are NUL-terminated, backslash-separated text of the ANSI code page.
// Opens the key with full access, creating it and its missing parents.
[[nodiscard]] RegistryKey CreateRegistryKey(RegistryRoot root, const char* path) noexcept;
// Opens an existing key for reading.
[[nodiscard]] RegistryKey OpenRegistryKey(RegistryRoot root, const char* path) noexcept;
[[nodiscard]] RegistryKey OpenRegistrySubkey(const RegistryKey& key, const char* path) noexcept;

enum class RegistryValueKind {
  kMissing,     // no such value (or no open key)
  kString,      // REG_SZ
  kOtherType,   // any other type, REG_EXPAND_SZ included
  kUnreadable,  // present, but its bytes could not be read: a read error, or no memory for them
};

struct RegistryValue {
  RegistryValueKind kind = RegistryValueKind::kMissing;
  ByteBuffer bytes;  // exactly the stored bytes, terminating NUL included if one was stored
};

// Reads one value of the key whole, into memory that grows with it.
[[nodiscard]] RegistryValue QueryRegistryValue(const RegistryKey& key, const char* name) noexcept;

}  // namespace setupext
