#include "text/replace.h"

namespace setupext {

bool ReplaceAll(std::string& line, std::string_view word, std::string_view replacement, std::string& scratch) {
  if (word.empty()) return false;
  std::size_t found = line.find(word);
  if (found == std::string::npos) return false;
  if (word.size() == replacement.size()) {
    do {
      line.replace(found, word.size(), replacement);
      found = line.find(word, found + replacement.size());
    } while (found != std::string::npos);
    return true;
  }
  scratch.clear();
  std::size_t from = 0;
  do {
    scratch.append(line, from, found - from).append(replacement);
    from = found + word.size();
    found = line.find(word, from);
  } while (found != std::string::npos);
  scratch.append(line, from, std::string::npos);
  line.swap(scratch);
  return true;
}

void ReplaceAll(std::string& line, std::string_view word, std::string_view replacement) {
  std::string scratch;
  ReplaceAll(line, word, replacement, scratch);
}

}  // namespace setupext
