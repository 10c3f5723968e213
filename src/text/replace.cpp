#include "text/replace.h"

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#elif defined(__i386__) || defined(__x86_64__)
// Every x86 build is made with SSE2, so the search the module ships is the one tested.
#error "build x86 targets with SSE2 (-msse2)"
#endif

namespace setupext {
namespace {

// Words are short: a loop beats a call.
bool StartsWith(const unsigned char* at, const unsigned char* end, std::string_view word) noexcept {
  if (static_cast<std::size_t>(end - at) < word.size()) return false;
  for (std::size_t i = 0; i < word.size(); ++i) {
    if (at[i] != static_cast<unsigned char>(word[i])) return false;
  }
  return true;
}

bool WriteSpan(ByteSink& out, const unsigned char* from, const unsigned char* to) noexcept {
  return from == to || out.Write({reinterpret_cast<const char*>(from), static_cast<std::size_t>(to - from)});
}

}  // namespace

const unsigned char* RuleSet::FindAnyOfThree(const unsigned char* at, const unsigned char* end,
                                             const unsigned char (&bytes)[3]) noexcept {
#if defined(__SSE2__)
  const __m128i first = _mm_set1_epi8(static_cast<char>(bytes[0]));
  const __m128i second = _mm_set1_epi8(static_cast<char>(bytes[1]));
  const __m128i third = _mm_set1_epi8(static_cast<char>(bytes[2]));
  // Bit i: block[i] is one of the bytes.
  const auto found = [&](const unsigned char* block) {
    const __m128i bytes16 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block));
    return static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(
        _mm_or_si128(_mm_cmpeq_epi8(bytes16, first), _mm_cmpeq_epi8(bytes16, second)), _mm_cmpeq_epi8(bytes16, third))));
  };
  if (end - at >= 16) {
    for (; end - at >= 32; at += 32) {
      const unsigned low = found(at), high = found(at + 16);
      if (low | high) return at + __builtin_ctz(low | high << 16);
    }
    if (end - at >= 16) {
      if (const unsigned mask = found(at)) return at + __builtin_ctz(mask);
      at += 16;
    }
    // The last 16 bytes, overlapping those already looked at.
    const unsigned char* const last = end - 16;
    const unsigned mask = found(last) >> (at - last);
    return mask ? at + __builtin_ctz(mask) : end;
  }
#endif
  for (; at != end; ++at) {
    if (*at == bytes[0] || *at == bytes[1] || *at == bytes[2]) return at;
  }
  return end;
}

const unsigned char* FindByte(const unsigned char* at, const unsigned char* end, unsigned char byte) noexcept {
#if defined(__SSE2__)
  const __m128i wanted = _mm_set1_epi8(static_cast<char>(byte));
  const auto found = [&](const unsigned char* block) {
    return _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(block)), wanted);
  };
  for (; end - at >= 64; at += 64) {
    const __m128i a = found(at), b = found(at + 16), c = found(at + 32), d = found(at + 48);
    if (_mm_movemask_epi8(_mm_or_si128(_mm_or_si128(a, b), _mm_or_si128(c, d))) == 0) continue;
    const std::uint64_t mask = static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(a))) |
                               static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(b))) << 16 |
                               static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(c))) << 32 |
                               static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(d))) << 48;
    return at + __builtin_ctzll(mask);
  }
  for (; end - at >= 16; at += 16) {
    if (const unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(found(at)))) return at + __builtin_ctz(mask);
  }
#endif
  for (; at != end; ++at) {
    if (*at == byte) return at;
  }
  return end;
}

inline const Rule* RuleSet::Match(const unsigned char* at, const unsigned char* end) const noexcept {
  const std::uint32_t two = Head(at, static_cast<std::size_t>(end - at)), one = *at | std::uint32_t{1} << 16;
  for (std::uint8_t number = first_[*at]; number != 0; number = next_[number - 1]) {
    if (heads_[number - 1] != two && heads_[number - 1] != one) continue;
    const Rule& rule = rules_[number - 1];
    if (!StartsWith(at, end, rule.word)) continue;
    if (!rule.unless_followed_by.empty() && StartsWith(at + rule.word.size(), end, rule.unless_followed_by)) continue;
    return &rule;
  }
  return nullptr;
}

std::size_t ReplaceUntil(std::string_view text, std::size_t until, const RuleSet& rules, ByteSink& out,
                         bool& changed) noexcept {
  const auto* const begin = reinterpret_cast<const unsigned char*>(text.data());
  const unsigned char* const end = begin + text.size();
  const unsigned char* const decided = begin + until;
  const unsigned char* at = begin;
  const unsigned char* written = at;  // everything before it has gone to `out`
  while (at < decided) {
    at = rules.NextCandidate(at, decided);
    if (at == decided) break;
    const Rule* rule = rules.Match(at, end);
    if (!rule) {
      ++at;
      continue;
    }
    if (!WriteSpan(out, written, at) || !out.Write(rule->replacement)) return kRefused;
    changed = true;
    at += rule->word.size();
    written = at;
  }
  return WriteSpan(out, written, at) ? static_cast<std::size_t>(at - begin) : kRefused;
}

bool ReplaceInOnePass(std::string_view text, const RuleSet& rules, ByteSink& out, bool& changed) noexcept {
  return ReplaceUntil(text, text.size(), rules, out, changed) != kRefused;
}

}  // namespace setupext
