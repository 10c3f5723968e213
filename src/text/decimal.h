// Numbers in decimal, as the script's variables, the log's lines and the settings' entry names
// write them: the digits alone, without leading zeros.
#pragma once

#include <cstddef>
#include <string_view>

namespace setupext {

class Decimal {
 public:
  explicit Decimal(std::size_t number) noexcept;
  std::string_view view() const noexcept { return {digits_ + start_, sizeof digits_ - start_}; }
  operator std::string_view() const noexcept { return view(); }

 private:
  char digits_[20];  // enough for any 64-bit number
  std::size_t start_;
};

}  // namespace setupext
