// Runs work on threads: one that has only a small stack left, as a host may call from one, or
// two at once.
#pragma once

#include <functional>

namespace setupext::testing {

// The stack the work may use: what the module promises, with room for the C library and,
// under the sanitizers, for their larger frames.
#if defined(__SANITIZE_ADDRESS__)
inline constexpr unsigned kSmallStack = 256 * 1024;
#else
inline constexpr unsigned kSmallStack = 32 * 1024;
#endif

// False when no such thread could be had.
bool RunWithSmallStack(const std::function<void()>& work);

// Runs both at once, each on a thread of its own; false when the threads could not be had.
bool RunTogether(const std::function<void()>& first, const std::function<void()>& second);

}  // namespace setupext::testing
