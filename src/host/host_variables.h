// The installer's table of script variables, passed by address to every exported operation.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace setupext {

// Laid out by the host. On the 32-bit target this is exactly 32 bytes; elsewhere the two
// addresses take their natural width.
struct HostVariableBlock {
  std::uint32_t host_word1;  // the host's own; never read or written here
  std::uint32_t host_word2;  // the host's own; never read or written here
  std::uint32_t capacity;
  std::uint32_t name_width;
  std::uint32_t value_width;
  std::uint32_t count;
  char* names;   // name slot i at names + i * name_width, holding "%NAME%"
  char* values;  // value slot i at values + i * value_width
};

static_assert(offsetof(HostVariableBlock, names) == 24);
static_assert(sizeof(void*) != 4 || sizeof(HostVariableBlock) == 32);
static_assert(sizeof(void*) != 8 || offsetof(HostVariableBlock, values) == 32);

// The slot layout, shared by the module's reads and writes and by anything that lays out a
// table. Slots past min(count, capacity) are not live; a table without areas has none.
std::uint32_t LiveSlots(const HostVariableBlock& block);
// Slot `index` of an area, or nullptr when its address would wrap around.
char* SlotAt(char* area, std::uint32_t width, std::uint32_t index);
// The text of a slot, or nothing when no NUL ends it within its width.
std::optional<std::string_view> SlotText(const char* slot, std::uint32_t width);
// What a name slot holds for the variable: "%NAME%".
std::string HostKey(std::string_view name);

enum class HostRead {
  kValue,       // the value, or "" for an absent variable
  kDoesNotFit,  // the value (or its unterminated slot) would not fit the caller's buffer
};

// Reads the variable into *out. buffer_size is the caller's buffer size, NUL included: a
// value of buffer_size bytes or more is never cut, it does not fit.
HostRead GetHostVariable(const HostVariableBlock& block, std::string_view name, std::string* out,
                         std::size_t buffer_size);

// Stores the value, adding the variable when it is absent and there is room. False when
// nothing was written: a full table, or a key or value too wide for its slot.
bool SetHostVariable(HostVariableBlock& block, std::string_view name, std::string_view value);

// Caller buffer sizes of the operations, NUL included.
inline constexpr std::size_t kPathVariableBuffer = 1024;
inline constexpr std::size_t kTextVariableBuffer = 4096;

}  // namespace setupext
