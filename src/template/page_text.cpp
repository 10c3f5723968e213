#include "template/page_text.h"

#include <algorithm>
#include <new>
#include <string>

#include "template/label_table.h"

namespace setupext {
namespace {

constexpr std::string_view kHeaderEnd = "PAGE {";
constexpr char kLabelMarker = '\xFE';

// A body keyword, searched for by one of its bytes that page text holds rarely: most body
// lines hold a "P" and no brand marker, while its "K" is rare.
struct Keyword {
  Label label;
  std::size_t anchor;  // index of that byte in the source word
};
constexpr Keyword kInput = {{"Input", "Champ"}, 0};
constexpr Keyword kBrand = {{"PowerByTORVEKEN", "PowerByTORVEKFR"}, 12};

std::size_t Find(std::string_view text, const Keyword& keyword, std::size_t from) {
  const std::string_view word = keyword.label.source;
  for (std::size_t at = from + keyword.anchor; at < text.size(); ++at) {
    at = text.find(word[keyword.anchor], at);
    if (at == std::string_view::npos) break;
    if (text.substr(at - keyword.anchor, word.size()) == word) return at - keyword.anchor;
  }
  return std::string_view::npos;
}

std::size_t LineEnd(std::string_view text, std::size_t at) {
  const std::size_t feed = text.find('\n', at);
  return feed == std::string_view::npos ? text.size() : feed + 1;
}

std::size_t LastLineStart(std::string_view text) {
  const std::size_t feed = text.rfind('\n');
  return feed == std::string_view::npos ? 0 : feed + 1;
}

}  // namespace

struct PageTranslator::State {
  enum class Stage { kHeader, kTitle, kBody };
  Stage stage = Stage::kHeader;
  std::string line, scratch, partial;
  bool failed = false;
};

PageTranslator::PageTranslator(ByteSink& out) noexcept : out_(out), state_(new (std::nothrow) State) {}
PageTranslator::~PageTranslator() { delete state_; }

namespace {

class Lines {
 public:
  Lines(ByteSink& out, PageTranslator::State& state, bool& changed) : out_(out), s_(state), changed_(changed) {}

  void Translate(std::string_view lines) {
    using Stage = PageTranslator::State::Stage;
    if (s_.stage == Stage::kHeader) lines = Header(lines);
    if (s_.stage == Stage::kTitle && !lines.empty()) lines = Title(lines);
    if (s_.stage == Stage::kBody) Body(lines);
  }

 private:
  void Write(std::string_view bytes) {
    if (!s_.failed && !out_.Write(bytes)) s_.failed = true;
  }

  std::string_view Header(std::string_view lines) {
    const std::size_t end = lines.find(kHeaderEnd);
    if (end == std::string_view::npos) {
      Write(lines);
      return {};
    }
    s_.stage = PageTranslator::State::Stage::kTitle;
    const std::size_t next = LineEnd(lines, end);
    Write(lines.substr(0, next));
    return lines.substr(next);
  }

  std::string_view Title(std::string_view lines) {
    const std::size_t next = LineEnd(lines, 0);
    WriteLabelled(lines.substr(0, next), false);
    s_.stage = PageTranslator::State::Stage::kBody;
    return lines.substr(next);
  }

  void Body(std::string_view lines) {
    std::size_t from = 0;
    std::size_t input = Find(lines, kInput, 0), brand = Find(lines, kBrand, 0);
    std::size_t marker = lines.find(kLabelMarker);
    for (;;) {
      std::size_t marked = lines.size(), next = lines.size();
      if (marker != std::string_view::npos) {
        const std::size_t feed_before = lines.rfind('\n', marker);
        marked = feed_before == std::string_view::npos || feed_before < from ? from : feed_before + 1;
        next = LineEnd(lines, marker);
      }
      while (std::min(input, brand) < marked) {
        const bool input_first = input < brand;
        const Keyword& keyword = input_first ? kInput : kBrand;
        std::size_t& found = input_first ? input : brand;
        Write(lines.substr(from, found - from));
        Write(keyword.label.french);
        changed_ = true;
        from = found + keyword.label.source.size();
        found = Find(lines, keyword, from);
      }
      Write(lines.substr(from, marked - from));
      if (marker == std::string_view::npos) return;
      WriteLabelled(lines.substr(marked, next - marked), true);
      from = next;
      if (input < next) input = Find(lines, kInput, next);
      if (brand < next) brand = Find(lines, kBrand, next);
      marker = lines.find(kLabelMarker, next);
    }
  }

  void WriteLabelled(std::string_view line, bool body) {
    s_.line.assign(line);
    if (body) {
      ReplaceAll(s_.line, kInput.label.source, kInput.label.french, s_.scratch);
      ReplaceAll(s_.line, kBrand.label.source, kBrand.label.french, s_.scratch);
    }
    ApplyLabelTable(s_.line, s_.scratch);
    if (s_.line != line) changed_ = true;
    Write(s_.line);
  }

  ByteSink& out_;
  PageTranslator::State& s_;
  bool& changed_;
};

}  // namespace

TextResult PageTranslator::Feed(std::string_view data) noexcept {
  if (!state_) return TextResult::kNoMemory;
  if (state_->failed) return TextResult::kWriteFailed;
  try {
    Lines lines(out_, *state_, changed_);
    std::string& partial = state_->partial;
    if (!partial.empty()) {
      const std::size_t feed = data.find('\n');
      if (feed == std::string_view::npos) {
        partial.append(data);
        return TextResult::kDone;
      }
      partial.append(data.substr(0, feed + 1));
      lines.Translate(partial);
      partial.clear();
      data.remove_prefix(feed + 1);
    }
    const std::size_t whole = LastLineStart(data);
    lines.Translate(data.substr(0, whole));
    partial.assign(data.substr(whole));
  } catch (...) {
    return TextResult::kNoMemory;
  }
  return state_->failed ? TextResult::kWriteFailed : TextResult::kDone;
}

TextResult PageTranslator::Finish() noexcept {
  if (!state_) return TextResult::kNoMemory;
  try {
    Lines(out_, *state_, changed_).Translate(state_->partial);
    state_->partial.clear();
  } catch (...) {
    return TextResult::kNoMemory;
  }
  return state_->failed ? TextResult::kWriteFailed : TextResult::kDone;
}

}  // namespace setupext
