#include "template/template_tree.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/files.h"
#include "read_only_files.h"
#include "support/text_guarantee.h"
#include "support/folder_at.h"
#include "support/faulty_files.h"
#include "support/folder_link.h"
#include "support/module_under_test.h"
#include "support/outcomes.h"
#include "support/page_text_in_memory.h"
#include "support/reference_translation.h"
#include "support/small_stack.h"
#include "support/temp_tree.h"
#include "support/test_host.h"
#include "template/template_operations.h"
#include "template/template_report.h"

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

TreeCounts Localise(const std::string& root) {
  TreeCounts counts;
  (void)LocaliseTree(SystemFiles(), root, &counts);
  return counts;
}

TEST(TemplateTree, LocalisesEveryPageUnderItsOwnName) {
  TempTree tree;
  tree.Write("a.pag", kPage);
  tree.Write("sub/b.pag", kPage);
  tree.Write("sub/deeper/c.pag", "");
  const TreeSnapshot before = tree.Snapshot();
  const TreeCounts counts = Localise(tree.root_text());
  EXPECT_EQ(counts.localised, 2u);
  EXPECT_EQ(counts.unchanged, 1u);
  ExpectTree(before, {{"a.pag", kFrench}, {"sub/b.pag", kFrench}}, tree.Snapshot());
}

TEST(TemplateTree, SecondCallChangesNoByteAndNoFile) {
  TempTree tree;
  tree.Write("f.pag", "PAGE {\nForm Home\n\xFE" "Form\nInput\n");
  tree.Write("sub/a.page", kPage);
  LocaliseAndCommit(tree);
  const TreeSnapshot once = tree.Snapshot();
  EXPECT_EQ(once.at("f.pag"), "PAGE {\nFormulaire Accueil\n\xFE" "Formulaire\nChamp\n");
  std::map<std::string, fs::file_time_type> times;
  for (const auto& [path, bytes] : once) times[path] = fs::last_write_time(tree.root() / path);
  const TreeCounts counts = Localise(tree.root_text() + PathSeparator());
  EXPECT_EQ(counts.localised, 0u);
  EXPECT_EQ(counts.unchanged, 2u);
  EXPECT_EQ(tree.Snapshot(), once);
  for (const auto& [path, time] : times) EXPECT_EQ(fs::last_write_time(tree.root() / path), time) << path;
}

TEST(TemplateTree, OnlyPagesAndStraysAreTakenByTheirOwnNames) {
  TempTree tree;
  tree.Write("a.page", kPage);               // a page: ends as a.pag
  tree.Write("x.PAG", kPage);                // case differs: not a page
  tree.Write("stray.tmp", "left over");      // moved to its page name
  tree.Write("f.pag/README", "Input home");  // folder names never matter
  tree.Write("f.pag/inner.pag", kPage);
  tree.Write("y.tmp/notes", "kept");
  for (const char* name : {"readme.txt", "mail.tmpl", "report.tmp.bak", "logo.page.png", "x.pag.bak",
                           "x.pagination.txt", "notes.TMP"})
    tree.Write(name, kPage);
  const TreeSnapshot before = tree.Snapshot();
  LocaliseAndCommit(tree);
  ExpectTree(before,
             {{"a.page", "<gone>"}, {"a.pag", kFrench}, {"stray.tmp", "<gone>"}, {"stray.pag", "left over"},
              {"f.pag/inner.pag", kFrench}},
             tree.Snapshot());
}

TEST(TemplateTree, PagesWhoseFinalNameIsHeldOrSharedStayAsTheyAre) {
  TempTree tree;
  tree.Write("a.pag", kPage);  // holds the final name of a.page
  tree.Write("a.page", kPage + "2");
  tree.Write("notes.pag", kPage);  // a user's notes.tmp wants its name
  tree.Write("notes.tmp", "user notes");
  tree.Write("m.pagx", kPage);  // two pages that want the same free name
  tree.Write("m.pagy", kPage);
  tree.Write("dir.pag", kPage);  // its output name is a folder's
  tree.MakeFolder(std::string("dir.pag") + std::string(kOutputSuffix));
  tree.Write("c.page", kPage);  // its final name is a folder's
  tree.MakeFolder("c.pag");
  const TreeSnapshot before = tree.Snapshot();
  const TreeCounts counts = Localise(tree.root_text());
  EXPECT_EQ(counts.localised, 2u);
  EXPECT_EQ(counts.left, 6u);
  ExpectTree(before, {{"a.pag", kFrench}, {"notes.pag", kFrench}}, tree.Snapshot());
}

TEST(TemplateTree, LeftoversOfACutCallAreFinished) {
  TempTree tree;
  const std::string out(kOutputSuffix), aside(kAsideSuffix);
  tree.Write("gone.pag" + out, kFrench);         // its page deleted: takes the name
  tree.Write("half.pag", kPage);                 // its output unfinished: redone
  tree.Write("half.pag" + out, "PAGE {\r\nPr");
  tree.Write("new.pag", kPage + "v2");           // replaced by a new English version since
  tree.Write("new.pag" + out, kFrench);
  tree.Write("kept.pag", kFrench);               // moved aside, its French text in place
  tree.Write("kept.pag" + aside, kPage);
  tree.Write("only.pag" + aside, kPage);         // moved aside, and nothing else of it left
  tree.Write("note" + out, "not ours: no page name before the suffix");
  const TreeSnapshot before = tree.Snapshot();
  LocaliseAndCommit(tree);
  ExpectTree(before,
             {{"gone.pag" + out, "<gone>"}, {"gone.pag", kFrench}, {"half.pag" + out, "<gone>"}, {"half.pag", kFrench},
              {"new.pag" + out, "<gone>"}, {"new.pag", testing::TranslatedPage(kPage + "v2")},
              {"kept.pag" + aside, "<gone>"}, {"only.pag" + aside, "<gone>"}, {"only.pag", kFrench}},
             tree.Snapshot());
}

// Pages of every size around the read buffer's, with their first change early, just before or
// after a piece's end, in the last piece, or nowhere: each ends as the line-by-line reference
// translation says, through the real files, at the default buffer and at a tiny one.
TEST(TemplateTree, PagesOfAnySizeMatchTheReference) {
  for (const std::size_t buffer : {PageWork::kDefaultBufferSize, std::size_t{16}}) {
    TempTree tree;
    TreeSnapshot expected;
    const std::string start = "PAGE {\n0\n";
    // Lines of 8 bytes, and lines longer than the buffer whose label marker comes last.
    for (const std::size_t size : {std::size_t{0}, buffer - 1, buffer, buffer + 1, 2 * buffer + 7, 5 * buffer})
    for (const std::size_t line : {std::size_t{8}, 2 * buffer + 3}) {
      for (const std::size_t change : {start.size(), buffer - 8, buffer + 3, size - 6, size}) {
        std::string page = (start + std::string(size, '1')).substr(0, size);
        for (std::size_t at = start.size() + line - 1; at < size; at += line) page[at] = '\n';
        if (line > 8 && size > start.size() + 1) page[size - 2] = '\xFE';
        if (change + 5 <= size && change >= start.size()) page.replace(change, 5, change % 2 ? "Input" : "Home ");
        else if (change != size) continue;
        const std::string name = std::to_string(size) + "-" + std::to_string(line) + "-" + std::to_string(change) + ".pag";
        tree.Write(name, page);
        expected[name] = testing::ReferenceTranslation(page);
      }
    }
    (void)LocaliseTree(SystemFiles(), tree.root_text(), nullptr, nullptr, buffer);
    EXPECT_EQ(tree.Snapshot(), expected) << "buffer " << buffer;
  }
}

// Sibling folders at every depth, many pages in one folder, a large folder, and a folder that
// cannot be listed among readable ones: every other folder is walked whole.
TEST(TemplateTree, TreeShapesAndVolume) {
  TempTree tree;
  TreeSnapshot expected;
  const auto page = [&](const std::string& path) {
    tree.Write(path, kPage);
    expected[path] = kFrench;
  };
  for (const char* a : {"a", "b", "c"}) {
    page(std::string(a) + "/p.pag");
    for (const char* b : {"x", "y", "z"}) page(std::string(a) + "/" + b + "/q.pag");
  }
  for (int i = 0; i < 200; ++i) page("many/p" + std::to_string(i) + ".pag");
  for (int i = 0; i < 10000; ++i) {
    const std::string path = "big/n" + std::to_string(i) + (i % 1000 == 0 ? ".pag" : ".txt");
    if (i % 1000 == 0) page(path);
    else {
      tree.Write(path, "");
      expected[path] = "";
    }
  }
  // The third folder listed cannot be: it alone stays English.
  testing::FaultyFiles files;
  files.FailNth(testing::FileCall::kList, 3);
  TreeCounts counts;
  (void)LocaliseTree(files, tree.root_text(), &counts);
  EXPECT_EQ(counts.folders_skipped, 1u);
  EXPECT_EQ(counts.folders_unlisted, 1u) << "its pages are not known";
  std::size_t english = 0;
  for (const auto& [path, bytes] : tree.Snapshot()) english += bytes == kPage;
  EXPECT_GE(english, 1u);
  EXPECT_LE(english, 200u) << "one folder's pages at the most";
  EXPECT_EQ(counts.localised + english, 12u + 200u + 10u);
  (void)LocaliseTree(SystemFiles(), tree.root_text());
  EXPECT_EQ(tree.Snapshot(), expected);
}

// Names of every shape: alike at their ends, several dots, of one and of 255 characters, and
// on Windows names that differ only in case.
TEST(TemplateTree, NamesOfEveryShape) {
  TempTree tree;
  const std::string longest(std::size_t{255} - kOutputSuffix.size() - 4, 'l');
  const struct {
    std::string name, ends_as;  // ends_as empty: left as it is
  } cases[] = {
      {"Za.pag", "Za.pag"}, {"a.pag", "a.pag"}, {"ba.pag", "ba.pag"}, {"v1.2.page", "v1.2.pag"},
      {"w1.2.tmp", "w1.2.pag"}, {".pag", ".pag"}, {"p", ""}, {longest + ".pag", longest + ".pag"},
      {longest + "l.pag", longest + "l.pag"}, {std::string(std::size_t{255} - 5, 'm') + ".page",
                                               std::string(std::size_t{255} - 5, 'm') + ".pag"},
  };
  TreeSnapshot expected;
  for (const auto& c : cases) {
    tree.Write(c.name, kPage);
    expected[c.ends_as.empty() ? c.name : c.ends_as] = c.ends_as.empty() ? kPage : kFrench;
  }
  if (PathSeparator() == '\\') {  // the system compares names without case
    tree.Write("r.page", kPage);
    tree.Write("R.PAG", "user's");
    expected["r.page"] = kPage;
    expected["R.PAG"] = "user's";
  }
  LocaliseAndCommit(tree);
  EXPECT_EQ(tree.Snapshot(), expected);
}

// Leftovers that compete for one name, or that the module cannot have made: no text lost,
// none left where it cannot be finished, no user's file removed.
TEST(TemplateTree, LeftoversNeverLoseText) {
  TempTree tree;
  const std::string out(kOutputSuffix), aside(kAsideSuffix);
  tree.Write("x.pag" + aside, kPage);          // two only copies for x.pag: its own first
  tree.Write("x.pag-old" + out, kFrench);
  tree.Write("c.pag" + aside, kPage);          // a put-back page before a page that wants its name
  tree.Write("c.page", kPage + "c");
  tree.Write("a.page" + aside, "user's");      // never set aside by the module: the user's
  tree.Write("a.pag", kPage);
  tree.Write("d.pag", kPage + "v2");           // its old copy's text is not there: both stay
  tree.Write("d.pag" + aside, kPage);
  tree.Write("s.tmp", kPage);                  // a stray is translated as it moves
  tree.Write("h.pag", kPage);                  // its copy's text at its name, left English
  tree.Write("h.pag" + aside, kPage);
  tree.MakeFolder("h.pag" + out);
  const TreeSnapshot before = tree.Snapshot();
  LocaliseAndCommit(tree);
  ExpectTree(before,
             {{"x.pag" + aside, "<gone>"}, {"x.pag", kFrench}, {"c.pag" + aside, "<gone>"}, {"c.pag", kFrench},
              {"a.pag", kFrench}, {"d.pag", testing::TranslatedPage(kPage + "v2")}, {"s.tmp", "<gone>"},
              {"s.pag", kFrench}, {"h.pag" + aside, "<gone>"}},
             tree.Snapshot());
}

// The lines of a call's report, each entry named below the tree, and its summary, for
// leftovers finished and, when they cannot be moved, left.
TEST(TemplateTree, TheReportSaysWhatTheCallDid) {
  const std::string out(kOutputSuffix), aside(kAsideSuffix);
  const struct {
    bool moves_fail;
    std::set<std::string> lines;
  } cases[] = {
      {false,
       {"half.pag" + out + ": left by a cut call, unfinished beside its page: removed",
        "gone.pag" + out + ": left by a cut call, its page's only copy: took the name gone.pag",
        "only.pag" + aside + ": left by a cut call, its page's only copy: put back as only.pag, then localised into only.pag",
        "half.pag: localised into half.pag", "m.pagx: left as it is: final name also wanted by m.pagy",
        "m.pagy: left as it is: final name also wanted by m.pagx",
        "summary: 2 localised, 1 needed no change, 3 leftovers finished, 2 stayed English, 0 leftovers stayed, 0 folders "
        "skipped"}},
      {true,
       {"half.pag" + out + ": left by a cut call, unfinished beside its page: removed",
        "gone.pag" + out + ": left by a cut call, its page's only copy: stays: held by another program (error 9999)",
        "only.pag" + aside + ": left by a cut call, its page's only copy: stays: held by another program (error 9999)",
        "half.pag: localised into half.pag", "m.pagx: left as it is: final name also wanted by m.pagy",
        "m.pagy: left as it is: final name also wanted by m.pagx",
        "summary: 1 localised, 1 needed no change, 1 leftovers finished, 2 stayed English, 2 leftovers stayed, 0 folders "
        "skipped"}},
  };
  for (const auto& c : cases) {
    TempTree tree;
    tree.Write("half.pag", kPage);
    tree.Write("half.pag" + out, "PAGE {\r\nPr");
    tree.Write("gone.pag" + out, kFrench);
    tree.Write("only.pag" + aside, kPage);
    tree.Write("plain.pag", "no PAGE line");
    tree.Write("m.pagx", kPage);
    tree.Write("m.pagy", kPage);
    tree.Write("readme.txt", "not a page");
    testing::FaultyFiles files;
    if (c.moves_fail) files.FailNth(testing::FileCall::kMove, 1, true);
    TreeReport report(Tense::kDid, false);
    TreeCounts counts;
    report.Finish(counts, LocaliseTree(files, tree.root_text(), &counts, &report));
    std::set<std::string> lines;
    std::string text(report.text().view());
    ASSERT_EQ(text.rfind("tree: ", 0), 0u) << text;
    text.erase(0, text.find('\n') + 1);
    for (std::size_t end; (end = text.find('\n')) != std::string::npos; text.erase(0, end + 1)) lines.insert(text.substr(0, end));
    EXPECT_EQ(text, "");
    EXPECT_EQ(lines, c.lines) << (c.moves_fail ? "moves fail" : "moves work");
  }
}

// An aside copy goes only when the page at its name holds its whole text: a page that holds
// more than the copy, past the end of a read piece, keeps the copy beside it.
TEST(TemplateTree, AnAsideCopyGoesOnlyWhenItsWholeTextIsAtItsName) {
  for (const std::size_t buffer : {PageWork::kDefaultBufferSize, std::size_t{16}}) {
    for (const std::string more : {"", "more"}) {
      TempTree tree;
      const std::string text(buffer, 'x');  // no PAGE { line: its translation is itself
      tree.Write("p.pag", text + more);
      tree.Write("p.pag" + std::string(kAsideSuffix), text);
      const TreeSnapshot before = tree.Snapshot();
      (void)LocaliseTree(SystemFiles(), tree.root_text(), nullptr, nullptr, buffer);
      TreeSnapshot expected = before;
      if (more.empty()) expected.erase("p.pag" + std::string(kAsideSuffix));
      EXPECT_EQ(tree.Snapshot(), expected) << buffer << " " << more;
    }
  }
}

// A long page's leftovers with a second name are somebody else's: a marker that is not the
// module's own is never taken for one, and a marker stays while its output is there.
TEST(TemplateTree, LongNameLeftoversWithASecondNameStay) {
  const std::string page = std::string(250, 'h') + ".pag";
  PathText output, marker;
  ASSERT_TRUE(AppendOutputName(page, testing::OrdinaryFacts(), output));
  ASSERT_TRUE(AppendMarkerName(page, testing::OrdinaryFacts(), marker));
  const struct {
    bool page_there;
    std::string linked;  // the leftover that has a second name
  } cases[] = {{false, std::string(output.view())}, {true, std::string(marker.view())}};
  for (const auto& c : cases) {
    TempTree tree;
    if (c.page_there) tree.Write(page, kPage);
    else tree.Write(std::string(output.view()), kFrench);
    tree.Write(std::string(marker.view()), "");
    tree.MakeFolder("keep");
    std::error_code error;
    fs::create_hard_link(tree.root() / c.linked, tree.root() / "keep" / "second", error);
    if (error) GTEST_SKIP() << "no second names here: " << error.message();
    const TreeSnapshot before = tree.Snapshot();
    (void)Localise(tree.root_text());
    EXPECT_EQ(tree.Snapshot(), before) << (c.page_there ? "marker" : "output") << " with a second name";
  }
}

// Two calls at once on one tree (an installer that starts the operation twice): each page is
// localised by one of them, and neither removes the other's work.
TEST(TemplateTree, TwoCallsAtOnceLoseNothing) {
  TempTree tree;
  TreeSnapshot expected;
  for (int folder = 0; folder < 3; ++folder) {
    for (int page = 0; page < 120; ++page) {
      const std::string name = "f" + std::to_string(folder) + "/p" + std::to_string(page);
      const std::string text = kPage + std::to_string(page) + std::string(static_cast<std::size_t>(page) * 37, 'x');
      tree.Write(name + (page % 3 == 0 ? ".page" : ".pag"), text);
      expected[name + ".pag"] = testing::ReferenceTranslation(text);
    }
  }
  const auto call = [&tree] { LocaliseAndCommit(tree); };
  ASSERT_TRUE(testing::RunTogether(call, call));
  EXPECT_EQ(tree.Snapshot(), expected);
}

// What --explain says a call would do, entry by entry, is what the call then does.

TEST(TemplateTree, ExplainSaysWhatTheCallDoes) {
  TempTree tree;
  const std::string out(kOutputSuffix), aside(kAsideSuffix);
  const std::string big = kPage + std::string(3 * PageWork::kDefaultBufferSize, 'z') + "\nInput\n";
  const TreeSnapshot files = {
      {"a.pag", kPage}, {"a.page", kPage}, {"a.pagx", kPage}, {"a.tmp", kPage}, {"b.page", kPage},
      {"b.page" + out, "half"}, {"c.pag" + aside, kPage}, {"c.page", kPage}, {"d.pag", kFrench},
      {"d.pag" + aside, kPage}, {"e.pag", "no header line"}, {"f.tmp", "stray"}, {"g.pag" + out, kFrench},
      {"h.pag", kPage + "v2"}, {"h.pag" + aside, kPage}, {"big.pag", big}, {"sub/i.pag", kPage}};
  for (const auto& [path, bytes] : files) tree.Write(path, bytes);
  testing::Outcomes explained, done;
  {
    ReadOnlyFiles read_only(SystemFiles());
    (void)LocaliseTree(read_only, tree.root_text(), nullptr, &explained);
  }
  EXPECT_EQ(tree.Snapshot(), files) << "--explain changed the tree";
  (void)LocaliseTree(SystemFiles(), tree.root_text(), nullptr, &done);
  EXPECT_EQ(explained.seen, done.seen);
  EXPECT_EQ(done.seen.size(), files.size() + 1) << "every entry reported, the folder sub too";
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
  EXPECT_EQ(Localise(tree.root_text()).localised, 3u);
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
  const std::string longest = deep + std::string(kMaxPathLength - folder_length - 4, 'l') + ".pag";
  const std::string pages[] = {
      deep + "short.pag",
      // The longest page path: its leftovers' names go beyond, and are made all the same.
      longest,
      // A page whose path is one character over the limit.
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
  if (before.size() != 4) GTEST_SKIP() << "this platform does not hold paths this long";
  LocaliseAndCommit(tree);
  ExpectTree(before, {{deep + "short.pag", kFrench}, {longest, kFrench}}, tree.Snapshot());
}

// A subfolder whose path, with its separator, is the longest the walk enters is walked (its
// page's path is over the limit: left); one character longer, it is skipped, its page counted.
TEST(TemplateTree, SubfoldersUpToTheLimitAreWalked) {
  TempTree tree;
  const std::string base = FolderOfLength(tree, kMaxRootLength - 2);
  TreeSnapshot before;
  try {
    tree.Write(base + "/f/a.pag", kPage);
    tree.Write(base + "/gg/a.pag", kPage);
    before = tree.Snapshot();
  } catch (const fs::filesystem_error&) {
  }
  if (before.size() != 2) GTEST_SKIP() << "this platform does not hold paths this long";
  const TreeCounts counts = Localise(tree.root_text());
  EXPECT_EQ(counts.left, 2u);  // one page over the limit, one in the folder not walked
  EXPECT_EQ(counts.folders_skipped, 1u);
  EXPECT_EQ(tree.Snapshot(), before);
}

TEST(TemplateTree, RootsNearAndOverTheLimit) {
  EXPECT_EQ(LocaliseTree(SystemFiles(), ""), TreeResult::kNoRoot);
  // In the longest root that still holds "a.pag" its path is 1023 characters; longer roots
  // are walked up to their own limit, their pages left.
  const std::size_t longest_for_page = kMaxPathLength - 1 - std::string("a.pag").size();
  for (const std::size_t length : {longest_for_page, longest_for_page + 1, kMaxRootLength, kMaxRootLength + 1}) {
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
    const bool walked = length <= longest_for_page, root_walked = length <= kMaxRootLength;
    TreeCounts counts;
    EXPECT_EQ(LocaliseTree(SystemFiles(), root, &counts), root_walked ? TreeResult::kDone : TreeResult::kRootTooLong) << length;
    EXPECT_EQ(counts.localised, walked ? 1u : 0u) << length;
    EXPECT_EQ(counts.left, root_walked && !walked ? 1u : 0u) << length;
    EXPECT_EQ(tree.Snapshot(), (TreeSnapshot{{folder + "/a.pag", walked ? kFrench : kPage}})) << length;
  }
}

// A page is deleted only while its name still names the very file that was read, unchanged:
// where the system lets a writer in (POSIX has no share modes), an append or a replacement
// after the reading keeps the page.
TEST(TemplateTree, APageChangedAfterItsReadingIsNeverDeleted) {
  for (const bool replace : {false, true}) {
    TempTree tree;
    tree.Write("a.pag", kPage);
    tree.Write("other", "other text");
    Files& files = SystemFiles();
    std::uint64_t size = 0;
    Opened page = files.OpenPage(testing::FolderAt(files, (tree.root() / "a.pag").string()), (tree.root() / "a.pag").string(), &size);
    ASSERT_EQ(page.result, FileResult::kDone);
    std::error_code error;
    bool changed = false;
    if (replace) {
      fs::rename(tree.root() / "other", tree.root() / "a.pag", error);
      changed = !error;
    } else {
      std::ofstream append(tree.root() / "a.pag", std::ios::binary | std::ios::app);
      changed = append.is_open() && (append << "appended").flush().good();
    }
    const std::string after = testing::ReadFileBytes(tree.root() / "a.pag");
    const PageDeletion deletion =
        files.DeletePage(std::move(page.file), page.stamp, testing::FolderAt(files, (tree.root() / "a.pag").string()), (tree.root() / "a.pag").string(), {});
    EXPECT_EQ(deletion, changed ? PageDeletion::kKept : PageDeletion::kGone) << "replace " << replace;
    EXPECT_EQ(fs::exists(tree.root() / "a.pag"), changed) << "replace " << replace;
    if (changed) {
      EXPECT_EQ(testing::ReadFileBytes(tree.root() / "a.pag"), after) << "replace " << replace;
    }
  }
}

// A host may call from a thread with 16 KiB of stack left: a flat tree with every kind of
// entry (leftovers of a cut call finished and put back, a long name) and a tree nested to the
// path limit (the walk keeps its folders in a worklist, so depth takes no stack) are localised
// on such a thread.
TEST(TemplateTree, SmallStackIsEnough) {
  TreeSnapshot flat = testing::GuaranteeTree();
  flat["gone.pag" + std::string(kAsideSuffix)] = kPage;   // a page's only copy, set aside
  flat["left.pag" + std::string(kOutputSuffix)] = kFrench;  // a French version whose page went
  TreeSnapshot flat_after = testing::LocalisedTree(testing::GuaranteeTree());
  flat_after["gone.pag"] = kFrench;
  flat_after["left.pag"] = kFrench;
  std::string deep;
  while (TempTree().root_text().size() + deep.size() + 20 < kMaxRootLength) deep += "d/";
  ASSERT_GT(deep.size() / 2, 400u) << "levels";
  const struct {
    const char* name;
    TreeSnapshot before, after;
    bool listed;  // whether the test can list the whole tree to see that nothing else is there
  } cases[] = {
      {"flat", flat, flat_after, true},
      {"deep", {{deep + "a.pag", kPage}}, {{deep + "a.pag", kFrench}}, false},
  };
  for (const auto& c : cases) {
    TempTree tree;
    for (const auto& [path, bytes] : c.before) tree.Write(path, bytes);
    const std::string root = tree.root_text();
    TreeResult result = TreeResult::kNoRoot;
    ASSERT_TRUE(testing::RunWithSmallStack([&] { result = LocaliseTree(SystemFiles(), root); })) << c.name;
    EXPECT_EQ(result, TreeResult::kDone) << c.name;
    // Read file by file: a listing of the deep tree fails where paths are limited to 260.
    for (const auto& [path, bytes] : c.after) EXPECT_EQ(testing::ReadFileBytes(tree.root() / path), bytes) << path;
    if (c.listed) {
      EXPECT_EQ(tree.Snapshot(), c.after) << c.name;
    }
  }
}

// Trees laid out by tests/make_link_trees: beside each tree an "outside" folder that a link or a
// second name inside the tree reaches. Nothing outside may change, and the link is left as it is:
// the pages it reaches are English pages, so a translation through it would show.
TEST(TemplateTreeLinks, NothingOutsideTheTreeIsTouched) {
  const char* trees = std::getenv("SETUPEXT_LINK_TREES");
  ASSERT_NE(trees, nullptr) << "run through ctest, which lays the trees out first";
  const struct {
    const char* name;
    const char* link;    // the entry in the tree that leads outside
    const char* reads;   // what reading it gives, proving it leads there
  } cases[] = {
      {"folder_link", "elsewhere.pag/victim.pag", "PAGE {\r\nHome\r\nInput\r\noutside folder_link\r\n"},
      {"page_link", "victim.pag", "PAGE {\r\nHome\r\nInput\r\noutside page_link\r\n"},
      {"stray_link", "notes.tmp", "stray stray_link\r\n"},
      {"second_name", "victim.pag", "PAGE {\r\nHome\r\nInput\r\noutside second_name\r\n"},
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
