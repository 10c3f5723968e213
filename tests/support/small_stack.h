// Runs work on threads: one that has only a small stack left, as a host may call from one, or
// two at once.
#pragma once

#include <functional>

namespace setupext::testing {

// The stack the work is left: what the module promises an installer's thread may have. The
// sanitizers' frames are many times larger: under them the same runs get more.
#if defined(__SANITIZE_ADDRESS__)
inline constexpr unsigned kSmallStack = 256 * 1024;
#else
inline constexpr unsigned kSmallStack = 16 * 1024;
#endif

// Runs the work on a thread whose stack is used up first, but for kSmallStack bytes above the
// point where the system would stop it. False when no such thread could be had.
bool RunWithSmallStack(const std::function<void()>& work);

// Runs both at once, each on a thread of its own; false when the threads could not be had.
bool RunTogether(const std::function<void()>& first, const std::function<void()>& second);

}  // namespace setupext::testing
