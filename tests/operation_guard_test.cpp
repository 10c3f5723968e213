#include "module/operation_guard.h"

#include <gtest/gtest.h>

#include "support/test_host.h"

namespace setupext {
namespace {

TEST(RunOperation, AnswersCleanOneOrZero) {
  testing::TestHost host;
  EXPECT_EQ(RunOperation(host.block(), NothingDone::kAnswerZero, [](HostVariableBlock&) { return true; }), 1);
  EXPECT_EQ(RunOperation(host.block(), NothingDone::kAnswerOne, [](HostVariableBlock&) { return false; }), 0);
}

TEST(RunOperation, AMissingTableIsNeverHandedOn) {
  bool called = false;
  auto record = [&](HostVariableBlock&) { return called = true; };
  EXPECT_EQ(RunOperation(nullptr, NothingDone::kAnswerZero, record), 0);
  EXPECT_EQ(RunOperation(nullptr, NothingDone::kAnswerOne, record), 1);
  EXPECT_FALSE(called);
}

}  // namespace
}  // namespace setupext
