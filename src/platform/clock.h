// The local date and time as the user's clock shows them, for the heading of a log's blocks.
#pragma once

namespace setupext {

struct LocalTime {
  unsigned year, month, day, hour, minute, second;
};

LocalTime LocalTimeNow() noexcept;

}  // namespace setupext
