// Every entry's step and what came of it, by path, as a call reports them: to compare what
// --explain says a call would do with what the call does.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "template/template_tree.h"

namespace setupext::testing {

class Outcomes final : public TreeObserver {
 public:
  void Entry(std::string_view dir, const Listing& listing, std::size_t i, const Step& step,
             const PageResult& r) noexcept override {
    seen[std::string(dir) + std::string(listing.name(i))] = {static_cast<int>(step.fate), static_cast<int>(step.reason),
                                                               static_cast<int>(r.outcome), static_cast<int>(r.trouble),
                                                               r.moved, r.put_back, r.no_page_line};
  }
  void Folder(std::string_view dir, FolderTrouble trouble) noexcept override {
    seen[std::string(dir)] = {-1, static_cast<int>(trouble)};
  }
  std::map<std::string, std::vector<int>> seen;
};

}  // namespace setupext::testing
