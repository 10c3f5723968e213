// A tree's localisation over real files with each file call failing in turn, once or from
// then on, and then a clean call over what the failure left.
#include <gtest/gtest.h>

#include <string>

#include "support/faulty_files.h"
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
                              FileCall::kDeletePage}) {
    TempTree tree;
    tree.Write(page, "PAGE {\nNext\nInput\n");
    const TreeSnapshot before = tree.Snapshot();
    FaultyFiles files;
    files.FailNth(call, 1);
    (void)LocaliseTree(files, tree.root_text());
    EXPECT_EQ(tree.Snapshot(), before) << FileCallName(call);
  }
}

// Each failing step is named in the page's line, with the system's error number, so a log
// from a customer's machine tells a full disk from a refusal.
TEST(TemplateFaults, EachFailureNamesItsStepAndTheSystemsError) {
  const struct {
    FileCall call;
    const char* words;
  } cases[] = {
      {FileCall::kCreate, "its output could not be created"},
      {FileCall::kWrite, "the output could not be written"},
      {FileCall::kFlush, "the output could not be flushed"},
      {FileCall::kAttributes, "the output could not be given the page's attributes"},
      {FileCall::kSync, "the folder could not be put on the disk"},
      {FileCall::kDeletePage, "could not be deleted"},
      {FileCall::kRename, "its final name did not come free"},
  };
  for (const auto& c : cases) {
    TempTree tree;
    tree.Write("a.pag", "PAGE {\nHome\n");
    FaultyFiles files;
    files.TakeNamesAsUnordered();
    files.FailNth(c.call, 1);
    TreeReport report(Tense::kDid, false);
    (void)LocaliseTree(files, tree.root_text(), nullptr, &report);
    const std::string said(report.text().view());
    EXPECT_NE(said.find(std::string(c.words) + " (error " + std::to_string(FaultyFiles::kInjectedError) + ")"),
              std::string::npos)
        << FileCallName(c.call) << ": " << said;
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

}  // namespace
}  // namespace setupext
