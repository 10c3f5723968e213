// The Win32 file layer's replacement steps on real files: the deletion through a handle where
// the system refuses immediate deletion (as Wine and Windows before 10 do), read-only files,
// and renames that never replace.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "platform/files.h"
#include "platform/win32/handles.h"
#include "platform/win32/wide_text.h"
#include "read_only_files.h"
#include "support/folder_at.h"
#include "support/module_under_test.h"
#include "support/outcomes.h"
#include "support/temp_tree.h"
#include "template/template_tree.h"

namespace setupext {
namespace {

const std::string kPage = "PAGE {\r\nHome\r\n";
using namespace std::string_literals;
using UniqueFile = win32::UniqueKernelHandle;
// Under Wine a Linux program runs by its Linux path, with no handle to wait on: the script ($1 the folder's
// Linux path, $2 a file beside it) leaves "$2.done" once it has run. False where there is no Linux side.
bool OnLinuxSide(const std::filesystem::path& folder, const std::string& script) {
  const auto LinuxPath = [](const std::wstring& path) {
    const auto unix_name = reinterpret_cast<char*(CDECL*)(const wchar_t*)>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
    char* name = unix_name ? unix_name(path.c_str()) : nullptr;
    const std::string text = name ? name : "";
    HeapFree(GetProcessHeap(), 0, name);
    return std::wstring(text.begin(), text.end());
  };
  const std::wstring base = folder.wstring(), done = base + L".out.done";
  std::ofstream(std::filesystem::path(base + L".sh"), std::ios::binary) << "set -e\n" << script << "\nrm -f \"$0\"\necho >\"$2.done\"\n";
  STARTUPINFOW start{};
  start.cb = sizeof start;
  PROCESS_INFORMATION process{};
  if (LinuxPath(base).empty() || !CreateProcessW(nullptr, (L"/bin/sh " + LinuxPath(base + L".sh") + L" " + LinuxPath(base) + L" " + LinuxPath(base + L".out")).data(),
                                                 nullptr, nullptr, FALSE, 0, nullptr, nullptr, &start, &process)) return false;
  const UniqueFile thread(process.hThread), owner(process.hProcess);
  for (int tries = 0; tries < 2000 && GetFileAttributesW(done.c_str()) == INVALID_FILE_ATTRIBUTES; ++tries) Sleep(10);
  return DeleteFileW(done.c_str()) != 0;
}

class FileLayerTest : public ::testing::Test {
 protected:
  std::string Path(const std::string& name) const { return tree_.root_text() + "\\" + name; }
  testing::FolderAt At(const std::string& name) { return testing::FolderAt(files_, Path(name)); }
  Opened OpenPage(const std::string& name) {
    std::uint64_t size = 0;
    Opened page = files_.OpenPage(At(name), Path(name), &size);
    EXPECT_EQ(page.result, FileResult::kDone) << name;
    EXPECT_EQ(size, kPage.size()) << name;
    return page;
  }
  void SetReadOnly(const std::string& name, bool read_only) {
    ASSERT_TRUE(SetFileAttributesA(Path(name).c_str(), read_only ? FILE_ATTRIBUTE_READONLY : FILE_ATTRIBUTE_NORMAL));
  }

  Files& files_ = SystemFiles();
  testing::TempTree tree_;
};

// A page's name comes free at once even where the volume keeps a deleted name a reader holds: it moves aside.
TEST_F(FileLayerTest, APageDeletedThroughItsHandleFreesItsName) {
  for (const bool held : {false, true}) {
    tree_.Write("a.pag", kPage);
    Opened page = OpenPage("a.pag");
    const UniqueFile reader(held ? CreateFileA(Path("a.pag").c_str(), GENERIC_READ, 7, nullptr, OPEN_EXISTING, 0, nullptr) : INVALID_HANDLE_VALUE);
    ASSERT_EQ(reader.is_open(), held);
    EXPECT_EQ(files_.DeletePage(std::move(page.file), page.stamp, At("a.pag"), Path("a.pag"), Path("a.pag.setupext-old")), PageDeletion::kGone);
    EXPECT_EQ(GetFileAttributesA(Path("a.pag").c_str()), INVALID_FILE_ATTRIBUTES) << "the name is still held: " << held;
    EXPECT_TRUE(held || tree_.Snapshot().empty());
  }
}

// A read-only page, or leftover, goes all the same: its French version carries the attribute.
TEST_F(FileLayerTest, ReadOnlyFilesAreDeletedThroughTheirHandles) {
  tree_.Write("ro.pag", kPage);
  tree_.Write("ro.pag.setupext-new", kPage);
  SetReadOnly("ro.pag", true);
  SetReadOnly("ro.pag.setupext-new", true);
  Opened page = OpenPage("ro.pag");
  EXPECT_EQ(page.stamp.attributes & FILE_ATTRIBUTE_READONLY, static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
  EXPECT_EQ(files_.DeletePage(std::move(page.file), page.stamp, At("ro.pag"), Path("ro.pag"), Path("ro.pag.setupext-old")), PageDeletion::kGone);
  EXPECT_EQ(files_.Remove(At("ro.pag.setupext-new"), Path("ro.pag.setupext-new")), FileResult::kDone);
  EXPECT_TRUE(tree_.Snapshot().empty());
}

TEST_F(FileLayerTest, ANewFileIsRenamedThroughItsHandleNeverOverAnother) {
  tree_.Write("b.pag", "other");
  Opened out = files_.CreateNew(At("b.pag.setupext-new"), Path("b.pag.setupext-new"));
  ASSERT_EQ(out.result, FileResult::kDone);
  ASSERT_TRUE(files_.Write(out.file.get().native, "new", 3));
  // Whoever opens it must let its rename happen: sharing no deletion is refused.
  HANDLE other = CreateFileA(Path("b.pag.setupext-new").c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_EQ(other, INVALID_HANDLE_VALUE);
  if (other != INVALID_HANDLE_VALUE) CloseHandle(other);
  HANDLE reader = CreateFileA(Path("b.pag.setupext-new").c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(reader, INVALID_HANDLE_VALUE);
  const NativeFile native = out.file.get().native;
  EXPECT_EQ(files_.RenameNew(native, At("b.pag.setupext-new"), Path("b.pag.setupext-new"), Path("b.pag")), FileResult::kExists);
  EXPECT_EQ(files_.RenameNew(native, At("b.pag.setupext-new"), Path("b.pag.setupext-new"), Path("c.pag")), FileResult::kDone)
      << "renamed while another program reads it";
  CloseHandle(reader);
  out.file.reset();
  EXPECT_EQ(files_.MoveNoReplace(At("b.pag"), Path("b.pag"), Path("c.pag")), FileResult::kExists) << "a move never replaces either";
  EXPECT_EQ(tree_.Snapshot(), (testing::TreeSnapshot{{"b.pag", "other"}, {"c.pag", "new"}}));
}

// While a page is worked on, it and its output let other programs read them, nothing more:
// no writer can change the text being translated, no one can delete or rename either.
TEST_F(FileLayerTest, ThePageAndItsOutputLetOthersOnlyRead) {
  tree_.Write("e.pag", kPage);
  Opened page = OpenPage("e.pag");
  Opened out = files_.CreateNew(At("e.pag.setupext-new"), Path("e.pag.setupext-new"));
  ASSERT_EQ(out.result, FileResult::kDone);
  const struct {
    const char* name;
    DWORD access;
    bool allowed;
  } cases[] = {
      {"e.pag", GENERIC_READ, true},
      {"e.pag", GENERIC_WRITE, false},
      {"e.pag", DELETE, false},
      {"e.pag.setupext-new", GENERIC_WRITE, false},
      {"e.pag.setupext-new", DELETE, false},
  };
  for (const auto& c : cases) {
    HANDLE other = CreateFileA(Path(c.name).c_str(), c.access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(other != INVALID_HANDLE_VALUE, c.allowed) << c.name << " access " << std::hex << c.access;
    if (other != INVALID_HANDLE_VALUE) CloseHandle(other);
  }
}

TEST_F(FileLayerTest, ANewFileDeletedThroughItsHandleIsGone) {
  Opened out = files_.CreateNew(At("d.pag.setupext-new"), Path("d.pag.setupext-new"));
  ASSERT_EQ(out.result, FileResult::kDone);
  EXPECT_EQ(files_.CreateNew(At("d.pag.setupext-new"), Path("d.pag.setupext-new")).result, FileResult::kExists);
  EXPECT_TRUE(files_.DeleteNew(std::move(out.file), At("d.pag.setupext-new"), Path("d.pag.setupext-new")));
  EXPECT_TRUE(tree_.Snapshot().empty());
}

// Names of 2-, 3- and 4-byte characters at the unit limit, and where only the short output name fits, end French as explained.
TEST_F(FileLayerTest, LongNamesOfWideCharactersAreLocalised) {
  const FolderFacts facts = At("x").facts();
  testing::TreeSnapshot expected;
  for (const std::u8string character : {u8"\u00E9", u8"\u20AC", u8"\U0001D11E"}) {
    const std::size_t units = facts.name_unit == NameUnit::kBytes ? character.size() : character.size() == 4 ? 2 : 1;
    for (const std::size_t count : {(facts.name_limit - 4) / units, (facts.name_limit - 4 - kOutputSuffix.size()) / units + 1}) {
      std::u8string name;
      for (std::size_t i = 0; i < count; ++i) name += character;
      std::ofstream(tree_.root() / std::filesystem::path(name += u8".pag"), std::ios::binary) << kPage;
      expected[std::string(name.begin(), name.end())] = "PAGE {\r\nAccueil\r\n";
    }
  }
  testing::Outcomes explained, done;
  ReadOnlyFiles read_only(files_);
  (void)LocaliseTree(read_only, tree_.root_text(), nullptr, &explained);
  (void)LocaliseTree(files_, tree_.root_text(), nullptr, &done);
  EXPECT_EQ(tree_.Snapshot(), expected);
  EXPECT_EQ(explained.seen, done.seen);
}

TEST_F(FileLayerTest, FolderFactsAreWhatTheFolderDoesAndMayCreateAndMayRemoveAskWithoutDoing) {
  for (const char* name : {"free.pag", "held.pag", "ro.pag"}) tree_.Write(name, kPage);
  SetReadOnly("ro.pag", true);
  const UniqueFile holder(CreateFileA(Path("held.pag").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
  EXPECT_EQ(files_.MayCreate(At("x"), Path("new.pag")), Permission::kYes);
  const std::pair<const char*, Permission> removals[] = {  // the layer clears read-only; a held file may not come free
      {"free.pag", Permission::kYes}, {"ro.pag", Permission::kYes}, {"held.pag", Permission::kUnknown}, {"missing.pag", Permission::kUnknown}};
  for (const auto& [name, may] : removals) EXPECT_EQ(files_.MayRemove(At(name), Path(name)), may) << name;
  EXPECT_EQ(tree_.Snapshot().size(), 3u);
  const auto make = [&](const wchar_t* name) { return UniqueFile(CreateFileW((tree_.root() / name).c_str(), GENERIC_WRITE | DELETE, 1, nullptr, CREATE_NEW, 0, nullptr)); };
  EXPECT_EQ(At("x").facts().case_sensitive, make(L"FREE.PAG").is_open()) << "a name in other case";
  DWORD posix = 0x1 | 0x2;  // deleted at once, as POSIX deletes
  EXPECT_EQ(At("x").facts().frees_names_at_once, SetFileInformationByHandle(make(L"posix.pag").get(), static_cast<FILE_INFO_BY_HANDLE_CLASS>(21), &posix, sizeof posix) != 0);
}

// A share's file is named from the share or from the server; any other name is through a link.
TEST(ReachedByThisPath, ComparesTheNameBelowTheVolumeOrTheShare) {
  const wchar_t *a = L"\\d\\a.pag", *drive = L"\\\\?\\C:\\d\\a.pag", *share = L"\\\\?\\UNC\\srv\\share\\d\\a.pag";
  const struct { const wchar_t *name, *path; bool reached; } cases[] = {{a, drive, true}, {L"\\D\\A.PAG", drive, true},
      {a, L"C:\\d\\a.pag", true}, {a, share, true}, {L"\\SRV\\Share\\d\\a.pag", share, true}, {L"\\e\\a.pag", drive, false}, {L"", drive, false},
      {a, L"\\\\?\\C:", false}, {L"\\share\\d\\a.pag", share, false}, {L"\\other\\share\\d\\a.pag", share, false}, {L"srv\\share\\d\\a.pag", share, false},
      {a, L"\\\\?\\UNC\\srv\\share", false}, {a, L"\\\\?\\UNC\\srv", false}};
  for (const auto& c : cases) EXPECT_EQ(win32::ReachedByThisPath(c.name, c.path), c.reached) << c.name << " " << c.path;
}

// Under Wine, Linux-made names Wine cannot name back: one no UTF-8, and case twins Wine's lookups fold together.
TEST_F(FileLayerTest, NamesWineCannotCarryAreMarkedAndKeepTheirTextAndNameThroughTwoCalls) {
  if (!OnLinuxSide(tree_.root(), "cd \"$1\" && printf 'PAGE {\\r\\nHome\\r\\nlower\\r\\n' >a.pag && printf 'PAGE {\\r\\nHome\\r\\nUPPER\\r\\n' >A.pag &&\n"
                                 "printf 'PAGE {\\r\\nHome\\r\\n' | tee b.pag \"$(printf '\\303\\251.pag')\" >\"$(printf 'caf\\351.pag')\"\n"))
    GTEST_SKIP() << "no Linux side to make names Windows cannot (not under Wine)";
  Listing listing;
  ASSERT_EQ(files_.ListFolder(At("x"), tree_.root_text() + "\\", listing), ListResult::kDone);
  std::map<std::string, bool> carried;
  for (std::size_t i = 0; i < listing.size(); ++i) carried[std::string(listing.name(i))] = listing.carried(i);
  EXPECT_EQ(carried, (std::map<std::string, bool>{{"A.pag", false}, {"a.pag", false}, {"b.pag", true}, {"caf\xEF\xBF\xBD.pag", false}, {"\xC3\xA9.pag", true}}));
  const std::string expected = "A.pag\0PAGE {\r\nHome\r\nUPPER\r\n\0a.pag\0PAGE {\r\nHome\r\nlower\r\n\0b.pag\0PAGE {\r\nAccueil\r\n\0"
      "caf\xE9.pag\0PAGE {\r\nHome\r\n\0\xC3\xA9.pag\0PAGE {\r\nAccueil\r\n\0"s;  // the folder's files by Linux name, byte for byte
  for (int call = 1; call <= 2; ++call) {
    testing::LocaliseThroughModule(tree_.root_text());
    ASSERT_TRUE(OnLinuxSide(tree_.root(), "export LC_ALL=C; cd \"$1\" && for f in *; do printf '%s\\0' \"$f\"; cat -- \"$f\"; printf '\\0'; done >\"$2\""));
    EXPECT_EQ(testing::ReadFileBytes(tree_.root().wstring() + L".out"), expected) << "after call " << call;
  }
  DeleteFileW((tree_.root().wstring() + L".out").c_str());
}

}  // namespace
}  // namespace setupext
