#include "template/page_text.h"

#include <cstring>

#include "template/label_table.h"

namespace setupext {
namespace {

constexpr std::string_view kHeaderEnd = "PAGE {";
constexpr char kLabelMarker = '\xFE';

constexpr std::array<Rule, 2> kKeywords = {{
    {"Input", "Champ"},
    {"PowerByTORVEKEN", "PowerByTORVEKFR"},
}};
// A body line: the keywords. A body line holding the marker: the keywords and then the label
// table, which neither makes nor breaks a keyword, and breaks nothing a keyword makes; a
// label running into a brand marker's last letter ("PowerByTORVEKENext") loses to it in one
// pass as it does entry after entry, since the keywords go first.
constinit const RuleSet kBodyRules(kKeywords);
constinit const RuleSet kMarkedBodyRules(kKeywords, LabelCompounds, LabelRuleList);

const char* Find(const char* from, const char* end, char byte) noexcept {
  return from == end ? nullptr : static_cast<const char*>(std::memchr(from, byte, static_cast<std::size_t>(end - from)));
}

// Just after the line feed ending the line that holds `at`, or the end.
std::size_t LineEnd(std::string_view text, std::size_t at) noexcept {
  const char* feed = Find(text.data() + at, text.data() + text.size(), '\n');
  return feed ? static_cast<std::size_t>(feed - text.data()) + 1 : text.size();
}

}  // namespace

void PageTranslator::Write(std::string_view bytes) noexcept {
  if (result_ == TextResult::kDone && !bytes.empty() && !out_.Write(bytes)) result_ = TextResult::kWriteFailed;
}

void PageTranslator::Translate(std::string_view lines) noexcept {
  while (!lines.empty() && result_ == TextResult::kDone) {
    std::size_t end = 0;
    switch (stage_) {
      case Stage::kHeader: {
        const std::size_t found = lines.find(kHeaderEnd);
        if (found == std::string_view::npos) return Write(lines);
        end = LineEnd(lines, found + kHeaderEnd.size());
        Write(Part(lines, 0, end));
        stage_ = Stage::kTitle;
        break;
      }
      case Stage::kTitle:
        end = LineEnd(lines, 0);
        if (!ReplaceInOnePass(Part(lines, 0, end), LabelRules, out_, changed_)) result_ = TextResult::kWriteFailed;
        stage_ = Stage::kBody;
        break;
      case Stage::kBody:
        return Body(lines);
    }
    lines.remove_prefix(end);
  }
}

// Runs of unmarked lines get the keywords straight through; each marked line gets them with the
// labels.
void PageTranslator::Body(std::string_view lines) noexcept {
  const char* from = lines.data();
  const char* const end = from + lines.size();
  while (from != end) {
    const char* const marker = Find(from, end, kLabelMarker);
    const char* marked = end;  // where the marked line starts
    if (marker) {
      marked = marker;
      while (marked != from && marked[-1] != '\n') --marked;
    }
    const char* feed = marker ? Find(marker, end, '\n') : nullptr;
    const char* const next = feed ? feed + 1 : end;
    if (!ReplaceInOnePass({from, static_cast<std::size_t>(marked - from)}, kBodyRules, out_, changed_) ||
        !ReplaceInOnePass({marked, static_cast<std::size_t>(next - marked)}, kMarkedBodyRules, out_, changed_)) {
      result_ = TextResult::kWriteFailed;
      return;
    }
    from = next;
  }
}

TextResult PageTranslator::Feed(std::string_view bytes) noexcept {
  if (result_ != TextResult::kDone || bytes.empty()) return result_;
  if (!partial_.empty()) {
    const std::size_t end = LineEnd(bytes, 0);
    if (!partial_.Append(Part(bytes, 0, end))) return result_ = TextResult::kNoMemory;
    if (partial_.back() != '\n') return result_;
    Translate(partial_.view());
    partial_.Clear();
    bytes.remove_prefix(end);
  }
  std::size_t whole = bytes.size();
  while (whole != 0 && bytes[whole - 1] != '\n') --whole;
  Translate(Part(bytes, 0, whole));
  if (result_ == TextResult::kDone && !partial_.Append(From(bytes, whole))) result_ = TextResult::kNoMemory;
  return result_;
}

TextResult PageTranslator::Finish() noexcept {
  if (result_ != TextResult::kDone) return result_;
  Translate(partial_.view());
  partial_.Clear();
  return result_;
}

}  // namespace setupext
