// Loading the module the way a host does, for the call tool, the benchmark and the tests.
#pragma once

#include <string>

#include "host/operation.h"
#include "platform/unique_handle.h"

namespace setupext {

struct LoadedModuleTraits {
  using Native = void*;  // HMODULE, or what dlopen gives
  static Native Invalid() { return nullptr; }
  static void Close(Native module);
};

class LoadedModule {
 public:
  // On failure *error says why, in the system's words.
  bool Load(const std::string& path, std::string* error);
  // The address of an exported name, or nullptr; then *error, when given, says why.
  void* Find(const char* name, std::string* error = nullptr) const;
  // The exported operation of that name, or nullptr.
  Operation FindOperation(const char* name, std::string* error = nullptr) const {
    return reinterpret_cast<Operation>(Find(name, error));
  }

 private:
  UniqueHandle<LoadedModuleTraits> handle_;
};

// File name of the module in the folder of the running executable.
std::string ModuleBesideExecutable();

}  // namespace setupext
