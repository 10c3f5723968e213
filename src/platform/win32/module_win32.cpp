#include <windows.h>

#include <string>

#include "platform/module.h"

namespace setupext {

LoadedModule::~LoadedModule() {
  if (handle_) FreeLibrary(static_cast<HMODULE>(handle_));
}

bool LoadedModule::Load(const std::string& path, std::string* error) {
  handle_ = LoadLibraryA(path.c_str());
  if (!handle_) *error = "LoadLibrary failed with error " + std::to_string(GetLastError());
  return handle_ != nullptr;
}

void* LoadedModule::Find(const char* name) const {
  return handle_ ? reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle_), name)) : nullptr;
}

std::string ModuleBesideExecutable() {
  char self[MAX_PATH];
  DWORD length = GetModuleFileNameA(nullptr, self, MAX_PATH);
  std::string path(self, length < MAX_PATH ? length : 0);
  std::size_t slash = path.find_last_of("\\/");
  return (slash == std::string::npos ? std::string(".") : path.substr(0, slash)) + "\\setupext.dll";
}

}  // namespace setupext
