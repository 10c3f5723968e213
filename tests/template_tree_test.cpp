#include "template/template_tree.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>

#include "platform/files.h"
#include "support/folder_link.h"
#include "support/module_under_test.h"
#include "support/temp_tree.h"
#include "support/test_host.h"
#include "template/template_operations.h"

namespace setupext {
namespace {

namespace fs = std::filesystem;
using testing::TempTree;
using testing::TreeSnapshot;

const std::string kPage =
    "Title: Input home\r\nPAGE {\r\nBack Input\r\nInput Home PowerByTORVEKEN\r\n\xFE Home\r\n}";
const std::string kFrench =
    "Title: Input home\r\nPAGE {\r\nPr\xE9" "c\xE9" "dente Input\r\nChamp Home PowerByTORVEKFR\r\n\xFE Accueil\r\n}";

// Both passes the way the installer runs them: through the real module's operation.
void LocaliseAndCommit(const std::string& root) { testing::LocaliseThroughModule(root); }

void LocaliseAndCommit(const TempTree& tree) { LocaliseAndCommit(tree.root_text()); }

// The tree after a run: `changed` lists what each touched file must hold now, every other
// file of `before` must be there unchanged, and nothing else may exist.
void ExpectTree(const TreeSnapshot& before, const TreeSnapshot& changed, const TreeSnapshot& after) {
  TreeSnapshot expected = before;
  for (const auto& [path, bytes] : changed) {
    if (bytes == "<gone>") expected.erase(path);
    else expected[path] = bytes;
  }
  EXPECT_EQ(after, expected);
}

TEST(ReplaceExtension, FromTheLastDotOfTheName) {
  EXPECT_EQ(ReplaceExtension("a.pag", ".tmp"), "a.tmp");
  EXPECT_EQ(ReplaceExtension("a.page", ".tmp"), "a.tmp");
  EXPECT_EQ(ReplaceExtension("x.pag.bak", ".tmp"), "x.pag.tmp");
  EXPECT_EQ(ReplaceExtension("notes.tmp", ".pag"), "notes.pag");
  EXPECT_EQ(ReplaceExtension("README", ".tmp"), "README.tmp");
}

TEST(TemplateTree, LocalisesEveryPageUnderItsOwnName) {
  TempTree tree;
  tree.Write("a.pag", kPage);
  tree.Write("sub/b.pag", kPage);
  tree.Write("sub/deeper/c.pag", "");
  const TreeSnapshot before = tree.Snapshot();
  EXPECT_EQ(LocaliseTree(SystemFiles(), tree.root_text()), 3u);
  EXPECT_EQ(CommitTree(SystemFiles(), tree.root_text()), 3u);
  ExpectTree(before, {{"a.pag", kFrench}, {"sub/b.pag", kFrench}}, tree.Snapshot());
}

TEST(TemplateTree, RootWithOrWithoutTrailingSeparator) {
  TempTree tree;
  tree.Write("a.pag", kPage);
  LocaliseAndCommit(tree);
  const std::string once = testing::ReadFileBytes(tree.root() / "a.pag");
  EXPECT_EQ(once, kFrench);
  LocaliseTree(SystemFiles(), tree.root_text() + PathSeparator());
  CommitTree(SystemFiles(), tree.root_text() + PathSeparator());
  // A second run translates again: only "Formulaire" would change, and there is none here.
  EXPECT_EQ(testing::ReadFileBytes(tree.root() / "a.pag"), kFrench);
}

TEST(TemplateTree, SecondRunTranslatesFormAgain) {
  TempTree tree;
  tree.Write("f.pag", "PAGE {\nForm\n\xFE" "Form\n");
  LocaliseAndCommit(tree);
  EXPECT_EQ(testing::ReadFileBytes(tree.root() / "f.pag"), "PAGE {\nFormulaire\n\xFE" "Formulaire\n");
  LocaliseAndCommit(tree);
  EXPECT_EQ(testing::ReadFileBytes(tree.root() / "f.pag"), "PAGE {\nFormulaireulaire\n\xFE" "Formulaireulaire\n");
}

TEST(TemplateTree, SelectionLooksAtTheEntrysOwnName) {
  TempTree tree;
  tree.Write("a.page", kPage);              // a page by substring, ends as a.pag
  tree.Write("x.PAG", kPage);               // case differs: not a page
  tree.Write("readme.txt", "Input home");   // not a page
  tree.Write("stray.tmp", "left over");     // moved to its page name by the commit pass
  tree.Write("f.pag/README", "Input home"); // folder names never matter
  tree.Write("f.pag/inner.pag", kPage);
  tree.Write("y.tmp/notes", "kept");
  const TreeSnapshot before = tree.Snapshot();
  LocaliseAndCommit(tree);
  ExpectTree(before,
             {{"a.page", "<gone>"}, {"a.pag", kFrench}, {"stray.tmp", "<gone>"}, {"stray.pag", "left over"},
              {"f.pag/inner.pag", kFrench}},
             tree.Snapshot());
}

TEST(TemplateTree, PagesWhoseOutputNameIsTakenStayAsTheyAre) {
  TempTree tree;
  tree.Write("a.pag", kPage);  // shares its output a.tmp with a.page
  tree.Write("a.page", kPage + "2");
  tree.Write("notes.pag", kPage);  // its output name is a user's file
  tree.Write("notes.tmp", "user notes");
  tree.Write("dir.pag", kPage);  // its output name is a folder
  tree.MakeFolder("dir.tmp");
  tree.Write("x.pag.tmp", kPage);  // its output name is its own
  tree.Write("ok.pag", kPage);
  const TreeSnapshot before = tree.Snapshot();
  EXPECT_EQ(LocaliseTree(SystemFiles(), tree.root_text()), 1u);
  CommitTree(SystemFiles(), tree.root_text());
  // x.pag.tmp is also a commit candidate: it moves, untranslated, to x.pag.pag.
  ExpectTree(before, {{"ok.pag", kFrench}, {"x.pag.tmp", "<gone>"}, {"x.pag.pag", kPage}}, tree.Snapshot());
}

TEST(TemplateTree, PagesWithSecondExtensionsKeepTheirTextOnce) {
  TempTree tree;
  tree.Write("x.pag.bak", kPage);
  const TreeSnapshot before = tree.Snapshot();
  LocaliseAndCommit(tree);
  // Output x.pag.tmp is not met again by the pass that made it; the commit names it x.pag.pag.
  ExpectTree(before, {{"x.pag.bak", "<gone>"}, {"x.pag.pag", kFrench}}, tree.Snapshot());
}

TEST(TemplateTree, FolderLinksAreEnteredOnce) {
  TempTree tree;
  tree.Write("a.pag", kPage);
  tree.Write("sub/b.pag", kPage);
  std::string why;
  if (!testing::MakeFolderLink(tree.root(), tree.root() / "sub" / "loop", &why))
    GTEST_SKIP() << "folder links cannot be made here: " << why;
  tree.Write("other/c.pag", kPage);
  ASSERT_TRUE(testing::MakeFolderLink(tree.root() / "other", tree.root() / "alias", &why)) << why;
  const TreeSnapshot before = tree.Snapshot();
  EXPECT_EQ(LocaliseTree(SystemFiles(), tree.root_text()), 3u);
  CommitTree(SystemFiles(), tree.root_text());
  ExpectTree(before, {{"a.pag", kFrench}, {"sub/b.pag", kFrench}, {"other/c.pag", kFrench}}, tree.Snapshot());
}

// A folder below the tree, made of nested 100-character names, whose full path is exactly
// `length` characters long.
std::string FolderOfLength(const TempTree& tree, std::size_t length) {
  std::string relative;
  while (tree.root_text().size() + 1 + relative.size() + 100 < length) relative += std::string(99, 'd') + "/";
  return relative + std::string(length - tree.root_text().size() - 1 - relative.size(), 'r');
}

TEST(TemplateTree, PathsOverTheLimitAreSkippedNotCut) {
  TempTree tree;
  const std::string deep = FolderOfLength(tree, 950) + "/";
  const std::size_t folder_length = tree.root_text().size() + 1 + deep.size();
  const std::string pages[] = {
      deep + "short.pag",
      // A page whose full path is one character over the limit.
      deep + std::string(kMaxPathLength + 1 - folder_length - 4, 'p') + ".pag",
      // A folder one character longer than any folder the walk enters.
      deep + std::string(kMaxRootLength + 1 - folder_length + 1, 'e') + "/inside.pag",
  };
  TreeSnapshot before;
  try {
    for (const std::string& page : pages) tree.Write(page, kPage);
    before = tree.Snapshot();
  } catch (const fs::filesystem_error&) {
  }
  // Windows' file functions refuse such paths themselves, so the walk can never meet them.
  if (before.size() != 3) GTEST_SKIP() << "this platform does not hold paths this long";
  LocaliseAndCommit(tree);
  ExpectTree(before, {{deep + "short.pag", kFrench}}, tree.Snapshot());
}

TEST(TemplateTree, RootsNearAndOverTheLimit) {
  EXPECT_EQ(LocaliseTree(SystemFiles(), ""), 0u);
  // In the longest root that still holds "a.pag" the page and its output are 1023 characters.
  const std::size_t longest_for_page = kMaxPathLength - 1 - std::string("a.pag").size();
  for (const std::size_t length : {longest_for_page, longest_for_page + 1, kMaxRootLength + 1}) {
    TempTree tree;
    const std::string folder = FolderOfLength(tree, length);
    TreeSnapshot before;
    try {
      tree.Write(folder + "/a.pag", kPage);
      before = tree.Snapshot();
    } catch (const fs::filesystem_error&) {
    }
    if (before.size() != 1) GTEST_SKIP() << "this platform does not hold paths this long";
    const std::string root = tree.root_text() + PathSeparator() + folder;
    ASSERT_EQ(root.size(), length);
    const bool walked = length <= longest_for_page;
    EXPECT_EQ(LocaliseTree(SystemFiles(), root), walked ? 1u : 0u) << length;
    EXPECT_EQ(LocaliseTree(SystemFiles(), root + PathSeparator()), 0u) << "nothing left to localise";
    CommitTree(SystemFiles(), root);
    EXPECT_EQ(tree.Snapshot(), (TreeSnapshot{{folder + "/a.pag", walked ? kFrench : kPage}})) << length;
  }
}

// Trees laid out by tests/make_link_trees: beside each tree an "outside" folder that a link or a
// second name inside the tree reaches. Nothing outside may change, and the link is left as it is.
TEST(TemplateTreeLinks, NothingOutsideTheTreeIsTouched) {
  const char* trees = std::getenv("SETUPEXT_LINK_TREES");
  ASSERT_NE(trees, nullptr) << "run through ctest, which lays the trees out first";
  const struct {
    const char* name;
    const char* link;    // the entry in the tree that leads outside
    const char* reads;   // what reading it gives, proving it leads there
  } cases[] = {
      {"folder_link", "elsewhere.pag/victim.pag", "outside folder_link\r\n"},
      {"page_link", "victim.pag", "outside page_link\r\n"},
      {"stray_link", "notes.tmp", "stray stray_link\r\n"},
      {"second_name", "victim.pag", "outside second_name\r\n"},
  };
  for (const auto& c : cases) {
    const fs::path folder = testing::HostFolder(std::string(trees) + "/" + c.name);
    ASSERT_TRUE(fs::exists(folder / "made")) << c.name << ": the links were not made";
    ASSERT_EQ(testing::ReadFileBytes(folder / "tree" / c.link), c.reads) << c.name;
    const TreeSnapshot outside = testing::SnapshotFolder(folder / "outside");
    ASSERT_EQ(outside.size(), 2u) << c.name;

    LocaliseAndCommit((folder / "tree").string());

    EXPECT_EQ(testing::SnapshotFolder(folder / "outside"), outside) << c.name;
    EXPECT_EQ(testing::ReadFileBytes(folder / "tree" / "inside.pag"), "PAGE {\r\nAccueil\r\nChamp\r\n") << c.name;
    EXPECT_EQ(testing::ReadFileBytes(folder / "tree" / c.link), c.reads) << c.name;
    std::set<std::string> names;
    for (const fs::directory_entry& entry : fs::directory_iterator(folder / "tree")) names.insert(entry.path().filename().string());
    const std::string link_name = fs::path(c.link).begin()->string();
    EXPECT_EQ(names, (std::set<std::string>{"inside.pag", link_name})) << c.name;
  }
}

TEST(TemplateOperations, TemplPathNamesTheTree) {
  TempTree tree;
  tree.Write("a.pag", kPage);
  testing::TestHost host;
  host.Set("TEMPLPATH", tree.root_text());
  host.Set("LANG", "Fran\xE7" "ais");
  EXPECT_TRUE(LocaliseTemplateFolder(*host.block()));
  EXPECT_EQ(testing::ReadFileBytes(tree.root() / "a.pag"), kFrench);
}

TEST(TemplateOperations, MainDirGetsTheTemplateFolderAppended) {
  for (const bool trailing : {false, true}) {
    TempTree tree;
    tree.Write("Material/Template/a.pag", kPage);
    tree.Write("b.pag", kPage);  // above the template folder: not touched
    testing::TestHost host;
    host.Set("MAINDIR", tree.root_text() + (trailing ? std::string(1, PathSeparator()) : ""));
    EXPECT_TRUE(LocaliseApplicationTemplates(*host.block()));
    EXPECT_EQ(testing::ReadFileBytes(tree.root() / "Material" / "Template" / "a.pag"), kFrench) << trailing;
    EXPECT_EQ(testing::ReadFileBytes(tree.root() / "b.pag"), kPage);
  }
}

TEST(TemplateOperations, VariablesThatDoNotFitTouchNothing) {
  TempTree tree;
  tree.Write("a.pag", kPage);
  testing::TestHost host(4, 32, 8192);
  host.Set("TEMPLPATH", tree.root_text());
  host.Set("LANG", std::string(4096, 'L'));  // too long for the language buffer
  EXPECT_TRUE(LocaliseTemplateFolder(*host.block()));
  testing::TestHost empty;
  EXPECT_TRUE(LocaliseTemplateFolder(*empty.block()));
  EXPECT_EQ(testing::ReadFileBytes(tree.root() / "a.pag"), kPage);
}

}  // namespace
}  // namespace setupext
