// Plain byte-text searching, and replacement of a few words in one pass over the text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "text/byte_sink.h"

namespace setupext {

constexpr bool Contains(std::string_view text, std::string_view part) {
  return text.find(part) != std::string_view::npos;
}

// The first `byte` in [at, end), or `end`; a block of bytes at a time, where a C library's
// memchr may go byte by byte.
const unsigned char* FindByte(const unsigned char* at, const unsigned char* end, unsigned char byte) noexcept;

// A word and what it becomes.
struct Rule {
  std::string_view word;  // never empty
  std::string_view replacement;
  // When not empty, the word is left where this text follows it.
  std::string_view unless_followed_by = {};
};

// Up to kMostRules rules, built at compile time and looked up by their first byte, so a search
// passes over bytes that start no word in bulk.
class RuleSet {
 public:
  static constexpr std::size_t kMostRules = 24;

  // The rules of each part in order, part after part. Where several words start at the same
  // place, the first in this order wins.
  consteval RuleSet(std::span<const Rule> first, std::span<const Rule> second = {}, std::span<const Rule> third = {}) {
    for (std::span<const Rule> part : {first, second, third}) {
      for (const Rule& rule : part) Add(rule);
    }
  }

  std::span<const Rule> rules() const noexcept { return {rules_, count_}; }
  // The most bytes a match at one place looks at: its word and what may not follow it.
  constexpr std::size_t reach() const noexcept { return reach_; }

  // The first place in [at, end) where a word may start; `end` when there is none. A set whose
  // words start with at most three different bytes is searched a block of bytes at a time.
  const unsigned char* NextCandidate(const unsigned char* at, const unsigned char* end) const noexcept {
    if (few_count_ != 0) return FindAnyOfThree(at, end, few_);
    while (end - at >= 8) {
      if (first_[at[0]] | first_[at[1]] | first_[at[2]] | first_[at[3]] | first_[at[4]] | first_[at[5]] |
          first_[at[6]] | first_[at[7]])
        break;
      at += 8;
    }
    while (at != end && first_[*at] == 0) ++at;
    return at;
  }

  // The first rule whose word starts at `at` (and ends by `end`), or null.
  const Rule* Match(const unsigned char* at, const unsigned char* end) const noexcept;

 private:
  static void TooManyRulesOrEmptyWord() {}  // not constexpr: reaching it stops the build
  static const unsigned char* FindAnyOfThree(const unsigned char* at, const unsigned char* end,
                                             const unsigned char (&bytes)[3]) noexcept;

  consteval void Add(const Rule& rule) {
    if (count_ == kMostRules || rule.word.empty()) TooManyRulesOrEmptyWord();
    const auto first = static_cast<unsigned char>(rule.word[0]);
    rules_[count_] = rule;
    heads_[count_] = Head(rule.word);
    if (rule.word.size() + rule.unless_followed_by.size() > reach_) reach_ = rule.word.size() + rule.unless_followed_by.size();
    const auto number = static_cast<std::uint8_t>(count_ + 1);
    if (first_[first] == 0) {
      first_[first] = number;
      // The first three first bytes, repeated to fill the three; none when there are more.
      if (distinct_ < 3) {
        for (std::size_t i = distinct_; i < 3; ++i) few_[i] = first;
        few_count_ = 1;
      } else {
        few_count_ = 0;
      }
      ++distinct_;
    } else {
      std::uint8_t last = first_[first];
      while (next_[last - 1] != 0) last = next_[last - 1];
      next_[last - 1] = number;
    }
    ++count_;
  }

  // The first two bytes of a word as one number (the first alone for a word of one byte), so
  // most places where a word does not start are told by one comparison.
  static constexpr std::uint32_t Head(const unsigned char* at, std::size_t size) noexcept {
    return size > 1 ? at[0] | std::uint32_t{at[1]} << 8 : at[0] | std::uint32_t{1} << 16;
  }
  static constexpr std::uint32_t Head(std::string_view word) noexcept {
    return word.size() > 1 ? static_cast<unsigned char>(word[0]) | std::uint32_t{static_cast<unsigned char>(word[1])} << 8
                           : static_cast<unsigned char>(word[0]) | std::uint32_t{1} << 16;
  }

  Rule rules_[kMostRules] = {};
  std::uint32_t heads_[kMostRules] = {};
  std::size_t count_ = 0;
  std::size_t reach_ = 0;
  std::uint8_t first_[256] = {};         // 1 + the first rule starting with the byte; 0: none
  std::uint8_t next_[kMostRules] = {};  // 1 + the next rule with the same first byte; 0: none
  std::size_t distinct_ = 0;             // different first bytes
  unsigned char few_[3] = {};            // they, when there are at most three
  std::uint8_t few_count_ = 0;           // 1 when few_ holds them all
};

// Writes `text` to `out` with the rules applied in one pass from left to right: at each place
// the first rule whose word starts there is replaced and the search goes on after the word, so
// text a replacement inserts is never searched again. Spans without a word go to `out` as they
// are. `changed` becomes true when anything was replaced. False when `out` refused bytes.
[[nodiscard]] bool ReplaceInOnePass(std::string_view text, const RuleSet& rules, ByteSink& out, bool& changed) noexcept;

// The same over the start of a text that goes on past `text`: only the places before `until`
// are decided (a word starting later may need bytes not given yet). Answers how many bytes of
// `text` went to `out`, at least `until` (more where a word starting before it ends past it),
// or kRefused when `out` refused bytes.
inline constexpr std::size_t kRefused = ~std::size_t{0};
[[nodiscard]] std::size_t ReplaceUntil(std::string_view text, std::size_t until, const RuleSet& rules, ByteSink& out,
                                       bool& changed) noexcept;

}  // namespace setupext
