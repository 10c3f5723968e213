// Folder links for tree tests: a symbolic link on POSIX, a directory symbolic link on Windows.
#pragma once

#include <filesystem>
#include <string>

namespace setupext::testing {

// False, with the reason in *why, when this platform cannot make one here.
bool MakeFolderLink(const std::filesystem::path& target, const std::filesystem::path& link, std::string* why);

}  // namespace setupext::testing
