// A tree's localisation over real files with each file call failing in turn, once or from
// then on, and then a clean call over what the failure left.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support/faulty_files.h"
#include "support/forwarding_files.h"
#include "support/page_text_in_memory.h"
#include "support/temp_tree.h"
#include "support/text_guarantee.h"
#include "template/template_report.h"
#include "template/template_tree.h"

namespace setupext {
namespace {

using testing::FaultyFiles;
using testing::FileCall;
using testing::TempTree;
using testing::TreeSnapshot;

void Fill(const TempTree& tree) {
  for (const auto& [path, bytes] : testing::GuaranteeTree()) tree.Write(path, bytes);
}

// Calls made only when another fails are counted with that failure made too.
struct Family {
  FileCall call;
  FileCall also = FileCall::kCount;  // fails every time, so that `call` is made at all
};

TEST(TemplateFaults, NoPageTextLostWhateverFileCallFails) {
  const testing::TextGuarantee guarantee(testing::GuaranteeTree());
  const TreeSnapshot localised = testing::LocalisedTree(testing::GuaranteeTree());
  const Family families[] = {
      {FileCall::kCreate}, {FileCall::kOpen},   {FileCall::kRead},       {FileCall::kWrite},
      {FileCall::kFlush},  {FileCall::kClose},  {FileCall::kDeletePage}, {FileCall::kRename},
      {FileCall::kList},   {FileCall::kMove},   {FileCall::kSync},       {FileCall::kDeleteNew, FileCall::kFlush},
  };
  for (const Family& family : families) {
    FaultyFiles clean;
    {
      TempTree tree;
      Fill(tree);
      if (family.also != FileCall::kCount) clean.FailNth(family.also, 1, true);
      (void)LocaliseTree(clean, tree.root_text());
      if (family.also == FileCall::kCount) {
        ASSERT_EQ(tree.Snapshot(), localised);
      }
    }
    const int calls = clean.count(family.call);
    ASSERT_GT(calls, 0) << FileCallName(family.call);
    for (const bool persistent : {false, true}) {
      for (int n = 1; n <= calls; ++n) {
        const std::string at = std::string(FileCallName(family.call)) + " " + std::to_string(n) + (persistent ? " and later" : "");
        TempTree tree;
        Fill(tree);
        FaultyFiles files;
        if (family.also != FileCall::kCount) files.FailNth(family.also, 1, true);
        files.FailNth(family.call, n, persistent);
        (void)LocaliseTree(files, tree.root_text());
        EXPECT_EQ(guarantee.AfterAnyRun(tree.Snapshot()), "") << at;
        (void)LocaliseTree(SystemFiles(), tree.root_text());
        EXPECT_EQ(tree.Snapshot(), localised) << at << ", then a clean call";
      }
    }
  }
}

// A long page whose replacement fails before the page goes keeps its text and its folder:
// neither its output nor its marker is left.
TEST(TemplateFaults, ALongPageKeptLeavesNothingBesideIt) {
  const std::string page = std::string(245, 'L') + ".pag";
  for (const FileCall call : {FileCall::kWrite, FileCall::kFlush, FileCall::kAttributes, FileCall::kSync,
                              FileCall::kDeletePage, FileCall::kCreate}) {
    TempTree tree;
    tree.Write(page, "PAGE {\nNext\nInput\n");
    const TreeSnapshot before = tree.Snapshot();
    FaultyFiles files;
    files.FailNth(call, call == FileCall::kCreate ? 2 : 1);  // the second creation is the output's
    (void)LocaliseTree(files, tree.root_text());
    EXPECT_EQ(tree.Snapshot(), before) << FileCallName(call);
  }
}

// Each failing step is named with the system's error number: a customer's log tells a full disk from a refusal.
// A long name's marker that outlives its step is told and counted, and the next call removes it.
TEST(TemplateFaults, EachFailureNamesItsStepAndTheSystemsError) {
  const std::string long_page = std::string(245, 'L') + ".pag", marker = "the marker of its long name stays for the next call";
  const struct {
    bool long_name;
    FileCall call;
    int nth;
    std::string words;
  } cases[] = {{false, FileCall::kCreate, 1, "its output could not be created"}, {false, FileCall::kWrite, 1, "the output could not be written"},
      {false, FileCall::kFlush, 1, "the output could not be flushed"}, {false, FileCall::kDeletePage, 1, "could not be deleted"},
      {false, FileCall::kSync, 1, "the folder could not be put on the disk"}, {false, FileCall::kAttributes, 1, "the output could not be given the page's attributes"},
      {false, FileCall::kRename, 1, "its final name did not come free"}, {true, FileCall::kSync, 3, marker}, {true, FileCall::kDeletePage, 2, marker},
      {false, FileCall::kSync, 2, "its French version waits beside it for the next call: the page's deletion could not be put on the disk"}};
  for (const auto& [long_name, call, nth, words] : cases) {
    TempTree tree;
    tree.Write(long_name ? long_page : "a.pag", "PAGE {\nHome\n");
    FaultyFiles files;
    files.TakeNamesAsUnordered();
    files.FailNth(call, nth);
    TreeReport report(Tense::kDid, false);
    TreeCounts counts;
    (void)LocaliseTree(files, tree.root_text(), &counts, &report);
    const std::string said(report.text().view());
    EXPECT_NE(said.find(words), std::string::npos) << FileCallName(call) << ": " << said;
    EXPECT_NE(said.find(" (error " + std::to_string(FaultyFiles::kInjectedError) + ")"), std::string::npos) << said;
    if (!long_name) continue;
    EXPECT_EQ(counts.localised + counts.leftovers_left, 2u) << said;
    EXPECT_EQ(tree.Snapshot().size(), 2u) << said;
    (void)LocaliseTree(SystemFiles(), tree.root_text());
    EXPECT_EQ(tree.Snapshot().size(), 1u) << FileCallName(call) << ", then a clean call";
  }
}

// A file system without locks keeps no other call out, and is walked all the same.
TEST(TemplateFaults, FoldersThatCannotBeLockedAreWalkedAllTheSame) {
  TempTree tree;
  Fill(tree);
  FaultyFiles files;
  files.FailNth(FileCall::kLock, 1, true);
  (void)LocaliseTree(files, tree.root_text());
  EXPECT_GT(files.count(FileCall::kLock), 1);
  EXPECT_EQ(tree.Snapshot(), testing::LocalisedTree(testing::GuaranteeTree()));
}

TEST(TemplateFaults, QuietErrorModeIsSetBeforeTheFirstOutputIsCreated) {
  TempTree tree;
  Fill(tree);
  FaultyFiles files;
  (void)LocaliseTree(files, tree.root_text());
  EXPECT_GT(files.count(FileCall::kCreate), 0);
  EXPECT_TRUE(files.quiet_before_create());
}

// Real files, but after the listing of `listed`, `swapped` moves away and `outside` or a link to it takes its name.
struct SwapAfterListing final : testing::ForwardingFiles {
  SwapAfterListing(std::filesystem::path at, std::filesystem::path from, std::filesystem::path to, bool as_link)
      : ForwardingFiles(SystemFiles()), listed(at), swapped(from), outside(to), link(as_link) {}
  ListResult ListFolder(NativeFile folder, std::string_view path, Listing& entries) noexcept override {
    const ListResult result = real_.ListFolder(folder, path, entries);
    if (std::error_code error; !done && std::filesystem::equivalent(std::filesystem::path(path), listed, error)) {
      std::filesystem::rename(swapped, swapped.string() + ".moved", error);
      if (!error) link ? std::filesystem::create_directory_symlink(outside, swapped, error) : std::filesystem::rename(outside, swapped, error);
      done = !error;
    }
    return result;
  }
  std::filesystem::path listed, swapped, outside;
  bool link, done = false;
};

// A folder swapped for an outside folder or a link to it, between its listing and the work in it, touches nothing
// outside. Swapped after its parent's listing, it is not entered; after its own, the work goes on in the one listed.
TEST(TemplateFaults, AFolderSwappedAfterItsListingLeadsNowhereElse) {
  const std::string page = "PAGE {\nHome\n";
  for (const int at : {0, 1, 2, 3}) {
    const bool own_listing = at & 1, link = at & 2;
    TempTree tree, elsewhere;
    for (const char* name : {"a.pag", "sub/b.pag"}) tree.Write(name, page);
    elsewhere.Write("outside/o.pag", page);
    SwapAfterListing files(own_listing ? tree.root() / "sub" : tree.root(), tree.root() / "sub", elsewhere.root() / "outside", link);
    TreeCounts counts;
    (void)LocaliseTree(files, tree.root_text(), &counts);
    EXPECT_EQ(testing::SnapshotFolder(link ? elsewhere.root() : tree.root() / "sub"), (TreeSnapshot{{link ? "outside/o.pag" : "o.pag", page}})) << at;
    EXPECT_EQ(testing::ReadFileBytes(tree.root() / "a.pag"), testing::TranslatedPage(page)) << at;
    EXPECT_EQ(testing::ReadFileBytes(tree.root() / "sub.moved" / "b.pag"), own_listing ? testing::TranslatedPage(page) : page) << at;
    EXPECT_EQ(counts.folders_skipped, own_listing ? 0u : 1u) << at;
  }
}

}  // namespace
}  // namespace setupext
