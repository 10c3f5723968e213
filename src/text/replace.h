// Plain byte-text searching and replacement.
#pragma once

#include <string>
#include <string_view>

namespace setupext {

constexpr bool Contains(std::string_view text, std::string_view part) {
  return text.find(part) != std::string_view::npos;
}

// Replaces every occurrence of word (never empty) in line. Text a replacement inserts is not
// searched again, so "Form" -> "Formulaire" ends after one sweep. True when anything was
// replaced. A line that changes length is rebuilt in `scratch`, which then holds the old
// line: a pair of strings kept from line to line stops allocating once they are long enough.
bool ReplaceAll(std::string& line, std::string_view word, std::string_view replacement, std::string& scratch);
void ReplaceAll(std::string& line, std::string_view word, std::string_view replacement);

}  // namespace setupext
