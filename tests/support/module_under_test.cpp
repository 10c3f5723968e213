#include "support/module_under_test.h"

#include <string>

#include "loaded_module.h"

namespace setupext::testing {

Operation ModuleOperation(const char* name) {
  static LoadedModule module;
  static const bool loaded = [] {
    std::string error;
    return module.Load(ModuleBesideExecutable(), &error);
  }();
  return loaded ? module.FindOperation(name) : nullptr;
}

}  // namespace setupext::testing
