// The page rules over bytes, with no file in sight: a page goes in, in pieces of any size, and
// its French version comes out through a sink.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace setupext {

// Where the translation goes, in pieces of any size (some only a few bytes: the sink buffers).
class ByteSink {
 public:
  // False when the bytes could not be taken; nothing more is written after that.
  [[nodiscard]] virtual bool Write(std::string_view bytes) noexcept = 0;

 protected:
  ~ByteSink() = default;
};

enum class [[nodiscard]] TextResult {
  kDone,
  kNoMemory,     // a line outgrew the memory that could be had: the translation is incomplete
  kWriteFailed,  // the sink refused bytes: the translation is incomplete
};

// Translates a page in page order. The header, up to and including the first line holding
// "PAGE {", passes unchanged; the line after it gets the label table only; every later line
// gets "Input" -> "Champ", the French brand marker, and the label table when it holds the
// byte 0xFE.
class PageTranslator {
 public:
  explicit PageTranslator(ByteSink& out) noexcept;
  PageTranslator(const PageTranslator&) = delete;
  PageTranslator& operator=(const PageTranslator&) = delete;
  ~PageTranslator();

  // The next bytes of the page.
  TextResult Feed(std::string_view bytes) noexcept;
  // The page has ended.
  TextResult Finish() noexcept;
  // Whether the translation so far differs from the page's text.
  bool changed() const noexcept { return changed_; }

  struct State;  // the implementation's own

 private:
  ByteSink& out_;
  State* state_;
  bool changed_ = false;
};

}  // namespace setupext
