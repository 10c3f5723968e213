#include <algorithm>

#include "support/temp_tree.h"

namespace setupext::testing {

std::filesystem::path HostFolder(const std::string& host_path) {
  std::string path = "Z:" + host_path;
  std::replace(path.begin(), path.end(), '/', '\\');
  return path;
}

}  // namespace setupext::testing
