#include "support/module_under_test.h"

#include <gtest/gtest.h>

#include <string>

#include "loaded_module.h"
#include "support/test_host.h"

namespace setupext::testing {

Operation ModuleOperation(const char* name) {
  static LoadedModule module;
  static const bool loaded = [] {
    std::string error;
    return module.Load(ModuleBesideExecutable(), &error);
  }();
  return loaded ? module.FindOperation(name) : nullptr;
}

void LocaliseThroughModule(const std::string& templpath) {
  const Operation operation = ModuleOperation("fctLocaliseTemplate");
  ASSERT_NE(operation, nullptr);
  TestHost host;
  host.Set("TEMPLPATH", templpath);
  EXPECT_EQ(operation(host.block()), 1);
}

}  // namespace setupext::testing
