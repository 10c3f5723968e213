#include <windows.h>

#include "support/faulty_files.h"

namespace setupext::testing {

void FaultyFiles::SetLastSystemError(std::uint32_t error) { SetLastError(error); }

}  // namespace setupext::testing
