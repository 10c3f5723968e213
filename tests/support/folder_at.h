// The folder a file lies in, opened as the walk opens it: the calls that name an entry take it.
#pragma once

#include <string>
#include <string_view>

#include "platform/files.h"

namespace setupext::testing {

class FolderAt {
 public:
  FolderAt(Files& files, std::string_view path) {
    const std::size_t separator = path.rfind(PathSeparator());
    const std::string folder(path.substr(0, separator == std::string_view::npos ? 0 : separator + 1));
    (void)files.OpenFolder(folder, 0, folder_, facts_);
  }
  operator NativeFile() const { return folder_.get().native; }
  const FolderFacts& facts() const { return facts_; }

 private:
  File folder_;
  FolderFacts facts_;
};

}  // namespace setupext::testing
