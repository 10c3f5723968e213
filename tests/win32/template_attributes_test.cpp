// File attributes as Windows has them, through the real module: hidden and system pages are
// pages like any other, and a read-only page that cannot be deleted keeps its English text.
#include <windows.h>

#include <gtest/gtest.h>

#include "support/module_under_test.h"
#include "support/temp_tree.h"

namespace setupext {
namespace {

const std::string kPage = "PAGE {\r\nHome\r\nInput\r\n";
const std::string kFrench = "PAGE {\r\nAccueil\r\nChamp\r\n";

class TemplateAttributesTest : public ::testing::Test {
 protected:
  void Localise() { testing::LocaliseThroughModule(tree_.root_text()); }

  void SetAttributes(const char* relative, DWORD attributes) {
    ASSERT_TRUE(SetFileAttributesA((tree_.root() / relative).string().c_str(), attributes));
  }

  testing::TempTree tree_;
};

TEST_F(TemplateAttributesTest, ReadOnlyPageKeepsItsTextAndNoOutputIsLeft) {
  tree_.Write("locked.pag", kPage);
  tree_.Write("open.pag", kPage);
  SetAttributes("locked.pag", FILE_ATTRIBUTE_READONLY);
  Localise();
  EXPECT_EQ(tree_.Snapshot(), (testing::TreeSnapshot{{"locked.pag", kPage}, {"open.pag", kFrench}}));
  SetAttributes("locked.pag", FILE_ATTRIBUTE_NORMAL);
}

TEST_F(TemplateAttributesTest, HiddenAndSystemPagesAreLocalised) {
  tree_.Write("hidden.pag", kPage);
  tree_.Write("system.pag", kPage);
  SetAttributes("hidden.pag", FILE_ATTRIBUTE_HIDDEN);
  SetAttributes("system.pag", FILE_ATTRIBUTE_SYSTEM);
  Localise();
  EXPECT_EQ(tree_.Snapshot(), (testing::TreeSnapshot{{"hidden.pag", kFrench}, {"system.pag", kFrench}}));
}

}  // namespace
}  // namespace setupext
