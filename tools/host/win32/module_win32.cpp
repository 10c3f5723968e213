#include <windows.h>

#include <string>

#include "loaded_module.h"

namespace setupext {

void LoadedModuleTraits::Close(Native module) { FreeLibrary(static_cast<HMODULE>(module)); }

bool LoadedModule::Load(const std::string& path, std::string* error) {
  handle_.reset(LoadLibraryA(path.c_str()));
  if (!handle_.is_open()) *error = "LoadLibrary failed with error " + std::to_string(GetLastError());
  return handle_.is_open();
}

void* LoadedModule::Find(const char* name) const {
  if (!handle_.is_open()) return nullptr;
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle_.get()), name));
}

std::string ModuleBesideExecutable() {
  char self[MAX_PATH];
  DWORD length = GetModuleFileNameA(nullptr, self, MAX_PATH);
  std::string path(self, length < MAX_PATH ? length : 0);
  std::size_t slash = path.find_last_of("\\/");
  return (slash == std::string::npos ? std::string(".") : path.substr(0, slash)) + "\\setupext.dll";
}

}  // namespace setupext
