// The module as the installer meets it: loaded by file name, operations found by name and
// called with the address of a variable table.
#include <gtest/gtest.h>

#include <string>

#include "platform/export.h"
#include "platform/module.h"
#include "support/temp_tree.h"
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

TEST_F(ModuleTest, TemplateOperationsAnswerOneWhateverHappens) {
  for (const char* name : {"fctLocaliseTemplate", "fctRenLabelInTemplagePages"}) {
    Operation operation = Find(name);
    ASSERT_NE(operation, nullptr) << name;
    EXPECT_EQ(operation(nullptr), 1) << name;
    testing::TestHost empty;
    EXPECT_EQ(operation(empty.block()), 1) << name;
  }
}

TEST_F(ModuleTest, LocaliseTemplateRewritesTheTreeInPlace) {
  Operation operation = Find("fctLocaliseTemplate");
  ASSERT_NE(operation, nullptr);
  testing::TempTree tree;
  tree.Write("a.pag", "Input\r\nPAGE {\r\nHome\r\nInput \xFE" "Back\r\n");
  tree.Write("sub/b.page", "PAGE {\n");
  testing::TestHost host;
  host.Set("TEMPLPATH", tree.root_text());
  host.Set("LANG", "Fran\xE7" "ais");
  EXPECT_EQ(operation(host.block()), 1);
  const testing::TreeSnapshot expected = {
      {"a.pag", "Input\r\nPAGE {\r\nAccueil\r\nChamp \xFE" "Pr\xE9" "c\xE9" "dente\r\n"},
      {"sub/b.pag", "PAGE {\n"}};
  EXPECT_EQ(tree.Snapshot(), expected);
}

TEST_F(ModuleTest, TemplateVariablesThatDoNotFitTouchNothing) {
  Operation operation = Find("fctLocaliseTemplate");
  ASSERT_NE(operation, nullptr);
  testing::TempTree tree;
  tree.Write("a.pag", "PAGE {\nHome\n");
  // LANG's slot is the last of its area and holds no NUL: reading past it would fault.
  testing::TestHost host(2, 16, 1024);
  host.Set("TEMPLPATH", tree.root_text());
  host.PutRaw(1, std::string("%LANG%\0", 7), std::string(1024, 'x'));
  host.block()->count = 2;
  EXPECT_EQ(operation(host.block()), 1);
  EXPECT_EQ(tree.Snapshot(), (testing::TreeSnapshot{{"a.pag", "PAGE {\nHome\n"}}));
}

}  // namespace
}  // namespace setupext
