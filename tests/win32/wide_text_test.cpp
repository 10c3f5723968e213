// The Win32 layer's text conversions against the system's own UTF-8 converter: random text
// of every UTF-8 length class and of surrogate pairs, round trips with unpaired surrogates
// (which Windows names may hold), and the extended path forms, local and on a share.
#include <windows.h>

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "platform/win32/wide_text.h"

namespace setupext::win32 {
namespace {

// A code point of the class: ASCII, two-, three- and four-byte UTF-8, or an unpaired surrogate.
unsigned CodeOfClass(int kind, std::mt19937& random) {
  const unsigned low[] = {0x01, 0x80, 0x800, 0x10000, 0xD800};
  const unsigned high[] = {0x7F, 0x7FF, 0xFFFF, 0x10FFFF, 0xDFFF};
  for (;;) {
    const unsigned code = low[kind] + random() % (high[kind] - low[kind] + 1);
    if (kind == 4 || code < 0xD800 || code > 0xDFFF) return code;
  }
}

void AppendUnits(std::wstring& text, unsigned code) {
  if (code < 0x10000) {
    text += static_cast<wchar_t>(code);
  } else {
    text += static_cast<wchar_t>(0xD800 | ((code - 0x10000) >> 10));
    text += static_cast<wchar_t>(0xDC00 | ((code - 0x10000) & 0x3FF));
  }
}

// The system's UTF-8 for well-formed text.
std::string SystemUtf8(const std::wstring& text) {
  std::string bytes(text.size() * 4 + 1, '\0');
  const int made = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(),
                                       static_cast<int>(bytes.size()), nullptr, nullptr);
  bytes.resize(made > 0 ? static_cast<std::size_t>(made) : 0);
  return bytes;
}

TEST(WideText, RandomTextConvertsAsTheSystemDoesAndComesBackWhole) {
  std::mt19937 random(5);
  for (int round = 0; round < 3000; ++round) {
    std::wstring text;
    bool unpaired = false;
    for (int n = 1 + random() % 12; n > 0; --n) {
      const int kind = static_cast<int>(random() % 5);
      const unsigned code = CodeOfClass(kind, random);
      // An unpaired surrogate stays unpaired: never put a low one after a high one.
      if (kind == 4 && !text.empty() && text.back() >= 0xD800 && text.back() < 0xDC00 && code >= 0xDC00) continue;
      if (kind != 4 && code >= 0xDC00 && code < 0xE000 && !text.empty() && text.back() >= 0xD800 && text.back() < 0xDC00)
        continue;
      unpaired |= kind == 4;
      AppendUnits(text, code);
    }
    PathText utf8;
    ASSERT_TRUE(AppendUtf8FromWide(text, utf8));
    if (!unpaired) {
      EXPECT_EQ(std::string(utf8.view()), SystemUtf8(text)) << round;
    }
    WideText back;
    ASSERT_TRUE(AppendWideFromUtf8(utf8.view(), back));
    EXPECT_TRUE(back.view() == text) << round;
  }
}

TEST(WideText, ExtendedPathsLocalAndOnAShareAndBack) {
  const struct {
    const char* path;
    const wchar_t* extended;
  } cases[] = {
      {"C:\\t\\a.pag", L"\\\\?\\C:\\t\\a.pag"},
      {"\\\\server\\share\\t\\a.pag", L"\\\\?\\UNC\\server\\share\\t\\a.pag"},
      {"\\\\?\\C:\\t\\con.pag", L"\\\\?\\C:\\t\\con.pag"},
      {"C:\\\xE6\x97\xA5\xF0\x9F\x98\x80", L"\\\\?\\C:\\\x65E5\xD83D\xDE00"},
  };
  for (const auto& c : cases) {
    WideText extended;
    ASSERT_TRUE(ExtendedPath(c.path, extended)) << c.path;
    EXPECT_TRUE(extended.view() == std::wstring_view(c.extended)) << c.path;
    PathText plain;
    ASSERT_TRUE(AppendPlainPath(extended.view(), plain)) << c.path;
    const std::string_view path = c.path;
    EXPECT_EQ(plain.view(), path.starts_with("\\\\?\\") ? path.substr(4) : path) << c.path;
  }
}

}  // namespace
}  // namespace setupext::win32
