#include <errno.h>

#include "support/faulty_files.h"

namespace setupext::testing {

void FaultyFiles::SetLastSystemError(std::uint32_t error) { errno = static_cast<int>(error); }

}  // namespace setupext::testing
