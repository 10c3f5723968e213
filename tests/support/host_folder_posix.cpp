#include "support/temp_tree.h"

namespace setupext::testing {

std::filesystem::path HostFolder(const std::string& host_path) { return host_path; }

}  // namespace setupext::testing
