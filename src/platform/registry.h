// The per-user settings store: the Windows registry, or a folder-backed stand-in elsewhere.
#pragma once

#include <cstdint>
#include <string>

namespace setupext {

enum class RegistryRoot { kCurrentUser, kUsers };

// An open key, closed when it goes out of scope.
class RegistryKey {
 public:
  RegistryKey() = default;
  explicit RegistryKey(std::intptr_t handle) : handle_(handle) {}
  RegistryKey(RegistryKey&& other) noexcept : handle_(other.release()) {}
  RegistryKey& operator=(RegistryKey&& other) noexcept {
    if (this != &other) {
      reset();
      handle_ = other.release();
    }
    return *this;
  }
  RegistryKey(const RegistryKey&) = delete;
  RegistryKey& operator=(const RegistryKey&) = delete;
  ~RegistryKey() { reset(); }

  bool is_open() const { return handle_ != 0; }
  std::intptr_t get() const { return handle_; }
  std::intptr_t release() {
    std::intptr_t handle = handle_;
    handle_ = 0;
    return handle;
  }
  void reset();

 private:
  std::intptr_t handle_ = 0;
};

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
