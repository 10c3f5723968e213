#include "template/page_names.h"

namespace setupext {
namespace {

std::string_view LastExtension(std::string_view name) {
  const std::size_t dot = name.rfind('.');
  return dot == std::string_view::npos ? std::string_view() : From(name, dot);
}

std::string_view Before(std::string_view name, std::string_view suffix) {
  return name.ends_with(suffix) ? Part(name, 0, name.size() - suffix.size()) : std::string_view();
}

std::uint32_t NameHash(std::string_view name) {
  std::uint32_t hash = 2166136261u;
  for (const char c : name) hash = (hash ^ static_cast<unsigned char>(c)) * 16777619u;
  return hash;
}

bool AppendHash(std::string_view name, PathText& out) {
  char digits[kHashDigits];
  std::uint32_t hash = NameHash(name);
  for (std::size_t i = kHashDigits; i-- > 0; hash >>= 4) digits[i] = "0123456789abcdef"[hash & 15];
  return out.Append(std::string_view(digits, kHashDigits));
}

bool IsHash(std::string_view text) {
  if (text.size() != kHashDigits) return false;
  for (const char c : text) {
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  }
  return true;
}

// The bytes of the character at the name's start: a whole UTF-8 sequence, or one byte that
// starts none.
std::size_t CharacterBytes(std::string_view name) {
  const unsigned lead = static_cast<unsigned char>(name[0]);
  const std::size_t size = lead >= 0xF0 && lead < 0xF8 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
  if (lead >= 0xF8 || size > name.size()) return 1;
  for (std::size_t i = 1; i < size; ++i) {
    if ((static_cast<unsigned char>(name[i]) & 0xC0) != 0x80) return 1;
  }
  return size;
}

std::size_t CharacterUnits(std::size_t bytes, const FolderFacts& facts) {
  if (facts.name_unit == NameUnit::kBytes) return bytes;
  return bytes == 4 ? 2 : 1;  // a surrogate pair, or one unit
}

// The bytes of the longest run of whole characters from the name's start within `units`.
std::size_t PrefixBytes(std::string_view name, std::size_t units, const FolderFacts& facts) {
  std::size_t end = 0, used = 0;
  while (end < name.size()) {
    const std::size_t bytes = CharacterBytes(From(name, end));
    used += CharacterUnits(bytes, facts);
    if (used > units) break;
    end += bytes;
  }
  return end;
}

std::size_t ShortPrefixUnits(const FolderFacts& facts) {
  const std::size_t made = kShortTag.size() + kHashDigits + kOutputSuffix.size();
  return facts.name_limit > made ? facts.name_limit - made : 0;
}

}  // namespace

bool IsPageName(std::string_view name) noexcept { return LastExtension(name).starts_with(kPageExtension); }
bool IsStrayName(std::string_view name) noexcept { return LastExtension(name) == kStrayExtension; }

bool AppendFinalName(std::string_view name, PathText& out) noexcept {
  return out.Append(Part(name, 0, name.rfind('.'))) && out.Append(kPageExtension);
}

std::string_view PageOfOutput(std::string_view name) noexcept {
  const std::string_view page = Before(name, kOutputSuffix);
  return IsPageName(page) || IsStrayName(page) ? page : std::string_view();
}

std::string_view PageOfAside(std::string_view name) noexcept {
  const std::string_view page = Before(name, kAsideSuffix);
  return page.ends_with(kPageExtension) ? page : std::string_view();
}

std::size_t NameUnits(std::string_view name, const FolderFacts& facts) noexcept {
  std::size_t units = 0;
  for (std::size_t at = 0; at < name.size();) {
    const std::size_t bytes = CharacterBytes(From(name, at));
    units += CharacterUnits(bytes, facts);
    at += bytes;
  }
  return units;
}

bool NeedsShortNames(std::string_view page, const FolderFacts& facts) noexcept {
  return NameUnits(page, facts) + kOutputSuffix.size() > facts.name_limit;
}

bool AppendOutputName(std::string_view page, const FolderFacts& facts, PathText& out) noexcept {
  if (!NeedsShortNames(page, facts)) return out.Append(page) && out.Append(kOutputSuffix);
  return out.Append(Part(page, 0, PrefixBytes(page, ShortPrefixUnits(facts), facts))) && out.Append(kShortTag) &&
         AppendHash(page, out) && out.Append(kOutputSuffix);
}

bool AppendMarkerName(std::string_view page, const FolderFacts& facts, PathText& out) noexcept {
  return out.Append('~') && AppendHash(page, out) && out.Append(kMarkerInfix) &&
         out.Append(From(page, PrefixBytes(page, ShortPrefixUnits(facts), facts)));
}

bool MayGoAside(std::string_view page, const FolderFacts& facts) noexcept {
  return !facts.frees_names_at_once && page.ends_with(kPageExtension) && !NeedsShortNames(page, facts);
}

bool AppendAsideName(std::string_view page, PathText& out) noexcept {
  return out.Append(page) && out.Append(kAsideSuffix);
}

bool ShortOutputParts(std::string_view name, std::string_view* prefix, std::string_view* hash) noexcept {
  const std::string_view stem = Before(name, kOutputSuffix);
  const std::size_t tag = stem.size() >= kShortTag.size() + kHashDigits ? stem.size() - kHashDigits - kShortTag.size() : 0;
  if (stem.empty() || tag == 0 || Part(stem, tag, kShortTag.size()) != kShortTag) return false;
  *prefix = Part(stem, 0, tag);
  *hash = From(stem, tag + kShortTag.size());
  return IsHash(*hash);
}

bool MarkerParts(std::string_view name, std::string_view* hash, std::string_view* rest) noexcept {
  if (!name.starts_with('~') || Part(name, 1 + kHashDigits, kMarkerInfix.size()) != kMarkerInfix) return false;
  *hash = Part(name, 1, kHashDigits);
  *rest = From(name, 1 + kHashDigits + kMarkerInfix.size());
  return IsHash(*hash) && !rest->empty();
}

}  // namespace setupext
