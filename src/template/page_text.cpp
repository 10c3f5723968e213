#include "template/page_text.h"


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

static_assert(RuleSet(kKeywords, LabelCompounds, LabelRuleList).reach() <= PageTranslator::kLeastWindow &&
              RuleSet(LabelCompounds, LabelRuleList).reach() <= PageTranslator::kLeastWindow);

const char* Find(const char* from, const char* end, char byte) noexcept {
  const auto want = static_cast<unsigned char>(byte);
  const auto* const last = reinterpret_cast<const unsigned char*>(end);
  const unsigned char* found = FindByte(reinterpret_cast<const unsigned char*>(from), last, want);
  return found == last ? nullptr : reinterpret_cast<const char*>(found);
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

TextResult PageTranslator::Take(std::string_view window, bool last) noexcept {
  if (result_ != TextResult::kDone || ended_) return result_;
  if (scanning_) {
    if (Scan(window, last)) next_ = line_start_;
    return result_;
  }
  std::size_t at = 0;
  while (at < window.size() && result_ == TextResult::kDone) {
    const std::string_view rest = From(window, at);
    std::size_t took = 0;
    switch (stage_) {
      case Stage::kHeader: took = Header(rest, last); break;
      case Stage::kHeaderLine: took = HeaderLine(rest); break;
      case Stage::kTitle: took = OneLine(rest, LabelRules, last); break;
      case Stage::kBody: took = Body(rest, at == 0, last); break;
    }
    if (scanning_) {
      line_start_ = next_;
      next_ += window.size();
      return result_;
    }
    if (took == 0) break;  // the rest needs bytes that follow it
    at += took;
  }
  next_ += at;
  ended_ = result_ != TextResult::kDone || (last && at == window.size());
  return result_;
}

// Up to and with the first "PAGE {"; bytes that may start one are kept for the next window.
std::size_t PageTranslator::Header(std::string_view text, bool last) noexcept {
  const std::size_t found = text.find(kHeaderEnd);
  if (found != std::string_view::npos) {
    Write(Part(text, 0, found + kHeaderEnd.size()));
    stage_ = Stage::kHeaderLine;
    return found + kHeaderEnd.size();
  }
  const std::size_t kept = kHeaderEnd.size() - 1;
  const std::size_t took = last ? text.size() : text.size() > kept ? text.size() - kept : 0;
  Write(Part(text, 0, took));
  return took;
}

// The rest of the "PAGE {" line, unchanged.
std::size_t PageTranslator::HeaderLine(std::string_view text) noexcept {
  const std::size_t end = LineEnd(text, 0);
  Write(Part(text, 0, end));
  if (end != 0 && text[end - 1] == '\n') stage_ = Stage::kTitle;
  return end;
}

std::size_t PageTranslator::OneLine(std::string_view text, const RuleSet& rules, bool last) noexcept {
  const std::size_t end = LineEnd(text, 0);
  const bool whole = end != 0 && text[end - 1] == '\n';
  if (whole || last) {
    if (!ReplaceInOnePass(Part(text, 0, end), rules, out_, changed_)) result_ = TextResult::kWriteFailed;
    if (stage_ == Stage::kTitle) stage_ = Stage::kBody;
    line_ = Line::kUnknown;
    return end;
  }
  // A word may start in the last bytes and end in the next window.
  const std::size_t until = text.size() >= rules.reach() ? text.size() - rules.reach() + 1 : 0;
  const std::size_t took = ReplaceUntil(text, until, rules, out_, changed_);
  if (took == kRefused) {
    result_ = TextResult::kWriteFailed;
    return 0;
  }
  return took;
}

// Whole lines in runs; a line the window ends inside is translated where its marker is known,
// asked for again from its start where it is not, and scanned first where it fills the window.
std::size_t PageTranslator::Body(std::string_view text, bool at_window_start, bool last) noexcept {
  if (line_ != Line::kUnknown) return OneLine(text, line_ == Line::kMarked ? kMarkedBodyRules : kBodyRules, last);
  const std::size_t last_feed = text.rfind('\n');
  if (last_feed != std::string_view::npos || last) {
    const std::size_t whole = last_feed == std::string_view::npos ? text.size() : last_feed + 1;
    Lines(Part(text, 0, whole));
    return whole;
  }
  if (Find(text.data(), text.data() + text.size(), kLabelMarker)) {
    line_ = Line::kMarked;
    return OneLine(text, kMarkedBodyRules, last);
  }
  scanning_ = at_window_start;
  return 0;
}

// Whether the line being scanned holds the marker is known once its marker or its end is met.
bool PageTranslator::Scan(std::string_view window, bool last) noexcept {
  const char* const end = window.data() + window.size();
  const char* const marker = Find(window.data(), end, kLabelMarker);
  const char* const feed = Find(window.data(), marker ? marker : end, '\n');
  if (!marker && !feed && !last) {
    next_ += window.size();
    return false;
  }
  line_ = marker && !feed ? Line::kMarked : Line::kPlain;
  scanning_ = false;
  return true;
}

// Runs of unmarked lines get the keywords straight through; each marked line gets them with the
// labels. The last line may have no line feed only at the page's end.
void PageTranslator::Lines(std::string_view lines) noexcept {
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

}  // namespace setupext
