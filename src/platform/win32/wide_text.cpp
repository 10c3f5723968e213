#include "platform/win32/wide_text.h"

#include <windows.h>

namespace setupext::win32 {
namespace {

constexpr std::wstring_view kExtended = L"\\\\?\\";
constexpr std::wstring_view kExtendedUnc = L"\\\\?\\UNC\\";

void AppendUtf8(std::string& out, unsigned code) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code >> 18));
    out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

template <typename Out>
void AppendUtf16(Out& out, unsigned code) {
  if (code < 0x10000) {
    out += static_cast<wchar_t>(code);
  } else {
    code -= 0x10000;
    out += static_cast<wchar_t>(0xD800 | (code >> 10));
    out += static_cast<wchar_t>(0xDC00 | (code & 0x3FF));
  }
}

// The layer's own text only ever comes from Utf8FromWide and ASCII, so it is well formed; a
// stray byte still comes through as its own unit rather than being dropped.
template <typename Out>
void DecodeUtf8(std::string_view text, Out& out) {
  for (std::size_t i = 0; i < text.size();) {
    const unsigned lead = static_cast<unsigned char>(text[i]);
    const std::size_t length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    if (length == 1 || i + length > text.size()) {
      out += static_cast<wchar_t>(lead);
      ++i;
      continue;
    }
    unsigned code = lead & (0x7F >> length);
    for (std::size_t k = 1; k < length; ++k) code = (code << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
    AppendUtf16(out, code);
    i += length;
  }
}

// Collects units into a fixed buffer, remembering whether any did not fit.
struct FixedSink {
  wchar_t* text;
  std::size_t capacity;
  std::size_t size = 0;
  bool overflow = false;
  FixedSink& operator+=(wchar_t unit) {
    if (size + 1 < capacity) text[size++] = unit;
    else overflow = true;
    return *this;
  }
};

}  // namespace

std::string Utf8FromWide(std::wstring_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    unsigned code = static_cast<unsigned>(text[i]);
    const bool pair = code >= 0xD800 && code < 0xDC00 && i + 1 < text.size() &&
                      static_cast<unsigned>(text[i + 1]) >= 0xDC00 && static_cast<unsigned>(text[i + 1]) < 0xE000;
    if (pair) code = 0x10000 + ((code - 0xD800) << 10) + (static_cast<unsigned>(text[++i]) - 0xDC00);
    AppendUtf8(out, code);
  }
  return out;
}

std::wstring WideFromUtf8(std::string_view text) {
  std::wstring out;
  out.reserve(text.size());
  DecodeUtf8(text, out);
  return out;
}

FixedExtendedPath::FixedExtendedPath(std::string_view path) {
  FixedSink sink{text_, kCapacity};
  std::string_view prefix = "\\\\?\\";
  if (path.starts_with("\\\\?\\") || path.starts_with("\\\\.\\")) {
    prefix = {};
  } else if (path.starts_with("\\\\")) {
    prefix = "\\\\?\\UNC\\";
    path.remove_prefix(2);
  }
  for (const char c : prefix) sink += static_cast<wchar_t>(c);
  DecodeUtf8(path, sink);
  text_[sink.size] = L'\0';
  size_ = sink.size;
  ok_ = !sink.overflow;
}

std::optional<std::wstring> WideFromAnsi(std::string_view text) {
  if (text.empty()) return std::wstring();
  const int size = static_cast<int>(text.size());
  const int units = MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text.data(), size, nullptr, 0);
  if (units <= 0) return std::nullopt;
  std::wstring wide(static_cast<std::size_t>(units), L'\0');
  if (MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text.data(), size, wide.data(), units) != units)
    return std::nullopt;
  return wide;
}

std::wstring ExtendedPath(std::wstring_view absolute) {
  if (absolute.starts_with(L"\\\\?\\") || absolute.starts_with(L"\\\\.\\")) return std::wstring(absolute);
  if (absolute.starts_with(L"\\\\")) return std::wstring(kExtendedUnc).append(absolute.substr(2));
  return std::wstring(kExtended).append(absolute);
}

std::wstring PlainPath(std::wstring_view extended) {
  if (extended.starts_with(kExtendedUnc)) return L"\\\\" + std::wstring(extended.substr(kExtendedUnc.size()));
  if (extended.starts_with(kExtended)) return std::wstring(extended.substr(kExtended.size()));
  return std::wstring(extended);
}

}  // namespace setupext::win32
