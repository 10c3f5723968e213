// Arbitrary bytes as a page: the translation must never crash, must give the same bytes
// whatever the size of the pieces it is fed in and the same as the plain line-by-line
// translation, must say it changed the page exactly when it did, must keep the header as it
// is, must leave a page without a header end byte for byte unchanged, and must leave its own
// output as it is when translated again, wherever the rules allow that (below).
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "support/page_text_in_memory.h"
#include "support/reference_translation.h"
#include "template/label_table.h"

namespace {

using setupext::TextResult;
using setupext::testing::PageText;
using setupext::testing::TranslateInPieces;

void Check(bool holds, const char* what) {
  if (holds) return;
  std::fprintf(stderr, "page fuzzer: %s\n", what);
  std::abort();
}

// Translating a translation changes nothing, except where a French text and the text after it
// spell a label the table had already passed when it wrote that French text: "Homeink" ->
// "Accueilink", where "link" (entry 4) comes before "Home" (entry 5) and so is found only
// the second time ("Accueilien"). Likewise "HOMEink" ("Link"), "linkext", "Linkext", "Soundext"
// ("next"), "LINKext" ("Next"), "LINKEXT" ("NEXT"), and the compounds' "homeinkext",
// "HOMEINKext", "HOMEINKEXT". The table keeps its order, so these are listed
// here, derived from the table: a word of the rules followed by the rest of such a label.
std::vector<std::string> NotStableTwice() {
  std::vector<std::string> patterns;
  const auto& table = setupext::LabelTable;
  for (const setupext::Rule& rule : setupext::LabelRules.rules()) {
    // The last table entry that wrote this French text.
    std::size_t wrote = 0;
    for (std::size_t i = 0; i < table.size(); ++i)
      if (rule.replacement.ends_with(table[i].french)) wrote = i;
    for (std::size_t j = 0; j <= wrote; ++j) {
      const std::string_view label = table[j].source, french = rule.replacement;
      for (std::size_t n = 1; n < french.size() && n < label.size(); ++n) {
        if (french.substr(french.size() - n) == label.substr(0, n))
          patterns.push_back(std::string(rule.word) + std::string(label.substr(n)));
      }
    }
  }
  return patterns;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::vector<std::string> not_stable_twice = NotStableTwice();
  if (size == 0) {
    const PageText empty = TranslateInPieces({});
    Check(empty.result == TextResult::kDone && empty.text.empty() && !empty.changed, "an empty page gives output");
    return 0;
  }
  // The first byte picks a small piece size, so line ends fall across piece boundaries.
  const std::size_t small_piece = setupext::PageTranslator::kLeastWindow + data[0] % 32;
  const std::string_view page(reinterpret_cast<const char*>(data) + 1, size - 1);

  const PageText whole = TranslateInPieces(page);
  Check(whole.result == TextResult::kDone && !whole.stuck, "the translation did not complete");
  const std::string& localised = whole.text;
  const PageText pieces = TranslateInPieces(page, small_piece);
  Check(pieces.result == TextResult::kDone && !pieces.stuck && pieces.text == localised && pieces.changed == whole.changed,
        "output depends on the piece size");
  Check(setupext::testing::ReferenceTranslation(page) == localised, "output differs from the line-by-line translation");
  Check(whole.changed == (localised != page), "changed() does not say whether the page changed");

  bool stable_twice = true;
  for (const std::string& pattern : not_stable_twice) stable_twice = stable_twice && page.find(pattern) == page.npos;
  if (stable_twice) {
    const PageText twice = TranslateInPieces(localised, small_piece);
    Check(twice.text == localised && !twice.changed, "a translated page changes when translated again");
  }

  const std::size_t header_end = page.find("PAGE {");
  if (header_end == std::string_view::npos) {
    Check(localised == page, "a page without a header end was changed");
    return 0;
  }
  const std::size_t line_end = page.find('\n', header_end);
  const std::size_t header_size = line_end == std::string_view::npos ? page.size() : line_end + 1;
  Check(std::string_view(localised).substr(0, header_size) == page.substr(0, header_size), "the header was changed");
  return 0;
}
