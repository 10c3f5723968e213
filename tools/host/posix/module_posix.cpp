#include <dlfcn.h>
#include <unistd.h>

#include <string>

#include "loaded_module.h"

namespace setupext {

void LoadedModuleTraits::Close(Native module) { dlclose(module); }

bool LoadedModule::Load(const std::string& path, std::string* error) {
  handle_.reset(dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL));
  if (!handle_.is_open()) {
    const char* text = dlerror();
    *error = text ? text : "unknown error";
  }
  return handle_.is_open();
}

void* LoadedModule::Find(const char* name, std::string* error) const {
  if (!handle_.is_open()) return nullptr;
  dlerror();
  void* address = dlsym(handle_.get(), name);
  if (!address && error) {
    const char* text = dlerror();
    *error = text ? text : "no such symbol";
  }
  return address;
}

std::string ModuleBesideExecutable() {
  std::string self(4096, '\0');
  ssize_t length = readlink("/proc/self/exe", self.data(), self.size());
  self.resize(length > 0 ? static_cast<std::size_t>(length) : 0);
  std::size_t slash = self.rfind('/');
  std::string folder = slash == std::string::npos ? "." : self.substr(0, slash);
  return folder + "/libsetupext.so";
}

}  // namespace setupext
