#include "text/decimal.h"

namespace setupext {

Decimal::Decimal(std::size_t number) noexcept : start_(sizeof digits_) {
  do digits_[--start_] = static_cast<char>('0' + number % 10);
  while ((number /= 10) != 0);
}

}  // namespace setupext
