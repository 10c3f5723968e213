// The page translation written the plainest way: the page cut into lines, every replacement
// made one after the other by the rule itself. The module's translation must give the same
// bytes for every page.
#pragma once

#include <string>
#include <string_view>

#include "template/label_table.h"

namespace setupext::testing {

// Each occurrence replaced in turn; the search goes on after the inserted text.
inline void ReplaceEach(std::string& line, std::string_view word, std::string_view replacement) {
  for (std::size_t at = line.find(word); at != std::string::npos; at = line.find(word, at + replacement.size()))
    line.replace(at, word.size(), replacement);
}

inline void ReplaceLabels(std::string& line) {
  for (const Label& label : LabelTable) ReplaceEach(line, label.source, label.french);
}

inline std::string ReferenceTranslation(std::string_view page) {
  enum class Stage { kHeader, kTitle, kBody } stage = Stage::kHeader;
  std::string out;
  while (!page.empty()) {
    const std::size_t feed = page.find('\n');
    const std::size_t size = feed == std::string_view::npos ? page.size() : feed + 1;
    std::string line(page.substr(0, size));
    page.remove_prefix(size);
    if (stage == Stage::kHeader) {
      if (line.find("PAGE {") != std::string::npos) stage = Stage::kTitle;
    } else if (stage == Stage::kTitle) {
      ReplaceLabels(line);
      stage = Stage::kBody;
    } else {
      ReplaceEach(line, "Input", "Champ");
      ReplaceEach(line, "PowerByTORVEKEN", "PowerByTORVEKFR");
      if (line.find('\xFE') != std::string::npos) ReplaceLabels(line);
    }
    out += line;
  }
  return out;
}

}  // namespace setupext::testing
