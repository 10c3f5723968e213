// The file layer's promises, checked on the real layer of each build: natively the POSIX one,
// under Wine the Win32 one. Entries the Windows side cannot make (links, FIFOs, devices) are
// laid out on the host's side by make_odd_files before the run.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <utility>

#include "support/folder_at.h"
#include "support/forwarding_files.h"
#include "support/faulty_files.h"
#include "support/file_contract.h"
#include "support/temp_tree.h"
#include "support/text_guarantee.h"
#include "template/template_tree.h"

namespace setupext {
namespace {

namespace fs = std::filesystem;
using testing::FileCall;
using testing::ReadFileBytes;
using testing::TempTree;
using testing::TreeSnapshot;

const std::string kEnglish = "PAGE {\r\nHome\r\nInput\r\n";

std::string PathOf(const fs::path& path) { return path.string(); }

bool Exists(const fs::path& path) {
  std::error_code error;
  return fs::symlink_status(path, error).type() != fs::file_type::not_found;
}

// The folder make_odd_files laid out, checked to be there.
fs::path SpecialFiles() {
  const char* folder = std::getenv("SETUPEXT_SPECIAL_FILES");
  if (!folder) return {};
  return testing::HostFolder(folder);
}

#define ASSERT_SPECIAL_FILES(root)                                                     \
  ASSERT_FALSE((root).empty()) << "run through ctest, which lays the entries out first"; \
  ASSERT_TRUE(fs::exists((root) / "made")) << "the entries were not made"

// ---- No move or rename ever takes a name that is in use.

enum class Mover { kMoveNoReplace, kRenameNew };
enum class Taken { kFile, kFolder, kFree };

struct MoveCase {
  const char* name;
  Mover mover;
  Taken target;
};

FileResult Move(Files& files, Mover mover, const fs::path& from, const fs::path& to) {
  if (mover == Mover::kMoveNoReplace) return files.MoveNoReplace(testing::FolderAt(files, PathOf(from)), PathOf(from), PathOf(to));
  Opened made = files.CreateNew(testing::FolderAt(files, PathOf(from)), PathOf(from));
  EXPECT_EQ(made.result, FileResult::kDone);
  if (made.result != FileResult::kDone) return FileResult::kFailed;
  EXPECT_TRUE(files.Write(made.file.get().native, kEnglish.data(), kEnglish.size()));
  return files.RenameNew(made.file.get().native, testing::FolderAt(files, PathOf(from)), PathOf(from), PathOf(to));
}

TEST(FileContract, NoMoveOrRenameReplacesAName) {
  const MoveCase cases[] = {
      {"move onto a file", Mover::kMoveNoReplace, Taken::kFile},
      {"move onto a folder", Mover::kMoveNoReplace, Taken::kFolder},
      {"move onto a free name", Mover::kMoveNoReplace, Taken::kFree},
      {"rename onto a file", Mover::kRenameNew, Taken::kFile},
      {"rename onto a folder", Mover::kRenameNew, Taken::kFolder},
      {"rename onto a free name", Mover::kRenameNew, Taken::kFree},
  };
  for (const MoveCase& c : cases) {
    TempTree tree;
    if (c.mover == Mover::kMoveNoReplace) tree.Write("a.pag", kEnglish);
    if (c.target == Taken::kFile) tree.Write("b.pag", "taken");
    if (c.target == Taken::kFolder) tree.Write("b.pag/inner.pag", "inside");
    TreeSnapshot before = tree.Snapshot();
    const FileResult result = Move(SystemFiles(), c.mover, tree.root() / "a.pag", tree.root() / "b.pag");
    if (c.target == Taken::kFree) {
      EXPECT_EQ(result, FileResult::kDone) << c.name;
      EXPECT_EQ(tree.Snapshot(), (TreeSnapshot{{"b.pag", kEnglish}})) << c.name;
    } else {
      // Both stay as they were, the file that was to move under its own name.
      before["a.pag"] = kEnglish;
      EXPECT_EQ(result, FileResult::kExists) << c.name;
      EXPECT_EQ(tree.Snapshot(), before) << c.name;
    }
  }
}

// ---- A listing the system ends with an error part way is a folder that cannot be listed.

TEST(FileContract, AListingCutShortIsNeverTakenAsWhole) {
  TempTree tree;
  for (int i = 0; i < 40; ++i) tree.Write("p" + std::to_string(i) + ".pag", kEnglish);
  const TreeSnapshot before = tree.Snapshot();
  const std::string dir = tree.root_text() + PathSeparator();
  Listing listing;
  {
    const testing::FolderAt folder(SystemFiles(), dir);
    ASSERT_EQ(SystemFiles().ListFolder(folder, dir, listing), ListResult::kDone);
    ASSERT_EQ(listing.size(), 40u);
  }
  for (const int calls : {0, 1, 25}) {
    TreeCounts counts;
    {
      const testing::ListingCut cut(calls);
      const testing::FolderAt folder(SystemFiles(), dir);
      EXPECT_EQ(SystemFiles().ListFolder(folder, dir, listing), ListResult::kFailed) << calls;
    }
    {
      const testing::ListingCut cut(calls);
      EXPECT_EQ(LocaliseTree(SystemFiles(), tree.root_text(), &counts), TreeResult::kDone) << calls;
    }
    EXPECT_EQ(counts.folders_unlisted, 1u) << calls;
    EXPECT_EQ(counts.localised + counts.left, 0u) << calls;
    EXPECT_EQ(tree.Snapshot(), before) << calls;
  }
}

// ---- Creating the output never opens a file already at its name.

TEST(FileContract, CreatingTheOutputNeverOpensAnExistingFile) {
  const fs::path special = SpecialFiles();
  ASSERT_SPECIAL_FILES(special);
  TempTree tree;
  tree.Write("plain.pag.setupext-new", "planted");
  const std::string planted = ReadFileBytes(special / "outside" / "planted.pag");
  ASSERT_EQ(ReadFileBytes(special / "tree" / "planted.pag.setupext-new"), planted) << "no second name was planted";
  // The link to nowhere is there when "made" is (Wine does not show a dangling link at all).
  ASSERT_FALSE(Exists(special / "outside" / "nowhere.pag"));
  const struct {
    const char* name;
    fs::path at;
  } cases[] = {
      {"a file", tree.root() / "plain.pag.setupext-new"},
      {"a second name of a file outside", special / "tree" / "planted.pag.setupext-new"},
      {"a link to nowhere", special / "tree" / "nowhere.pag.setupext-new"},
  };
  for (const auto& c : cases) {
    Opened made = SystemFiles().CreateNew(testing::FolderAt(SystemFiles(), PathOf(c.at)), PathOf(c.at));
    EXPECT_EQ(made.result, FileResult::kExists) << c.name;
    EXPECT_FALSE(made.file.is_open()) << c.name;
  }
  EXPECT_EQ(tree.Snapshot(), (TreeSnapshot{{"plain.pag.setupext-new", "planted"}}));
  EXPECT_EQ(ReadFileBytes(special / "outside" / "planted.pag"), planted);
  EXPECT_EQ(ReadFileBytes(special / "tree" / "planted.pag.setupext-new"), planted);
  EXPECT_FALSE(Exists(special / "outside" / "nowhere.pag")) << "made through the link";
}

// ---- Only a regular file with one name, reached by its own path, is a page.

struct NotPlainCase {
  const char* name;
  const char* entry;    // in the tree
  const char* outside;  // the file it leads to, or nullptr
  bool fifo_or_device;
  FileResult said;       // what every call answers; a link may also be seen as reached
                         // through one (Wine shows a Linux file link as a plain file)
};

bool Says(FileResult result, const NotPlainCase& c) {
  return result == c.said || (c.said == FileResult::kLink && result == FileResult::kThroughLink);
}

void PrintTo(const NotPlainCase& c, std::ostream* out) { *out << c.entry; }

class NotPlain : public ::testing::TestWithParam<NotPlainCase> {};

TEST_P(NotPlain, IsRefusedByEveryCallThatTakesAPage) {
  const NotPlainCase& c = GetParam();
  if (c.fifo_or_device && !testing::NoFifoOrDeviceHere().empty()) GTEST_SKIP() << testing::NoFifoOrDeviceHere();
  const fs::path special = SpecialFiles();
  ASSERT_SPECIAL_FILES(special);
  if (std::string(c.entry) == "device.pag" && fs::exists(special / "no-device"))
    GTEST_SKIP() << "no device could be made: " << ReadFileBytes(special / "no-device");
  const fs::path entry = special / "tree" / c.entry, moved = special / "tree" / ("moved-" + std::string(c.entry));
  ASSERT_TRUE(Exists(entry)) << c.entry << " was not made";
  const std::string outside = c.outside ? ReadFileBytes(special / "outside" / c.outside) : "";
  if (c.outside) {
    ASSERT_EQ(ReadFileBytes(entry), outside) << c.entry << " does not lead outside";
  }
  Files& files = SystemFiles();
  {
    const testing::HangGuard guard(20, "OpenPage and CheckPlainFile on a FIFO or a device");
    std::uint64_t size = 12345;
    Opened page = files.OpenPage(testing::FolderAt(files, PathOf(entry)), PathOf(entry), &size);
    EXPECT_TRUE(Says(page.result, c)) << "OpenPage";
    EXPECT_FALSE(page.file.is_open()) << "OpenPage";
    EXPECT_TRUE(Says(files.CheckPlainFile(testing::FolderAt(files, PathOf(entry)), PathOf(entry)), c)) << "CheckPlainFile";
  }
  EXPECT_TRUE(Says(files.MoveNoReplace(testing::FolderAt(files, PathOf(entry)), PathOf(entry), PathOf(moved)), c)) << "MoveNoReplace";
  EXPECT_FALSE(Exists(moved)) << "MoveNoReplace";
  EXPECT_TRUE(Says(files.Remove(testing::FolderAt(files, PathOf(entry)), PathOf(entry)), c)) << "Remove";
  EXPECT_TRUE(Exists(entry)) << "Remove";
  if (c.outside) {
    EXPECT_EQ(ReadFileBytes(special / "outside" / c.outside), outside);
    EXPECT_EQ(ReadFileBytes(entry), outside);
  }
}

INSTANTIATE_TEST_SUITE_P(Entries, NotPlain,
                         ::testing::Values(NotPlainCase{"SecondName", "second-name.pag", "linked.pag", false, FileResult::kSecondName},
                                           NotPlainCase{"SymbolicLink", "symlink.pag", "symlinked.pag", false, FileResult::kLink},
                                           NotPlainCase{"Fifo", "fifo.pag", nullptr, true, FileResult::kNotPlain},
                                           NotPlainCase{"Device", "device.pag", nullptr, true, FileResult::kNotPlain}),
                         [](const ::testing::TestParamInfo<NotPlainCase>& tested) {
                           return std::string(tested.param.name);
                         });

// The same calls take a plain page with one name: the refusals above are no blanket failure.
TEST(FileContract, APlainPageWithOneNameIsTaken) {
  TempTree tree;
  const std::string page = PathOf(tree.Write("a.pag", kEnglish));
  Files& files = SystemFiles();
  std::uint64_t size = 0;
  Opened opened = files.OpenPage(testing::FolderAt(files, page), page, &size);
  EXPECT_EQ(opened.result, FileResult::kDone);
  EXPECT_EQ(size, kEnglish.size());
  opened.file.reset();
  EXPECT_EQ(files.CheckPlainFile(testing::FolderAt(files, page), page), FileResult::kDone);
  // A folder is synced only where its names are not kept in order.
  const testing::FolderAt folder(files, page);
  EXPECT_TRUE(folder.facts().names_in_order || files.SyncFolder(folder));
  EXPECT_EQ(files.MoveNoReplace(testing::FolderAt(files, page), page, PathOf(tree.root() / "b.pag")), FileResult::kDone);
  EXPECT_EQ(files.Remove(testing::FolderAt(files, PathOf(tree.root() / "b.pag")), PathOf(tree.root() / "b.pag")), FileResult::kDone);
  EXPECT_TRUE(tree.Snapshot().empty());
}

// A page's own steps name their files in the folder held open: when that folder moves away
// after the walk opened it and another takes its path, no step reaches the other. The page at
// the path is never opened, and the output is made where the page was.
TEST(FileContract, APagesStepsStayInTheFolderHeld) {
  TempTree tree;
  tree.Write("held/a.pag", kEnglish);
  const fs::path held = tree.root() / "held";
  const std::string page = PathOf(held / "a.pag"), output = page + ".setupext-new";
  Files& files = SystemFiles();
  const testing::FolderAt folder(files, page);
  fs::rename(held, tree.root() / "moved");
  tree.Write("held/a.pag", "at the path");
  std::uint64_t size = 0;
  Opened opened = files.OpenPage(folder, page, &size);
  EXPECT_TRUE(opened.result != FileResult::kDone || size == kEnglish.size()) << "the file at the path was opened";
  opened.file.reset();
  EXPECT_EQ(files.CreateNew(folder, output).result, FileResult::kDone);
  EXPECT_EQ(tree.Snapshot(),
            (TreeSnapshot{{"held/a.pag", "at the path"}, {"moved/a.pag", kEnglish}, {"moved/a.pag.setupext-new", ""}}));
}

// A page's deletion takes the file that was read, unchanged: one cut short since it was
// opened stays (where share modes hold writers off, it cannot be cut, and goes).
TEST(FileContract, APageChangedSinceItWasOpenedIsNotDeleted) {
  TempTree tree;
  const fs::path page = tree.Write("a.pag", kEnglish);
  Files& files = SystemFiles();
  std::uint64_t size = 0;
  Opened opened = files.OpenPage(testing::FolderAt(files, PathOf(page)), PathOf(page), &size);
  ASSERT_EQ(opened.result, FileResult::kDone);
  const bool cut = testing::TruncateFile(page, size - 3);
  ASSERT_EQ(cut, !testing::OpenPagesRefuseWriters())
      << (cut ? "another program wrote to a page held open" : "the page could not be cut");
  const PageDeletion deleted = files.DeletePage(std::move(opened.file), opened.stamp, testing::FolderAt(files, PathOf(page)), PathOf(page), {});
  if (cut) {
    EXPECT_EQ(deleted, PageDeletion::kKept);
    EXPECT_EQ(tree.Snapshot(), (TreeSnapshot{{"a.pag", kEnglish.substr(0, kEnglish.size() - 3)}}));
  } else {
    EXPECT_EQ(deleted, PageDeletion::kGone);
    EXPECT_TRUE(tree.Snapshot().empty());
  }
}

// ---- A page that changes while read ends that page, not the call.

// The system's files, but the first read of one page finds it cut short by another program.
class CuttingFiles final : public testing::ForwardingFiles {
 public:
  CuttingFiles(const fs::path& folder, std::string name, std::uint64_t keep)
      : ForwardingFiles(SystemFiles()), page_(folder / name), name_(std::string(1, PathSeparator()) + name), keep_(keep) {}
  bool tried() const { return tried_; }
  bool cut() const { return cut_; }

  Opened OpenPage(NativeFile at, std::string_view path, std::uint64_t* size) noexcept override {
    Opened opened = real_.OpenPage(at, path, size);
    if (path.ends_with(name_) && opened.result == FileResult::kDone) page_file_ = opened.file.get().native;
    return opened;
  }
  std::ptrdiff_t ReadAt(NativeFile file, std::uint64_t offset, void* buffer, std::size_t size) noexcept override {
    if (file == page_file_ && !tried_) {
      tried_ = true;
      cut_ = testing::TruncateFile(page_, keep_);
    }
    return real_.ReadAt(file, offset, buffer, size);
  }
  PageDeletion DeletePage(File page, const FileStamp& stamp, NativeFile at, std::string_view path,
                          std::string_view aside) noexcept override {
    if (page.get().native == page_file_) page_file_ = NoNativeFile();
    return real_.DeletePage(std::move(page), stamp, at, path, aside);
  }

 private:
  fs::path page_;
  std::string name_;
  std::uint64_t keep_;
  NativeFile page_file_ = NoNativeFile();
  bool tried_ = false, cut_ = false;
};

TEST(FileContract, APageCutShortWhileReadIsLeftWholeAndTheOthersGoOn) {
  std::string long_page = "PAGE {\r\n";
  for (int line = 0; line < 200; ++line) long_page += line % 2 ? "Input " + std::to_string(line) + "\r\n" : "Home\r\n";
  TempTree tree;
  tree.Write("a.pag", kEnglish);
  tree.Write("m.pag", long_page);
  tree.Write("sub/z.pag", kEnglish);
  const TreeSnapshot before = tree.Snapshot();
  TreeSnapshot expected = testing::LocalisedTree(before);
  // Cut in the middle of a line, past the first piece the call reads.
  constexpr std::size_t kPiece = 256, kKeep = 1001;
  CuttingFiles files(tree.root(), "m.pag", kKeep);
  TreeCounts counts;
  {
    const testing::HangGuard guard(120, "a call over a page cut short while read");
    EXPECT_EQ(LocaliseTree(files, tree.root_text(), &counts, nullptr, kPiece), TreeResult::kDone);
  }
  ASSERT_TRUE(files.tried()) << "the page was never read";
  ASSERT_EQ(files.cut(), !testing::OpenPagesRefuseWriters())
      << (files.cut() ? "another program wrote to a page held open" : "the page could not be cut");
  if (files.cut()) {
    expected["m.pag"] = long_page.substr(0, kKeep);
    EXPECT_EQ(counts.left, 1u);
    EXPECT_EQ(counts.localised, 2u);
  } else {
    EXPECT_EQ(counts.localised, 3u);
  }
  EXPECT_EQ(tree.Snapshot(), expected);
}

// ---- A page goes only once its French version is surely on the disk.

class FailedBeforeDeletion : public ::testing::TestWithParam<FileCall> {};

TEST_P(FailedBeforeDeletion, KeepsThePageWholeAndNoOutput) {
  const FileCall call = GetParam();
  TempTree tree;
  tree.Write("a.pag", kEnglish);
  const TreeSnapshot before = tree.Snapshot();
  testing::FaultyFiles files;
  files.TakeNamesAsUnordered();  // NTFS needs no folder sync; FAT does
  files.FailNth(call, 1);
  TreeCounts counts;
  EXPECT_EQ(LocaliseTree(files, tree.root_text(), &counts), TreeResult::kDone);
  ASSERT_GE(files.count(call), 1) << "no " << FileCallName(call) << " was made";
  EXPECT_EQ(counts.left, 1u);
  EXPECT_EQ(tree.Snapshot(), before);
}

INSTANTIATE_TEST_SUITE_P(FileContract, FailedBeforeDeletion, ::testing::Values(FileCall::kFlush, FileCall::kSync),
                         [](const ::testing::TestParamInfo<FileCall>& tested) {
                           return tested.param == FileCall::kFlush ? std::string("Flush") : std::string("FolderSync");
                         });

}  // namespace
}  // namespace setupext
