// The page rules over bytes, with no file in sight: a page goes in, in pieces of any size, and
// its French version comes out through a sink.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "text/replace.h"
#include "text/byte_sink.h"

namespace setupext {

enum class [[nodiscard]] TextResult {
  kDone,
  kWriteFailed,  // the sink refused bytes: the translation is incomplete
};

// Translates a page in page order. The header, up to and including the first line holding
// "PAGE {", passes unchanged; the line after it gets the label table only; every later line
// gets "Input" -> "Champ", the French brand marker, and the label table when it holds the
// byte 0xFE.
//
// The translator holds no text of its own: it asks for the page's bytes at an offset and is
// given a window of them (read from the file where it lies), takes what it can decide, and
// asks again. A line that a window ends inside is asked for again from its start; a line
// longer than a window is first scanned for the marker and its end, then translated window
// by window. Memory is the caller's window, whatever the page and its lines. Spans that do
// not change go to the sink straight from the window (a sink that writes should buffer).
// Once an answer is not kDone, every later one is the same.
class PageTranslator {
 public:
  // The least window it works with: room for the longest word and what may follow it.
  static constexpr std::size_t kLeastWindow = 16;

  explicit PageTranslator(ByteSink& out) noexcept : out_(out) {}
  PageTranslator(const PageTranslator&) = delete;
  PageTranslator& operator=(const PageTranslator&) = delete;
  ~PageTranslator() = default;

  // Where in the page the next window must start.
  std::uint64_t next() const noexcept { return next_; }
  // The page's bytes from next(): at least kLeastWindow of them unless `last`, which says the
  // window reaches the page's end.
  TextResult Take(std::string_view window, bool last) noexcept;
  // The whole page has been taken (or the sink refused bytes).
  bool ended() const noexcept { return ended_; }
  // Whether the translation so far differs from the page's text: true exactly when a word was
  // replaced (no rule gives back the bytes it replaces).
  bool changed() const noexcept { return changed_; }
  // Whether a "PAGE {" line has been met: a page without one is never changed.
  bool found_page_line() const noexcept { return stage_ != Stage::kHeader; }

 private:
  enum class Stage : unsigned char { kHeader, kHeaderLine, kTitle, kBody };
  enum class Line : unsigned char { kUnknown, kPlain, kMarked };  // a body line, by its marker

  std::size_t Header(std::string_view text, bool last) noexcept;
  std::size_t HeaderLine(std::string_view text) noexcept;
  std::size_t Body(std::string_view text, bool at_window_start, bool last) noexcept;
  // The current line's bytes in `text` with `rules`, up to its end or as far as can be decided.
  std::size_t OneLine(std::string_view text, const RuleSet& rules, bool last) noexcept;
  void Lines(std::string_view lines) noexcept;
  bool Scan(std::string_view window, bool last) noexcept;
  void Write(std::string_view bytes) noexcept;

  ByteSink& out_;
  std::uint64_t next_ = 0;
  std::uint64_t line_start_ = 0;  // while scanning: where the line scanned starts
  Stage stage_ = Stage::kHeader;
  Line line_ = Line::kUnknown;
  bool scanning_ = false;
  bool ended_ = false;
  TextResult result_ = TextResult::kDone;
  bool changed_ = false;
};

}  // namespace setupext
