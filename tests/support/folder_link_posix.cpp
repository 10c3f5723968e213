#include <system_error>

#include "support/folder_link.h"

namespace setupext::testing {

bool MakeFolderLink(const std::filesystem::path& target, const std::filesystem::path& link, std::string* why) {
  std::error_code error;
  std::filesystem::create_directory_symlink(target, link, error);
  if (error) *why = error.message();
  return !error;
}

}  // namespace setupext::testing
