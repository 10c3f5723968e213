// The page translation written the plainest way: the page cut into lines, every replacement
// made one after the other by the rule itself. The module's translation must give the same
// bytes for every page.
#pragma once

#include <string>
#include <string_view>

#include "template/label_table.h"

namespace setupext::testing {

// Each occurrence replaced in turn; the search goes on after the inserted text. An occurrence
// followed by `unless_followed_by` (when not empty) is left as it is.
inline void ReplaceEach(std::string& line, std::string_view word, std::string_view replacement,
                        std::string_view unless_followed_by = {}) {
  std::size_t at = line.find(word);
  while (at != std::string::npos) {
    if (!unless_followed_by.empty() && std::string_view(line).substr(at + word.size()).starts_with(unless_followed_by)) {
      at = line.find(word, at + word.size());
      continue;
    }
    line.replace(at, word.size(), replacement);
    at = line.find(word, at + replacement.size());
  }
}

// The "Formulaire" mend: a label whose French text begins with the label is left where the
// text already reads that French text.
inline void ReplaceLabels(std::string& line) {
  for (const Label& label : LabelTable) {
    const std::string_view french = label.french;
    ReplaceEach(line, label.source, french,
                french.starts_with(label.source) ? french.substr(label.source.size()) : std::string_view{});
  }
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
