// The Win32 layer's text conversions against the system's UTF-8 converter, round trips with the
// unpaired surrogates Windows names may hold, and the extended path forms, local and on a share.
#include <windows.h>

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "platform/win32/wide_text.h"

namespace setupext::win32 {
namespace {

TEST(WideText, RandomTextConvertsAsTheSystemDoesAndComesBackWhole) {
  // Code points of each class: ASCII, two-, three- and four-byte UTF-8, an unpaired surrogate.
  const unsigned low[] = {0x01, 0x80, 0x800, 0x10000, 0xD800}, high[] = {0x7F, 0x7FF, 0xFFFF, 0x10FFFF, 0xDFFF};
  std::mt19937 random(5);
  for (int round = 0; round < 3000; ++round) {
    std::wstring text;
    bool unpaired = false;
    for (int n = 1 + random() % 12; n > 0; --n) {
      const unsigned kind = random() % 5, code = low[kind] + random() % (high[kind] - low[kind] + 1);
      const bool after_high = !text.empty() && text.back() >= 0xD800 && text.back() < 0xDC00;
      // Only the last class holds surrogates, and an unpaired one stays unpaired.
      if ((kind != 4 && code >= 0xD800 && code <= 0xDFFF) || (kind == 4 && code >= 0xDC00 && after_high)) continue;
      unpaired |= kind == 4;
      if (code < 0x10000) text += static_cast<wchar_t>(code);
      else text += {static_cast<wchar_t>(0xD800 | ((code - 0x10000) >> 10)), static_cast<wchar_t>(0xDC00 | ((code - 0x10000) & 0x3FF))};
    }
    PathText utf8;
    ASSERT_TRUE(AppendUtf8FromWide(text, utf8));
    std::string system(text.size() * 4 + 1, '\0');
    system.resize(std::max(0, WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), system.data(),
                                                  static_cast<int>(system.size()), nullptr, nullptr)));
    if (!unpaired) { EXPECT_EQ(std::string(utf8.view()), system) << round; }
    WideText back;
    ASSERT_TRUE(AppendWideFromUtf8(utf8.view(), back));
    EXPECT_TRUE(back.view() == text) << round;
  }
}

TEST(WideText, ExtendedPathsLocalAndOnAShareAndBack) {
  const struct { const char* path; const wchar_t* extended; } cases[] = {
      {"C:\\t\\a.pag", L"\\\\?\\C:\\t\\a.pag"}, {"\\\\server\\share\\t\\a.pag", L"\\\\?\\UNC\\server\\share\\t\\a.pag"},
      {"\\\\?\\C:\\t\\con.pag", L"\\\\?\\C:\\t\\con.pag"}, {"C:\\\xE6\x97\xA5\xF0\x9F\x98\x80", L"\\\\?\\C:\\\x65E5\xD83D\xDE00"}};
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
