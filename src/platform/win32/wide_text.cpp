#include "platform/win32/wide_text.h"

#include <windows.h>

namespace setupext::win32 {
namespace {

constexpr std::wstring_view kExtended = L"\\\\?\\";
constexpr std::wstring_view kExtendedUnc = L"\\\\?\\UNC\\";

bool AppendUtf16(WideText& out, unsigned code) {
  if (code < 0x10000) return out.Append(static_cast<wchar_t>(code));
  code -= 0x10000;
  return out.Append(static_cast<wchar_t>(0xD800 | (code >> 10))) && out.Append(static_cast<wchar_t>(0xDC00 | (code & 0x3FF)));
}

bool EqualIgnoringCase(std::wstring_view a, std::wstring_view b) {
  return CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(), static_cast<int>(b.size()), TRUE) ==
         CSTR_EQUAL;
}

}  // namespace

bool WideText::Append(std::wstring_view text) noexcept {
  for (const wchar_t unit : text) {
    if (!Append(unit)) return false;
  }
  return true;
}

std::size_t Utf8At(std::wstring_view text, std::size_t* at, char (&bytes)[4]) noexcept {
  std::size_t i = *at;
  unsigned code = static_cast<unsigned>(text[i]);
  const bool pair = code >= 0xD800 && code < 0xDC00 && i + 1 < text.size() &&
                    static_cast<unsigned>(text[i + 1]) >= 0xDC00 && static_cast<unsigned>(text[i + 1]) < 0xE000;
  if (pair) code = 0x10000 + ((code - 0xD800) << 10) + (static_cast<unsigned>(text[++i]) - 0xDC00);
  *at = i + 1;
  std::size_t length = 0;
  if (code < 0x80) {
    bytes[length++] = static_cast<char>(code);
  } else if (code < 0x800) {
    bytes[length++] = static_cast<char>(0xC0 | (code >> 6));
    bytes[length++] = static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    bytes[length++] = static_cast<char>(0xE0 | (code >> 12));
    bytes[length++] = static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    bytes[length++] = static_cast<char>(0x80 | (code & 0x3F));
  } else {
    bytes[length++] = static_cast<char>(0xF0 | (code >> 18));
    bytes[length++] = static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    bytes[length++] = static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    bytes[length++] = static_cast<char>(0x80 | (code & 0x3F));
  }
  return length;
}

// The layer's own text only ever comes from AppendUtf8FromWide and ASCII, so it is well
// formed; a stray byte still comes through as its own unit rather than being dropped.
bool AppendWideFromUtf8(std::string_view text, WideText& out) noexcept {
  for (std::size_t i = 0; i < text.size();) {
    const unsigned lead = static_cast<unsigned char>(text[i]);
    const std::size_t length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    if (length == 1 || i + length > text.size()) {
      if (!out.Append(static_cast<wchar_t>(lead))) return false;
      ++i;
      continue;
    }
    unsigned code = lead & (0x7F >> length);
    for (std::size_t k = 1; k < length; ++k) code = (code << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
    if (!AppendUtf16(out, code)) return false;
    i += length;
  }
  return true;
}

bool ExtendedPath(std::string_view path, WideText& out) noexcept {
  out.Clear();
  std::wstring_view prefix = kExtended;
  if (path.starts_with("\\\\?\\") || path.starts_with("\\\\.\\")) {
    prefix = {};
  } else if (path.starts_with("\\\\")) {
    prefix = kExtendedUnc;
    path.remove_prefix(2);
  }
  return out.Append(prefix) && AppendWideFromUtf8(path, out);
}

bool AppendPlainPath(std::wstring_view extended, PathText& out) noexcept {
  if (extended.starts_with(kExtendedUnc))
    return out.Append("\\\\") && AppendUtf8FromWide(From(extended, kExtendedUnc.size()), out);
  if (extended.starts_with(kExtended)) extended.remove_prefix(kExtended.size());
  return AppendUtf8FromWide(extended, out);
}

bool ReachedByThisPath(std::wstring_view name, std::wstring_view extended) noexcept {
  if (name.empty()) return false;
  std::wstring_view below = extended;
  if (below.starts_with(kExtendedUnc)) {
    // "server\share\rest": a share's files may be named from the server or from the share.
    below.remove_prefix(kExtendedUnc.size());
    const std::size_t share = below.find(L'\\');
    const std::size_t rest = share == std::wstring_view::npos ? share : below.find(L'\\', share + 1);
    if (rest == std::wstring_view::npos) return false;
    return EqualIgnoringCase(name, From(below, rest)) ||
           (name.front() == L'\\' && EqualIgnoringCase(From(name, 1), below));
  }
  if (below.starts_with(kExtended)) below.remove_prefix(kExtended.size());
  const std::size_t root = below.find(L'\\');
  if (root == std::wstring_view::npos) return false;
  return EqualIgnoringCase(name, From(below, root));
}

bool WideFromAnsi(std::string_view text, WideText& out) noexcept {
  out.Clear();
  if (text.empty()) return true;
  const int size = static_cast<int>(text.size());
  const int units = MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text.data(), size, nullptr, 0);
  if (units <= 0 || static_cast<std::size_t>(units) >= WideText::kCapacity) return false;
  if (MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text.data(), size, out.data(), units) != units) return false;
  out.SetSize(static_cast<std::size_t>(units));
  return true;
}

}  // namespace setupext::win32
