// A tree's localisation cut after every file call, by a power cut (each set of the pending
// name operations surviving) and by a killed process, and then a second call: every page
// French at its final name, nothing of the cut call left.
#include <gtest/gtest.h>

#include <string>

#include "support/crash_files.h"
#include "support/page_text_in_memory.h"
#include "support/text_guarantee.h"
#include "template/folder_plan.h"
#include "template/template_tree.h"

namespace setupext {
namespace {

using testing::CrashFiles;
using testing::TreeSnapshot;

const std::string kRoot = "/tree";

void Fill(CrashFiles& files, const TreeSnapshot& tree) {
  for (const auto& [path, bytes] : tree) files.AddFile(kRoot + "/" + path, bytes);
}

void Localise(CrashFiles& files) { (void)LocaliseTree(files, kRoot); }

TEST(CrashFiles, OnlySyncedNamesAndFlushedDataOutliveACut) {
  CrashFiles files;
  files.AddFile("/d/page", "text");
  Opened out = files.CreateNew("/d/new");
  ASSERT_EQ(out.result, FileResult::kDone);
  ASSERT_TRUE(files.Write(out.file.get().native, "abc", 3));
  out.file.reset();
  ASSERT_EQ(files.Remove("/d/page"), FileResult::kDone);
  Opened flushed = files.CreateNew("/d/flushed");
  const NativeFile native = flushed.file.get().native;
  ASSERT_TRUE(files.Write(native, "xy", 2) && files.Flush(native) && files.Write(native, "z", 1));
  files.CutAfter(files.calls());
  EXPECT_FALSE(files.Close(flushed.file.release().native)) << "the machine has stopped";
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
}

TEST(TemplateCrash, EveryCutIsFinishedByTheNextCall) {
  const TreeSnapshot tree = testing::GuaranteeTree();
  const testing::TextGuarantee guarantee(tree);
  ASSERT_GT(tree.at("sub/b.pag").size(), 4 * CrashFiles::kReadSize) << "one page must take several reads";
  const TreeSnapshot localised = testing::LocalisedTree(tree);
  for (const auto& [path, bytes] : localised) {
    if (!IsPageName(path.substr(path.rfind('/') + 1))) continue;
    ASSERT_EQ(testing::TranslatedPage(bytes), bytes) << path << ": a second call must change nothing";
  }

  CrashFiles clean;
  Fill(clean, tree);
  Localise(clean);
  ASSERT_EQ(clean.Snapshot(kRoot), localised);
  Localise(clean);
  ASSERT_EQ(clean.Snapshot(kRoot), localised) << "a second call changes nothing";

  int cuts_with_leftovers = 0;
  for (int n = 1; n <= clean.calls(); ++n) {
    const std::string at = "cut after call " + std::to_string(n);
    {
      CrashFiles files;
      Fill(files, tree);
      files.CutAfter(n);
      Localise(files);
      files.Kill();
      const TreeSnapshot left = files.Snapshot(kRoot);
      EXPECT_EQ(guarantee.AfterAnyRun(left), "") << at << ", killed";
      cuts_with_leftovers += guarantee.AfterCleanRun(left) != "";
      Localise(files);
      EXPECT_EQ(files.Snapshot(kRoot), localised) << at << ", killed, then called again";
    }
    // Every set of the pending name operations may survive a power cut: the module must not
    // rely on the file system keeping them in order.
    for (std::uint64_t kept = 0;; ++kept) {
      CrashFiles files;
      Fill(files, tree);
      files.CutAfter(n);
      Localise(files);
      ASSERT_LE(files.pending(), 16u) << "too many pending operations to try every set";
      if (kept >> files.pending()) break;
      const std::string cut = at + ", pending name operations kept: mask " + std::to_string(kept);
      files.RebootKeeping(kept);
      EXPECT_EQ(guarantee.AfterAnyRun(files.Snapshot(kRoot)), "") << cut;
      Localise(files);
      EXPECT_EQ(files.Snapshot(kRoot), localised) << cut << ", then called again";
    }
  }
  EXPECT_GT(cuts_with_leftovers, 0) << "no cut left anything for the next call to finish";
}

}  // namespace
}  // namespace setupext
