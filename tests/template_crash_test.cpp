// Both passes with the power cut after every file call, each surviving prefix of the pending
// name operations rebooted, and then a clean run over what the disk kept.
#include <gtest/gtest.h>

#include <string>

#include "support/crash_files.h"
#include "support/text_guarantee.h"
#include "template/page_localiser.h"
#include "template/template_tree.h"

namespace setupext {
namespace {

using testing::CrashFiles;
using testing::TreeSnapshot;

const std::string kRoot = "/tree";

void Fill(CrashFiles& files, const TreeSnapshot& tree) {
  for (const auto& [path, bytes] : tree) files.AddFile(kRoot + "/" + path, bytes);
}

TEST(CrashFiles, OnlySyncedNamesAndFlushedDataOutliveACut) {
  CrashFiles files;
  files.AddFile("/d/page", "text");
  const FileHandle out = files.CreateNew("/d/new");
  ASSERT_NE(out, kNoFile);
  ASSERT_TRUE(files.Write(out, "abc", 3));
  ASSERT_TRUE(files.Close(out));
  ASSERT_TRUE(files.Remove("/d/page"));
  const FileHandle flushed = files.CreateNew("/d/flushed");
  ASSERT_TRUE(files.Write(flushed, "xy", 2) && files.Flush(flushed) && files.Write(flushed, "z", 1));
  files.CutAfter(files.calls());
  EXPECT_FALSE(files.Close(flushed)) << "the machine has stopped";
  const struct {
    std::size_t kept;
    TreeSnapshot disk;
  } cases[] = {
      {0, {{"page", "text"}}},
      {1, {{"page", "text"}, {"new", ""}}},  // created, never flushed
      {2, {{"new", ""}}},
      {3, {{"new", ""}, {"flushed", "xy"}}},
  };
  ASSERT_EQ(files.pending(), 3u);
  for (const auto& c : cases) {
    CrashFiles copy = files;
    copy.Reboot(c.kept);
    EXPECT_EQ(copy.Snapshot("/d"), c.disk) << c.kept;
  }
  // A folder's sync makes its names durable, and with them every name operation before them.
  files.Reboot(3);
  files.AddFile("/e/other", "x");
  const FileHandle page = files.OpenPage("/d/flushed");
  ASSERT_TRUE(files.CreateNew("/d/a") != kNoFile && files.DeletePage(page, "/d/flushed"));
  ASSERT_TRUE(files.Remove("/e/other"));
  ASSERT_EQ(files.MoveNoReplace("/d/a", "/d/b"), MoveResult::kMoved);
  ASSERT_EQ(files.pending(), 4u);
  ASSERT_TRUE(files.SyncFolderOf("/e/x"));
  EXPECT_EQ(files.pending(), 1u) << "the move after the other folder's last change stays pending";
  ASSERT_TRUE(files.SyncFolderOf("/d/x"));
  EXPECT_EQ(files.pending(), 0u);
}

TEST(TemplateCrash, NoPageTextLostAtAnyPowerCut) {
  const TreeSnapshot tree = testing::GuaranteeTree();
  const testing::TextGuarantee guarantee(tree);
  ASSERT_GT(tree.at("sub/b.pag").size(), 4 * CrashFiles::kReadSize) << "one page must take several reads";
  for (const auto& [path, bytes] : testing::LocalisedTree(tree))
    ASSERT_EQ(LocalisePageText(bytes), bytes) << path << ": a second run must leave every text whole";

  CrashFiles clean;
  Fill(clean, tree);
  LocaliseAndCommitTree(clean, kRoot);
  ASSERT_EQ(clean.Snapshot(kRoot), testing::LocalisedTree(tree));

  int cuts_between_deletion_and_move = 0;
  for (int n = 1; n <= clean.calls(); ++n) {
    // Every set of the pending name operations may survive: the module must not rely on
    // the file system keeping them in order.
    for (std::uint64_t kept = 0;; ++kept) {
      CrashFiles files;
      Fill(files, tree);
      files.CutAfter(n);
      LocaliseAndCommitTree(files, kRoot);
      ASSERT_LE(files.pending(), 16u) << "too many pending operations to try every set";
      if (kept >> files.pending()) break;
      const std::string at = "cut after call " + std::to_string(n) + ", pending name operations kept: mask " +
                             std::to_string(kept) + " of " + std::to_string(files.pending());
      files.RebootKeeping(kept);
      const TreeSnapshot disk = files.Snapshot(kRoot);
      EXPECT_EQ(guarantee.AfterAnyRun(disk), "") << at;
      cuts_between_deletion_and_move += !disk.count("a.pag");
      LocaliseAndCommitTree(files, kRoot);
      EXPECT_EQ(guarantee.AfterCleanRun(files.Snapshot(kRoot)), "") << at;
    }
  }
  EXPECT_GT(cuts_between_deletion_and_move, 0) << "no cut fell between a page's deletion and its move";
}

}  // namespace
}  // namespace setupext
