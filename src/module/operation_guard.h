// The boundary between the installer and the module's own code.
#pragma once

#include "host/host_variables.h"

namespace setupext {

// What an operation answers when it did nothing: the template operations always answer 1,
// the probes answer "no".
enum class NothingDone { kAnswerOne = 1, kAnswerZero = 0 };

// Runs one operation on the host's block. A missing block, or any exception the operation
// lets out, gives the operation's "nothing done" answer: nothing may escape into the host.
template <typename Work>
int RunOperation(HostVariableBlock* block, NothingDone nothing_done, Work work) noexcept {
  if (!block) return static_cast<int>(nothing_done);
  try {
    return work(*block) ? 1 : 0;
  } catch (...) {
    return static_cast<int>(nothing_done);
  }
}

}  // namespace setupext
