#include "text/replace.h"

namespace setupext {

void ReplaceAll(std::string& line, std::string_view word, std::string_view replacement) {
  if (word.empty()) return;
  std::size_t found = line.find(word);
  if (found == std::string::npos) return;
  if (word.size() == replacement.size()) {
    // The keywords of every body line swap like for like: no need to rebuild the line.
    do {
      line.replace(found, word.size(), replacement);
      found = line.find(word, found + replacement.size());
    } while (found != std::string::npos);
    return;
  }
  std::string result;
  result.reserve(line.size() + replacement.size());
  std::size_t from = 0;
  do {
    result.append(line, from, found - from).append(replacement);
    from = found + word.size();
    found = line.find(word, from);
  } while (found != std::string::npos);
  result.append(line, from, std::string::npos);
  line.swap(result);
}

}  // namespace setupext
