// The page rules over a page held in memory, given in windows of a chosen size as the page
// reader gives them: for the tests and the fuzzer.
#pragma once

#include <algorithm>
#include <cstddef>
#include <string>
#include <string_view>

#include "template/page_text.h"

namespace setupext::testing {

struct PageText {
  TextResult result = TextResult::kDone;  // the first answer that was not kDone, if any
  std::string text;                       // what reached the sink
  bool changed = false;
  bool stuck = false;  // the translator asked for the same window over and over
};

// Gives the page in windows of `piece` bytes (64 KiB, the page reader's buffer, by default; at
// least the translator's least window) wherever it asks, until it has taken the whole page.
// Into `sink` when one is given: then `text` stays empty.
inline PageText TranslateInPieces(std::string_view page, std::size_t piece = 64 * 1024, ByteSink* sink = nullptr) {
  class Collect final : public ByteSink {
   public:
    explicit Collect(std::string& text) : text_(text) {}
    bool Write(std::string_view bytes) noexcept override {
      text_.append(bytes);
      return true;
    }

   private:
    std::string& text_;
  };
  PageText out;
  Collect collect(out.text);
  PageTranslator translator(sink ? *sink : collect);
  piece = std::max(piece, PageTranslator::kLeastWindow);
  // Each window moves on, or starts or ends one scan of a line: a few times the page at most.
  for (std::size_t windows = 0; !translator.ended(); ++windows) {
    out.stuck = windows > 4 * page.size() + 4;
    if (out.stuck) break;
    const std::size_t at = static_cast<std::size_t>(translator.next());
    const std::string_view window = page.substr(at, piece);
    out.result = translator.Take(window, at + window.size() == page.size());
  }
  out.changed = translator.changed();
  return out;
}

// The translation, or a text no translation gives when it did not complete.
inline std::string TranslatedPage(std::string_view page, std::size_t piece = 64 * 1024) {
  PageText out = TranslateInPieces(page, piece);
  return out.result == TextResult::kDone && !out.stuck ? out.text : "<translation incomplete>";
}

}  // namespace setupext::testing
