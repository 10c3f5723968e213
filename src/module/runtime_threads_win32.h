// The exception state that the module's C++ runtime keeps per thread.
#pragma once

namespace setupext {

// Frees the calling thread's exception state (a thread leaving the process).
void ReleaseThreadExceptionState();
// Frees the calling thread's state and the slot that held every thread's (the module being
// unloaded; other threads' states, if any, were freed as they left).
void ReleaseExceptionStateSlot();

}  // namespace setupext
