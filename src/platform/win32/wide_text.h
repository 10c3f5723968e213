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

}  // namespace setupext::win32
