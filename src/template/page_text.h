// The page rules over bytes, with no file in sight: a page goes in, in pieces of any size, and
// its French version comes out through a sink.
#pragma once

#include <cstddef>
#include <string_view>

#include "platform/buffers.h"
#include "text/byte_sink.h"

namespace setupext {

enum class [[nodiscard]] TextResult {
  kDone,
  kNoMemory,     // a line outgrew the memory that could be had: the translation is incomplete
  kWriteFailed,  // the sink refused bytes: the translation is incomplete
};

// Translates a page in page order. The header, up to and including the first line holding
// "PAGE {", passes unchanged; the line after it gets the label table only; every later line
// gets "Input" -> "Champ", the French brand marker, and the label table when it holds the
// byte 0xFE.
//
// One pass over the bytes: spans that do not change go to the sink straight from the piece
// fed (a sink that writes should buffer), and only the line a piece ends inside is kept, to be
// finished with the next piece: memory grows with the longest line, never with the page. Once
// a call answers anything but kDone, every later call answers the same.
class PageTranslator {
 public:
  explicit PageTranslator(ByteSink& out) noexcept : out_(out) {}
  PageTranslator(const PageTranslator&) = delete;
  PageTranslator& operator=(const PageTranslator&) = delete;
  ~PageTranslator() = default;

  // The next bytes of the page.
  TextResult Feed(std::string_view bytes) noexcept;
  // The page has ended.
  TextResult Finish() noexcept;
  // Whether the translation so far differs from the page's text: true exactly when a word was
  // replaced (no rule gives back the bytes it replaces).
  bool changed() const noexcept { return changed_; }
  // Whether a "PAGE {" line has been met: a page without one is never changed.
  bool found_page_line() const noexcept { return stage_ != Stage::kHeader; }

 private:
  enum class Stage : unsigned char { kHeader, kTitle, kBody };

  // Whole lines (at the end of the page, the last may have no line feed).
  void Translate(std::string_view lines) noexcept;
  void Body(std::string_view lines) noexcept;
  void Write(std::string_view bytes) noexcept;

  ByteSink& out_;
  ByteBuffer partial_;  // the line the last piece ended inside, so far
  Stage stage_ = Stage::kHeader;
  TextResult result_ = TextResult::kDone;
  bool changed_ = false;
};

}  // namespace setupext
