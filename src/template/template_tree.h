// The two passes over a template tree: every page into its ".tmp" output first, then every
// ".tmp" file onto its ".pag" name.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/files.h"

namespace setupext {

// Longest path the walk builds, and longest folder it starts from (without its separator).
inline constexpr std::size_t kMaxPathLength = 1023;
inline constexpr std::size_t kMaxRootLength = 1019;

// The name with everything from its last "." replaced by `extension` ("a.page" -> "a.tmp").
// A name without a dot gets the extension appended.
std::string ReplaceExtension(std::string_view name, std::string_view extension);

// Localises every page in and below `folder` into an output named by ReplaceExtension(".tmp"),
// deleting each page whose output is complete. Pages whose output name is taken, or shared
// with another page, are left as they are. Returns the number of pages localised.
std::size_t LocaliseTree(Files& files, const std::string& folder);

// Moves every ".tmp" file in and below `folder` to its ".pag" name, never over an existing
// file. Returns the number of files moved.
std::size_t CommitTree(Files& files, const std::string& folder);

}  // namespace setupext
