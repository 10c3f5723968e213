// Both passes over real files with each file call failing in turn, once or from then on, and
// then a clean run over what the failure left.
#include <gtest/gtest.h>

#include <new>
#include <string>

#include "support/faulty_files.h"
#include "support/temp_tree.h"
#include "support/text_guarantee.h"
#include "template/template_tree.h"

namespace setupext {
namespace {

using testing::FaultyFiles;
using testing::FileCall;
using testing::TempTree;
using Fault = FaultyFiles::Fault;

constexpr int kFolders = 2;  // each pass lists each folder once

void Fill(const TempTree& tree) {
  for (const auto& [path, bytes] : testing::GuaranteeTree()) tree.Write(path, bytes);
}

// Calls that run only when another fails are counted with that failure made too.
struct Family {
  FileCall call;
  bool throws;           // may throw; close, remove and move never do
  FileCall also = FileCall::kCount;  // fails every time, so that `call` is made at all
};

TEST(TemplateFaults, NoPageTextLostWhateverFileCallFails) {
  const testing::TextGuarantee guarantee(testing::GuaranteeTree());
  const Family families[] = {
      {FileCall::kCreate, true}, {FileCall::kOpen, true},   {FileCall::kRead, true},
      {FileCall::kWrite, true},  {FileCall::kFlush, true},  {FileCall::kClose, false},
      {FileCall::kDelete, true}, {FileCall::kList, true},   {FileCall::kMove, false},
      {FileCall::kSync, false},  {FileCall::kRemove, false, FileCall::kWrite},
  };
  for (const Family& family : families) {
    FaultyFiles clean;
    {
      TempTree tree;
      Fill(tree);
      if (family.also != FileCall::kCount) clean.FailNth(family.also, 1, Fault::kError, true);
      LocaliseAndCommitTree(clean, tree.root_text());
      if (family.also == FileCall::kCount) {
        ASSERT_EQ(tree.Snapshot(), testing::LocalisedTree(testing::GuaranteeTree()));
      }
    }
    const int calls = clean.count(family.call);
    ASSERT_GT(calls, family.call == FileCall::kList ? kFolders : 1) << FileCallName(family.call);
    for (const Fault fault : {Fault::kError, Fault::kThrow}) {
      if (fault == Fault::kThrow && !family.throws) continue;
      for (const bool persistent : {false, true}) {
        for (int n = 1; n <= calls; ++n) {
          const std::string at = std::string(FileCallName(family.call)) + " " + std::to_string(n) +
                                 (persistent ? " and later" : "") + (fault == Fault::kThrow ? " throwing" : "");
          TempTree tree;
          Fill(tree);
          FaultyFiles files;
          if (family.also != FileCall::kCount) files.FailNth(family.also, 1, Fault::kError, true);
          files.FailNth(family.call, n, fault, persistent);
          bool escaped = false;
          try {
            LocaliseAndCommitTree(files, tree.root_text());
          } catch (const std::bad_alloc&) {
            escaped = true;
          }
          // Only the final walk may let an exception through: a list throwing there, when the
          // failure falls in it or lasts into it.
          const bool in_final_walk = family.call == FileCall::kList && (persistent || n > kFolders);
          EXPECT_EQ(escaped, fault == Fault::kThrow && in_final_walk) << at;
          EXPECT_EQ(guarantee.AfterAnyRun(tree.Snapshot()), "") << at;
          LocaliseAndCommitTree(SystemFiles(), tree.root_text());
          EXPECT_EQ(guarantee.AfterCleanRun(tree.Snapshot()), "") << at;
        }
      }
    }
  }
}

}  // namespace
}  // namespace setupext
