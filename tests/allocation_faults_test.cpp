// Both passes with memory running out at each allocation in turn, once or from then on. The
// program replaces the global allocation functions; they count only while the passes run, so
// GoogleTest and the test's own setup allocate as usual.
#include <gtest/gtest.h>

#include <cstdlib>
#include <new>
#include <string>

#include "support/temp_tree.h"
#include "support/text_guarantee.h"
#include "template/template_tree.h"

namespace {

struct Countdown {
  bool counting = false;
  long count = 0;
  long fail_at = 0;  // 0: none fails
  bool persistent = false;
};
Countdown countdown;

void* Allocate(std::size_t size) {
  if (countdown.counting) {
    const long n = ++countdown.count;
    if (countdown.fail_at > 0 && (n == countdown.fail_at || (countdown.persistent && n > countdown.fail_at)))
      throw std::bad_alloc();
  }
  if (void* block = std::malloc(size ? size : 1)) return block;
  throw std::bad_alloc();
}

void* AllocateOrNull(std::size_t size) noexcept {
  try {
    return Allocate(size);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

}  // namespace

void* operator new(std::size_t size) { return Allocate(size); }
void* operator new[](std::size_t size) { return Allocate(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return AllocateOrNull(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return AllocateOrNull(size); }
void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
void operator delete[](void* block, std::size_t) noexcept { std::free(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { std::free(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { std::free(block); }

namespace setupext {
namespace {

using testing::TempTree;
using testing::TreeSnapshot;

struct CountedRun {
  long allocations = 0;
  bool escaped = false;  // std::bad_alloc came through
  bool other = false;    // anything else did
};

CountedRun LocaliseCounted(const std::string& root, long fail_at, bool persistent) {
  CountedRun run;
  countdown = {true, 0, fail_at, persistent};
  try {
    LocaliseAndCommitTree(SystemFiles(), root);
  } catch (const std::bad_alloc&) {
    run.escaped = true;
  } catch (...) {
    run.other = true;
  }
  run.allocations = countdown.count;
  countdown = {};
  return run;
}

// Every page at its own name or its final one: no completed output still waits for its move.
bool PlannedMovesDone(const TreeSnapshot& before, const TreeSnapshot& after) {
  for (const auto& [path, bytes] : before) {
    const std::size_t slash = path.rfind('/') + 1;
    if (path.find(".pag", slash) == std::string::npos) continue;
    const std::string final_name = path.substr(0, slash) + ReplaceExtension(path.substr(slash), ".pag");
    if (!after.count(path) && !after.count(final_name)) return false;
  }
  return true;
}

TEST(AllocationFaults, NoPageTextLostWhenMemoryRunsOut) {
  const TreeSnapshot start = testing::GuaranteeTree();
  const testing::TextGuarantee guarantee(start);
  const auto fill = [&start](const TempTree& tree) {
    for (const auto& [path, bytes] : start) tree.Write(path, bytes);
  };
  long allocations = 0;
  {
    TempTree tree;
    fill(tree);
    const std::string root = tree.root_text();
    allocations = LocaliseCounted(root, 0, false).allocations;
    ASSERT_EQ(tree.Snapshot(), testing::LocalisedTree(start));
  }
  ASSERT_GT(allocations, 10);
  int escapes = 0;
  for (const bool persistent : {false, true}) {
    for (long n = 1; n <= allocations; ++n) {
      const std::string at = "allocation " + std::to_string(n) + (persistent ? " and later" : "");
      TempTree tree;
      fill(tree);
      const std::string root = tree.root_text();
      const CountedRun run = LocaliseCounted(root, n, persistent);
      EXPECT_FALSE(run.other) << at;
      const TreeSnapshot after = tree.Snapshot();
      // An exception can only come from the final walk: the outputs the localising pass
      // completed have then been moved already.
      if (run.escaped) {
        ++escapes;
        EXPECT_TRUE(PlannedMovesDone(start, after)) << at;
      }
      EXPECT_EQ(guarantee.AfterAnyRun(after), "") << at;
      LocaliseAndCommitTree(SystemFiles(), root);
      EXPECT_EQ(guarantee.AfterCleanRun(tree.Snapshot()), "") << at;
    }
  }
  EXPECT_GT(escapes, 0) << "the final walk never ran out of memory";
}

}  // namespace
}  // namespace setupext
