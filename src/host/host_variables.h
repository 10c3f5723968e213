// The installer's table of script variables, passed by address to every exported operation.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/buffers.h"

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
[[nodiscard]] std::uint32_t LiveSlots(const HostVariableBlock& block) noexcept;
// Slot `index` of an area, or nullptr when its address would wrap around.
[[nodiscard]] char* SlotAt(char* area, std::uint32_t width, std::uint32_t index) noexcept;

// A slot's text up to its NUL; `terminated` is false when no NUL ends it within its width.
struct SlotContent {
  bool terminated = false;
  std::string_view text;
};
[[nodiscard]] SlotContent SlotText(const char* slot, std::uint32_t width) noexcept;

// What a name slot holds for the variable: "%NAME%", built in 32 bytes as the host does, so a
// name has at most 29 characters. Empty when the name is longer: it names no variable.
using HostKeyText = FixedText<32>;
[[nodiscard]] HostKeyText HostKey(std::string_view name) noexcept;

enum class HostRead {
  kValue,       // the value, or "" for an absent variable
  kDoesNotFit,  // the value (or its unterminated slot) would not fit the caller's buffer
};

// The first live slot's value for the variable: an absent one reads as "" (kValue); an
// unterminated slot reads as kDoesNotFit.
struct HostValue {
  HostRead read = HostRead::kValue;
  std::string_view text;
};
[[nodiscard]] HostValue FindHostValue(const HostVariableBlock& block, std::string_view name) noexcept;

// Reads the variable into `out`, whose size (NUL included) is the caller's buffer: a value
// that does not fit is never cut; `out` is then empty.
template <std::size_t N>
[[nodiscard]] HostRead GetHostVariable(const HostVariableBlock& block, std::string_view name,
                                       FixedText<N>& out) noexcept {
  out.Clear();
  const HostValue value = FindHostValue(block, name);
  if (value.read == HostRead::kValue && out.Assign(value.text)) return HostRead::kValue;
  out.Clear();
  return HostRead::kDoesNotFit;
}

// The value where it lies in the table, when it would fit a buffer of `buffer` bytes (NUL
// included) as GetHostVariable reads it; `out` is empty otherwise. Without the copy's stack,
// for a value read only before the operation writes to the table.
[[nodiscard]] inline HostRead PeekHostVariable(const HostVariableBlock& block, std::string_view name, std::size_t buffer,
                                               std::string_view& out) noexcept {
  const HostValue value = FindHostValue(block, name);
  const bool fits = value.read == HostRead::kValue && value.text.size() < buffer;
  out = fits ? value.text : std::string_view();
  return fits ? HostRead::kValue : HostRead::kDoesNotFit;
}

// Whether the table holds the variable, whatever its value.
[[nodiscard]] bool HasHostVariable(const HostVariableBlock& block, std::string_view name) noexcept;

// Stores the value, adding the variable when it is absent and there is room. False when
// nothing was written: a full table, or a key or value too wide for its slot.
[[nodiscard]] bool SetHostVariable(HostVariableBlock& block, std::string_view name, std::string_view value) noexcept;

// Caller buffer sizes of the operations, NUL included.
inline constexpr std::size_t kPathVariableBuffer = 1024;
inline constexpr std::size_t kTextVariableBuffer = 4096;
using PathVariable = FixedText<kPathVariableBuffer>;
using TextVariable = FixedText<kTextVariableBuffer>;

}  // namespace setupext
