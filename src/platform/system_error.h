// The system's own number for why a call failed, carried with a page's result so that a log
// from a customer's machine tells a full disk from a refusal.
#pragma once

#include <cstdint>

#include "platform/buffers.h"

namespace setupext {

// The calling thread's error number of its last failed system call (errno, GetLastError);
// read at once after the failure, before anything else can change it.
std::uint32_t LastSystemError() noexcept;

// Short words for the commoner errors ("disk full", "access denied"), or empty where the
// module has none: the number is always shown beside them.
const char* SystemErrorWords(std::uint32_t error) noexcept;

}  // namespace setupext
