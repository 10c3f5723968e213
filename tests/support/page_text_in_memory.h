// The page rules over text in memory, fed in pieces of a chosen size.
#pragma once

#include <algorithm>
#include <cstddef>
#include <string>
#include <string_view>

#include "template/page_text.h"

namespace setupext::testing {

class StringSink final : public ByteSink {
 public:
  bool Write(std::string_view bytes) noexcept override {
    text.append(bytes);
    return true;
  }
  std::string text;
};

// The page's translation; "" with *ok false when memory ran out.
inline std::string LocalisePageText(std::string_view page, std::size_t piece = 64 * 1024, bool* ok = nullptr) {
  StringSink sink;
  PageTranslator translator(sink);
  bool fine = true;
  for (std::size_t at = 0; at < page.size() && fine; at += piece)
    fine = translator.Feed(page.substr(at, std::min(piece, page.size() - at))) == TextResult::kDone;
  fine = fine && translator.Finish() == TextResult::kDone;
  if (ok) *ok = fine;
  return fine ? sink.text : std::string();
}

}  // namespace setupext::testing
