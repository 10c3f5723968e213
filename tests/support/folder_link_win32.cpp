#include <windows.h>

#include "support/folder_link.h"

namespace setupext::testing {

bool MakeFolderLink(const std::filesystem::path& target, const std::filesystem::path& link, std::string* why) {
  if (CreateSymbolicLinkA(link.string().c_str(), target.string().c_str(), SYMBOLIC_LINK_FLAG_DIRECTORY)) return true;
  *why = "CreateSymbolicLink failed with error " + std::to_string(GetLastError());
  return false;
}

}  // namespace setupext::testing
