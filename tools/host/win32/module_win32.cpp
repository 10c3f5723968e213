#include <windows.h>

#include <string>

#include "loaded_module.h"

namespace setupext {
namespace {

// The system's text for an error code, with the code after it: "Module not found. (error 126)".
std::string SystemMessage(DWORD code) {
  char* text = nullptr;
  DWORD length = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string message(text ? text : "", text ? length : 0);
  LocalFree(text);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == ' ')) message.pop_back();
  if (message.empty()) message = "unknown error";
  return message + " (error " + std::to_string(code) + ")";
}

}  // namespace

void LoadedModuleTraits::Close(Native module) { FreeLibrary(static_cast<HMODULE>(module)); }

bool LoadedModule::Load(const std::string& path, std::string* error) {
  handle_.reset(LoadLibraryA(path.c_str()));
  if (!handle_.is_open()) *error = SystemMessage(GetLastError());
  return handle_.is_open();
}

void* LoadedModule::Find(const char* name, std::string* error) const {
  if (!handle_.is_open()) return nullptr;
  void* address = reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle_.get()), name));
  if (!address && error) *error = SystemMessage(GetLastError());
  return address;
}

std::string ModuleBesideExecutable() {
  char self[MAX_PATH];
  DWORD length = GetModuleFileNameA(nullptr, self, MAX_PATH);
  std::string path(self, length < MAX_PATH ? length : 0);
  std::size_t slash = path.find_last_of("\\/");
  return (slash == std::string::npos ? std::string(".") : path.substr(0, slash)) + "\\setupext.dll";
}

}  // namespace setupext
