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

// Read-only, hidden and system pages are localised, and their French versions keep those
// attributes; a read-only leftover of a cut call is finished too.
TEST_F(TemplateAttributesTest, PagesKeepTheirAttributes) {
  const struct {
    const char* name;
    DWORD attributes;
  } pages[] = {{"ro.pag", FILE_ATTRIBUTE_READONLY}, {"hidden.pag", FILE_ATTRIBUTE_HIDDEN},
               {"system.pag", FILE_ATTRIBUTE_SYSTEM}, {"plain.pag", FILE_ATTRIBUTE_ARCHIVE},
               {"unindexed.pag", FILE_ATTRIBUTE_NOT_CONTENT_INDEXED},
               {"all.pag", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                               FILE_ATTRIBUTE_NOT_CONTENT_INDEXED}};
  constexpr DWORD kKept = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                          FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
  testing::TreeSnapshot french;
  for (const auto& page : pages) {
    tree_.Write(page.name, kPage);
    SetAttributes(page.name, page.attributes);
    french[page.name] = kFrench;
  }
  // Which of the bits this volume keeps at all (Wine keeps some in extended attributes).
  tree_.Write("probe", "");
  SetAttributes("probe", kKept);
  const DWORD kept_here = GetFileAttributesA((tree_.root() / "probe").string().c_str()) & kKept;
  SetAttributes("probe", FILE_ATTRIBUTE_NORMAL);
  ASSERT_NE(kept_here & FILE_ATTRIBUTE_READONLY, 0u) << "this volume keeps no read-only bit";
  french["probe"] = "";
  tree_.Write("w.pag", kPage);
  tree_.Write("w.pag.setupext-new", "unfinished");
  SetAttributes("w.pag.setupext-new", FILE_ATTRIBUTE_READONLY);
  french["w.pag"] = kFrench;
  Localise();
  EXPECT_EQ(tree_.Snapshot(), french);
  for (const auto& page : pages) {
    const DWORD now = GetFileAttributesA((tree_.root() / page.name).string().c_str());
    // What the volume keeps of a page's attributes its French version keeps too.
    EXPECT_EQ(now & kKept, page.attributes & kKept & kept_here) << page.name;
    SetAttributes(page.name, FILE_ATTRIBUTE_NORMAL);
  }
}

}  // namespace
}  // namespace setupext
