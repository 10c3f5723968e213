// Loading the module the way a host does, for the call tool and the tests.
#pragma once

#include <string>

namespace setupext {

class LoadedModule {
 public:
  LoadedModule() = default;
  LoadedModule(const LoadedModule&) = delete;
  LoadedModule& operator=(const LoadedModule&) = delete;
  ~LoadedModule();

  // On failure *error says why.
  bool Load(const std::string& path, std::string* error);
  // The address of an exported name, or nullptr.
  void* Find(const char* name) const;

 private:
  void* handle_ = nullptr;
};

// File name of the module in the folder of the running executable.
std::string ModuleBesideExecutable();

}  // namespace setupext
