// Runs work on a thread that has only a small stack left, as a host may call from one.
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

}  // namespace setupext::testing
