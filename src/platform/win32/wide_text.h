// Text conversions of the Win32 file layer: the layer's UTF-8 paths to the wide paths the
// system takes, and back. Unpaired surrogates, which Windows names may hold, come through both
// ways as their three-byte forms.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace setupext::win32 {

std::wstring WideFromUtf8(std::string_view text);
std::string Utf8FromWide(std::wstring_view text);

// Host text in the ANSI code page; nothing when a byte sequence is not valid there.
std::optional<std::wstring> WideFromAnsi(std::string_view text);

// The absolute path in the form that lifts the MAX_PATH limit: "\\?\C:\..." or
// "\\?\UNC\server\share\...". Other forms ("\\?\...", "\\.\...") stay as they are.
std::wstring ExtendedPath(std::wstring_view absolute);
// The reverse: the path as the layer keeps it, without the prefix.
std::wstring PlainPath(std::wstring_view extended);

// ExtendedPath(WideFromUtf8(path)) in a buffer of its own: no memory is taken, so a move that
// was planned can still be made when memory has run out. Paths too long for it are not ok().
class FixedExtendedPath {
 public:
  explicit FixedExtendedPath(std::string_view path);
  bool ok() const { return ok_; }
  const wchar_t* c_str() const { return text_; }
  std::wstring_view view() const { return {text_, size_}; }

 private:
  static constexpr std::size_t kCapacity = 2048;
  wchar_t text_[kCapacity];
  std::size_t size_ = 0;
  bool ok_ = true;
};

}  // namespace setupext::win32
