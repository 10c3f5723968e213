// The page rules over a page held in memory, fed in pieces of a chosen size: for the tests and
// the fuzzer.
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
};

// Feeds the page in pieces of `piece` bytes (64 KiB, the page reader's buffer, by default),
// stopping at the first answer that is not kDone, then finishes it.
inline PageText TranslateInPieces(std::string_view page, std::size_t piece = 64 * 1024) {
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
  Collect sink(out.text);
  PageTranslator translator(sink);
  piece = std::max<std::size_t>(piece, 1);
  for (std::size_t at = 0; at < page.size() && out.result == TextResult::kDone; at += piece)
    out.result = translator.Feed(page.substr(at, piece));
  if (out.result == TextResult::kDone) out.result = translator.Finish();
  out.changed = translator.changed();
  return out;
}

// The translation, or a text no translation gives when it did not complete.
inline std::string TranslatedPage(std::string_view page, std::size_t piece = 64 * 1024) {
  PageText out = TranslateInPieces(page, piece);
  return out.result == TextResult::kDone ? out.text : "<translation incomplete>";
}

}  // namespace setupext::testing
