#include <dlfcn.h>
#include <unistd.h>

#include <string>

#include "platform/module.h"

namespace setupext {

LoadedModule::~LoadedModule() {
  if (handle_) dlclose(handle_);
}

bool LoadedModule::Load(const std::string& path, std::string* error) {
  handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle_) *error = dlerror();
  return handle_ != nullptr;
}

void* LoadedModule::Find(const char* name) const { return handle_ ? dlsym(handle_, name) : nullptr; }

std::string ModuleBesideExecutable() {
  std::string self(4096, '\0');
  ssize_t length = readlink("/proc/self/exe", self.data(), self.size());
  self.resize(length > 0 ? static_cast<std::size_t>(length) : 0);
  std::size_t slash = self.rfind('/');
  std::string folder = slash == std::string::npos ? "." : self.substr(0, slash);
  return folder + "/libsetupext.so";
}

}  // namespace setupext
