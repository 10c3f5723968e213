// The boundary between the installer and the module's own code.
#pragma once

#include "host/host_variables.h"

namespace setupext {

// What an operation answers when it did nothing: the template operations always answer 1,
// the probes answer "no".
enum class NothingDone { kAnswerOne = 1, kAnswerZero = 0 };

// Runs one operation on the host's block and answers a clean 1 or 0. A missing block gives
// the operation's "nothing done" answer. Every failure inside an operation is already part
// of its answer: the module is built without exceptions, so nothing can escape into the host.
template <typename Work>
[[nodiscard]] int RunOperation(HostVariableBlock* block, NothingDone nothing_done, Work work) noexcept {
  if (!block) return static_cast<int>(nothing_done);
  return work(*block) ? 1 : 0;
}

}  // namespace setupext
