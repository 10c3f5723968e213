// The boundary between the installer and the module's own code.
#pragma once

#include "host/host_variables.h"

namespace setupext {

// Runs one operation on the host's block. A missing block, or any exception the operation
// lets out, gives the operation's "nothing done" answer: nothing may escape into the host.
template <typename Operation>
int RunOperation(HostVariableBlock* block, bool nothing_done, Operation operation) noexcept {
  if (!block) return nothing_done ? 1 : 0;
  try {
    return operation(*block) ? 1 : 0;
  } catch (...) {
    return nothing_done ? 1 : 0;
  }
}

}  // namespace setupext
