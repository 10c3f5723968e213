// A tree's localisation with memory running out at each allocation in turn, once or from
// then on: the call ends or goes on, and no page text is lost.
#include <gtest/gtest.h>

#include <string>

#include "support/allocation_faults.h"
#include "support/temp_tree.h"
#include "support/text_guarantee.h"
#include "template/template_tree.h"

namespace setupext {
namespace {

using testing::TempTree;
using testing::TreeSnapshot;

TEST(AllocationFaults, NoPageTextLostWhenMemoryRunsOut) {
  const TreeSnapshot start = testing::GuaranteeTree();
  const TreeSnapshot localised = testing::LocalisedTree(start);
  const testing::TextGuarantee guarantee(start);
  const auto fill = [&start](const TempTree& tree) {
    for (const auto& [path, bytes] : start) tree.Write(path, bytes);
  };
  int allocations = 0;
  {
    TempTree tree;
    fill(tree);
    (void)testing::FailAllocationsFrom(0, false);
    (void)LocaliseTree(SystemFiles(), tree.root_text());
    allocations = testing::FailAllocationsFrom(0, false);
    ASSERT_EQ(tree.Snapshot(), localised);
  }
  ASSERT_GT(allocations, 3);
  for (const bool persistent : {false, true}) {
    for (int n = 1; n <= allocations; ++n) {
      const std::string at = "allocation " + std::to_string(n) + (persistent ? " and later" : "");
      TempTree tree;
      fill(tree);
      (void)testing::FailAllocationsFrom(n, persistent);
      const TreeResult result = LocaliseTree(SystemFiles(), tree.root_text());
      (void)testing::FailAllocationsFrom(0, false);
      EXPECT_EQ(guarantee.AfterAnyRun(tree.Snapshot()), "") << at;
      // A call that says it had the memory it needed did all its work.
      if (result == TreeResult::kDone) {
        EXPECT_EQ(tree.Snapshot(), localised) << at << ": done, yet not all localised";
      }
      (void)LocaliseTree(SystemFiles(), tree.root_text());
      EXPECT_EQ(tree.Snapshot(), localised) << at << ", then a clean call";
    }
  }
}

}  // namespace
}  // namespace setupext
