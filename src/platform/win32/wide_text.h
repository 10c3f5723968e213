// Text conversions of the Win32 file layer: the layer's UTF-8 paths to the wide paths the
// system takes, and back, in fixed buffers. Unpaired surrogates, which Windows names may hold,
// come through both ways as their three-byte forms.
#pragma once

#include <cstddef>
#include <string_view>

#include "platform/buffers.h"

namespace setupext::win32 {

// Wide text up to the longest path the module builds, with the "\\?\UNC\" prefix and room
// to spare. An append that does not fit fails.
class WideText {
 public:
  static constexpr std::size_t kCapacity = 1100;
  WideText() noexcept { text_[0] = L'\0'; }
  const wchar_t* c_str() const noexcept { return text_; }
  wchar_t* data() noexcept { return text_; }
  std::wstring_view view() const noexcept { return {text_, size_}; }
  std::size_t size() const noexcept { return size_; }
  [[nodiscard]] bool Append(wchar_t unit) noexcept {
    if (size_ + 1 >= kCapacity) return false;
    text_[size_++] = unit;
    text_[size_] = L'\0';
    return true;
  }
  [[nodiscard]] bool Append(std::wstring_view text) noexcept;
  void SetSize(std::size_t size) noexcept {
    size_ = size < kCapacity ? size : kCapacity - 1;
    text_[size_] = L'\0';
  }
  void Clear() noexcept { SetSize(0); }

 private:
  std::size_t size_ = 0;
  wchar_t text_[kCapacity];
};

[[nodiscard]] bool AppendWideFromUtf8(std::string_view text, WideText& out) noexcept;
template <typename Out>
[[nodiscard]] bool AppendUtf8FromWide(std::wstring_view text, Out& out) noexcept;

// The absolute path in the form that lifts the MAX_PATH limit: "\\?\C:\..." or
// "\\?\UNC\server\share\...". Other forms ("\\?\...", "\\.\...") stay as they are.
[[nodiscard]] bool ExtendedPath(std::string_view path, WideText& out) noexcept;
// The reverse: the path as the layer keeps it, without the prefix, appended in UTF-8.
[[nodiscard]] bool AppendPlainPath(std::wstring_view extended, PathText& out) noexcept;

// Whether a file whose name below its volume the system gives as `name` ("\dir\a.pag") is
// the one `extended` names, not one reached through a link on the way. Compared without case:
// the system gives the names as stored, the path may spell them otherwise.
bool ReachedByThisPath(std::wstring_view name, std::wstring_view extended) noexcept;

// Host text in the ANSI code page; false when a byte sequence is not valid there or the
// text does not fit.
[[nodiscard]] bool WideFromAnsi(std::string_view text, WideText& out) noexcept;

// The UTF-8 bytes of the character at text[*at] (a surrogate pair taken whole), and *at moved
// past it: at most four.
std::size_t Utf8At(std::wstring_view text, std::size_t* at, char (&bytes)[4]) noexcept;

template <typename Out>
bool AppendUtf8FromWide(std::wstring_view text, Out& out) noexcept {
  for (std::size_t i = 0; i < text.size();) {
    char bytes[4];
    const std::size_t length = Utf8At(text, &i, bytes);
    if (!out.Append(std::string_view(bytes, length))) return false;
  }
  return true;
}

}  // namespace setupext::win32
