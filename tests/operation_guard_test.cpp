#include "module/operation_guard.h"

#include <gtest/gtest.h>

#include <new>
#include <stdexcept>

#include "support/test_host.h"

namespace setupext {
namespace {

TEST(RunOperation, AnswersCleanOneOrZero) {
  testing::TestHost host;
  EXPECT_EQ(RunOperation(host.block(), NothingDone::kAnswerZero, [](HostVariableBlock&) { return true; }), 1);
  EXPECT_EQ(RunOperation(host.block(), NothingDone::kAnswerOne, [](HostVariableBlock&) { return false; }), 0);
}

TEST(RunOperation, NothingEscapesAndNothingDoneIsAnswered) {
  testing::TestHost host;
  bool called = false;
  auto record = [&](HostVariableBlock&) { return called = true; };
  for (NothingDone nothing_done : {NothingDone::kAnswerZero, NothingDone::kAnswerOne}) {
    const int answer = nothing_done == NothingDone::kAnswerOne ? 1 : 0;
    EXPECT_EQ(RunOperation(nullptr, nothing_done, record), answer);
    EXPECT_EQ(RunOperation(host.block(), nothing_done, [](HostVariableBlock&) -> bool { throw std::bad_alloc(); }),
              answer);
    EXPECT_EQ(RunOperation(host.block(), nothing_done, [](HostVariableBlock&) -> bool { throw 42; }),
              answer);
  }
  EXPECT_FALSE(called);  // a missing table is never handed to the operation
}

}  // namespace
}  // namespace setupext
