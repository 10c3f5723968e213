// Names as Windows has them, through the real module: pages named in any script, reserved
// device names, paths past MAX_PATH, and roots named in the host's code page. Files are made
// and read through wide "\\?\" paths, so the test sees exactly what is on the disk.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <string>

#include "support/module_under_test.h"
#include "support/temp_tree.h"

namespace setupext {
namespace {

const std::string kPage = "PAGE {\r\nHome\r\nInput\r\n";
const std::string kFrench = "PAGE {\r\nAccueil\r\nChamp\r\n";

std::wstring Extended(const std::wstring& path) { return L"\\\\?\\" + path; }

void WriteWide(const std::wstring& path, const std::string& bytes) {
  for (std::size_t slash = path.find(L'\\', 3); slash != std::wstring::npos; slash = path.find(L'\\', slash + 1))
    CreateDirectoryW(Extended(path.substr(0, slash)).c_str(), nullptr);
  HANDLE file = CreateFileW(Extended(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE) << "cannot make the page";
  DWORD put = 0;
  WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &put, nullptr);
  CloseHandle(file);
}

// Relative wide path -> bytes of every file below the folder.
std::map<std::wstring, std::string> Snapshot(const std::wstring& folder, const std::wstring& prefix = L"") {
  std::map<std::wstring, std::string> files;
  WIN32_FIND_DATAW data;
  HANDLE search = FindFirstFileW(Extended(folder + L"\\*").c_str(), &data);
  if (search == INVALID_HANDLE_VALUE) return files;
  do {
    const std::wstring name = data.cFileName;
    if (name == L"." || name == L"..") continue;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      files.merge(Snapshot(folder + L"\\" + name, prefix + name + L"\\"));
      continue;
    }
    HANDLE file = CreateFileW(Extended(folder + L"\\" + name).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    std::string bytes(data.nFileSizeLow, '\0');
    DWORD got = 0;
    ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr);
    CloseHandle(file);
    files[prefix + name] = bytes.substr(0, got);
  } while (FindNextFileW(search, &data));
  FindClose(search);
  return files;
}

// The tree's own removal would open "con.pag" as the console: it goes through "\\?\" here.
void RemoveWide(const std::wstring& folder) {
  WIN32_FIND_DATAW data;
  HANDLE search = FindFirstFileW(Extended(folder + L"\\*").c_str(), &data);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = data.cFileName;
      if (name == L"." || name == L"..") continue;
      if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) RemoveWide(folder + L"\\" + name);
      else DeleteFileW(Extended(folder + L"\\" + name).c_str());
    } while (FindNextFileW(search, &data));
    FindClose(search);
  }
  RemoveDirectoryW(Extended(folder).c_str());
}

std::string Ansi(const std::wstring& text) {
  BOOL lossy = FALSE;
  char buffer[4096];
  const int length = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.c_str(), static_cast<int>(text.size()),
                                         buffer, sizeof buffer, nullptr, &lossy);
  EXPECT_FALSE(lossy) << "not in the code page";
  return std::string(buffer, static_cast<std::size_t>(length > 0 ? length : 0));
}

void Localise(const std::string& ansi_root) { testing::LocaliseThroughModule(ansi_root); }

class TemplateNamesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const char* code_page = std::getenv("SETUPEXT_EXPECT_ACP")) {
      ASSERT_EQ(GetACP(), std::strtoul(code_page, nullptr, 10)) << "the run is not in the code page it names";
    }
    base_ = tree_.root().wstring();
  }
  void TearDown() override { RemoveWide(base_); }
  testing::TempTree tree_;
  std::wstring base_;
};

TEST_F(TemplateNamesTest, PagesInAnyScriptAndReservedNamesAreLocalisedUnderTheirOwnNames) {
  const std::wstring deep = std::wstring(120, L'd') + L"\\" + std::wstring(120, L'e') + L"\\" +
                            std::wstring(120, L'f') + L"\\" + std::wstring(120, L'g') + L"\\" + std::wstring(120, L'h');
  const std::wstring pages[] = {
      L"\x0441\x0442\x0440\x0430\x043D\x0438\x0446\x0430.pag",  // Cyrillic
      L"\x9801\x9762.pag",                                        // CJK
      L"\x0101.pag", L"a.pag",                                    // 'a' with macron beside plain 'a'
      L"..\xFF3C..\xFF3Coutside\xFF3Cvictim.pag",                 // fullwidth backslashes
      L"con.pag", L"nul.pag", L"aux.pag",
      deep + L"\\deep.pag",
  };
  // With a console, the device "con" would be opened and read, waiting for ever.
  AllocConsole();
  const std::wstring root = base_ + L"\\one\\two";
  std::map<std::wstring, std::string> expected;
  for (const std::wstring& page : pages) {
    WriteWide(root + L"\\" + page, kPage);
    expected[page] = kFrench;
  }
  WriteWide(base_ + L"\\outside\\victim.pag", kPage);
  ASSERT_GT(root.size() + deep.size(), 600u);
  ASSERT_EQ(Snapshot(root).size(), std::size(pages)) << "the pages were not all made";

  Localise(Ansi(root));

  EXPECT_EQ(Snapshot(root), expected);
  EXPECT_EQ(Snapshot(base_ + L"\\outside"), (std::map<std::wstring, std::string>{{L"victim.pag", kPage}}));
}

// A root longer than MAX_PATH: where the system cannot give its final path (Wine fails the
// query past about 260 characters), the folder is taken as named when no folder on the way is
// a link.
TEST_F(TemplateNamesTest, ARootLongerThanMaxPathIsWalked) {
  const std::wstring root = base_ + L"\\" + std::wstring(120, L'r') + L"\\" + std::wstring(120, L's') + L"\\" +
                            std::wstring(120, L't');
  ASSERT_GT(root.size(), 300u);
  WriteWide(root + L"\\a.pag", kPage);
  ASSERT_EQ(Snapshot(root).size(), 1u) << "the page was not made";

  Localise(Ansi(root));

  EXPECT_EQ(Snapshot(root), (std::map<std::wstring, std::string>{{L"a.pag", kFrench}}));
}

// A root named in the host's code page; in code page 932 its last character's second byte is
// 0x5C, the byte of a backslash, which must not be taken for a separator.
TEST_F(TemplateNamesTest, ARootNamedInTheHostsCodePageIsTheRootItself) {
  const std::map<UINT, std::wstring> names = {
      {1252, L"caf\xE9"}, {1251, L"\x0436\x0443\x0440"}, {932, L"\x8868\x30BD"}};
  const auto name = names.find(GetACP());
  ASSERT_NE(name, names.end()) << "no root name for code page " << GetACP();
  const std::wstring root = base_ + L"\\" + name->second;
  WriteWide(root + L"\\a.pag", kPage);
  WriteWide(base_ + L"\\beside.pag", kPage);

  Localise(Ansi(root));

  EXPECT_EQ(Snapshot(root), (std::map<std::wstring, std::string>{{L"a.pag", kFrench}}));
  EXPECT_EQ(Snapshot(base_).at(L"beside.pag"), kPage) << "the walk listed the parent folder";
}

}  // namespace
}  // namespace setupext
