// A private corner of the settings store for one test: a fresh key path that nothing else
// uses, values written with exactly the bytes and type a test asks for, and everything
// removed again afterwards (in both the current user's and the default profile).
#pragma once

#include <string>
#include <string_view>

#include "platform/registry.h"

namespace setupext::testing {

class ScratchRegistry {
 public:
  ScratchRegistry();
  ScratchRegistry(const ScratchRegistry&) = delete;
  ScratchRegistry& operator=(const ScratchRegistry&) = delete;
  ~ScratchRegistry();

  // The key path, relative to a user hive, that belongs to this test alone.
  const std::string& path() const { return path_; }

  // Stores a value of the given type ("REG_SZ", "REG_EXPAND_SZ", "REG_BINARY", ...) with
  // exactly these bytes: a terminating NUL is stored only when the bytes end with one.
  void Put(RegistryRoot root, const std::string& key_path, const std::string& name, std::string_view type,
           std::string_view bytes);
  // Creates the key when the store can hold it; KeyExists tells.
  void CreateKey(RegistryRoot root, const std::string& key_path);
  bool KeyExists(RegistryRoot root, const std::string& key_path) const;
  // A key path below path() that the store refuses to create.
  std::string UncreatablePath();

 private:
  std::string path_;
  std::string store_root_;  // the stand-in's folder, where there is one
  std::string saved_root_variable_;
  bool had_root_variable_ = false;
};

}  // namespace setupext::testing
