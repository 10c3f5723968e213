// The module as the installer meets it: loaded by file name, operations found by name and
// called with the address of a variable table.
#include <gtest/gtest.h>

#include <string>

#include "platform/export.h"
#include "platform/module.h"
#include "support/test_host.h"

namespace setupext {
namespace {

using Operation = int(SETUPEXT_CALL*)(HostVariableBlock*);

class ModuleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(module_.Load(ModuleBesideExecutable(), &error)) << error;
  }
  Operation Find(const char* name) { return reinterpret_cast<Operation>(module_.Find(name)); }

  LoadedModule module_;
};

TEST_F(ModuleTest, LoadsAndUnloadsWithoutACall) {
  for (int i = 0; i < 3; ++i) {
    LoadedModule again;
    std::string error;
    EXPECT_TRUE(again.Load(ModuleBesideExecutable(), &error)) << error;
  }
}

TEST_F(ModuleTest, ExportsNothingButItsOperations) {
  EXPECT_EQ(module_.Find("GetHostVariable"), nullptr);
  EXPECT_EQ(module_.Find("ReplaceAll"), nullptr);
  EXPECT_EQ(module_.Find("DllMain"), nullptr);
}

}  // namespace
}  // namespace setupext
