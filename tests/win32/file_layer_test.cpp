// The Win32 file layer's replacement steps on real files: the deletion through a handle where
// the system refuses immediate deletion (as Wine and Windows before 10 do), read-only files,
// and renames that never replace.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "platform/files.h"
#include "support/folder_at.h"
#include "support/temp_tree.h"

namespace setupext {
namespace {

const std::string kPage = "PAGE {\r\nHome\r\n";

class FileLayerTest : public ::testing::Test {
 protected:
  std::string Path(const std::string& name) const { return tree_.root_text() + "\\" + name; }
  Opened OpenPage(const std::string& name) {
    std::uint64_t size = 0;
    Opened page = files_.OpenPage(testing::FolderAt(files_, Path(name)), Path(name), &size);
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

TEST_F(FileLayerTest, APageDeletedThroughItsHandleFreesItsName) {
  tree_.Write("a.pag", kPage);
  Opened page = OpenPage("a.pag");
  EXPECT_EQ(files_.DeletePage(std::move(page.file), page.stamp, testing::FolderAt(files_, Path("a.pag")), Path("a.pag"), Path("a.pag.setupext-old")), PageDeletion::kGone);
  EXPECT_TRUE(tree_.Snapshot().empty());
}

// A read-only page, or leftover, goes all the same: its French version carries the attribute.
TEST_F(FileLayerTest, ReadOnlyFilesAreDeletedThroughTheirHandles) {
  tree_.Write("ro.pag", kPage);
  tree_.Write("ro.pag.setupext-new", kPage);
  SetReadOnly("ro.pag", true);
  SetReadOnly("ro.pag.setupext-new", true);
  Opened page = OpenPage("ro.pag");
  EXPECT_EQ(page.stamp.attributes & FILE_ATTRIBUTE_READONLY, static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
  EXPECT_EQ(files_.DeletePage(std::move(page.file), page.stamp, testing::FolderAt(files_, Path("ro.pag")), Path("ro.pag"), Path("ro.pag.setupext-old")), PageDeletion::kGone);
  EXPECT_EQ(files_.Remove(testing::FolderAt(files_, Path("ro.pag.setupext-new")), Path("ro.pag.setupext-new")), FileResult::kDone);
  EXPECT_TRUE(tree_.Snapshot().empty());
}

TEST_F(FileLayerTest, ANewFileIsRenamedThroughItsHandleNeverOverAnother) {
  tree_.Write("b.pag", "other");
  Opened out = files_.CreateNew(testing::FolderAt(files_, Path("b.pag.setupext-new")), Path("b.pag.setupext-new"));
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
  EXPECT_EQ(files_.RenameNew(native, testing::FolderAt(files_, Path("b.pag.setupext-new")), Path("b.pag.setupext-new"), Path("b.pag")), FileResult::kExists);
  EXPECT_EQ(files_.RenameNew(native, testing::FolderAt(files_, Path("b.pag.setupext-new")), Path("b.pag.setupext-new"), Path("c.pag")), FileResult::kDone)
      << "renamed while another program reads it";
  CloseHandle(reader);
  out.file.reset();
  EXPECT_EQ(files_.MoveNoReplace(testing::FolderAt(files_, Path("b.pag")), Path("b.pag"), Path("c.pag")), FileResult::kExists) << "a move never replaces either";
  EXPECT_EQ(tree_.Snapshot(), (testing::TreeSnapshot{{"b.pag", "other"}, {"c.pag", "new"}}));
}

// While a page is worked on, it and its output let other programs read them, nothing more:
// no writer can change the text being translated, no one can delete or rename either.
TEST_F(FileLayerTest, ThePageAndItsOutputLetOthersOnlyRead) {
  tree_.Write("e.pag", kPage);
  Opened page = OpenPage("e.pag");
  Opened out = files_.CreateNew(testing::FolderAt(files_, Path("e.pag.setupext-new")), Path("e.pag.setupext-new"));
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
  Opened out = files_.CreateNew(testing::FolderAt(files_, Path("d.pag.setupext-new")), Path("d.pag.setupext-new"));
  ASSERT_EQ(out.result, FileResult::kDone);
  EXPECT_EQ(files_.CreateNew(testing::FolderAt(files_, Path("d.pag.setupext-new")), Path("d.pag.setupext-new")).result, FileResult::kExists);
  EXPECT_TRUE(files_.DeleteNew(std::move(out.file), testing::FolderAt(files_, Path("d.pag.setupext-new")), Path("d.pag.setupext-new")));
  EXPECT_TRUE(tree_.Snapshot().empty());
}

}  // namespace
}  // namespace setupext
