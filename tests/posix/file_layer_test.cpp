// The POSIX file layer's own promises, asked of it directly: what it never opens as a page,
// the names it never replaces, the folder lock that keeps two calls apart, the mode bits a
// French version keeps.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/files.h"
#include "support/folder_at.h"
#include "support/faulty_files.h"
#include "support/temp_tree.h"
#include "template/template_tree.h"

namespace setupext {
namespace {

namespace fs = std::filesystem;
using testing::TempTree;

// A link, a second name, a FIFO (whose opening could wait for a writer for ever): refused by
// what they are, at once.
TEST(PosixFiles, OpensOnlyRegularFilesWithOneNameAsPages) {
  const struct {
    const char* what;
    void (*make)(const TempTree& tree, const fs::path& at);
    FileResult said;
  } cases[] = {
      {"a regular file", [](const TempTree& tree, const fs::path& at) { tree.Write(at.filename().string(), "text"); },
       FileResult::kDone},
      {"a link to one",
       [](const TempTree& tree, const fs::path& at) {
         tree.Write("target", "text");
         fs::create_symlink(tree.root() / "target", at);
       },
       FileResult::kLink},
      {"a second name of one",
       [](const TempTree& tree, const fs::path& at) {
         tree.Write("target", "text");
         fs::create_hard_link(tree.root() / "target", at);
       },
       FileResult::kSecondName},
      {"a FIFO", [](const TempTree&, const fs::path& at) { ASSERT_EQ(mkfifo(at.c_str(), 0644), 0); }, FileResult::kNotPlain},
  };
  for (const auto& c : cases) {
    TempTree tree;
    const fs::path page = tree.root() / "p.pag";
    c.make(tree, page);
    std::uint64_t size = 0;
    const Opened opened = SystemFiles().OpenPage(testing::FolderAt(SystemFiles(), page.string()), page.string(), &size);
    EXPECT_EQ(opened.result, c.said) << c.what;
    EXPECT_EQ(SystemFiles().CheckPlainFile(testing::FolderAt(SystemFiles(), page.string()), page.string()), c.said) << c.what;
  }
}

// Creating, moving and renaming never take a name that is held: the file there keeps its bytes.
TEST(PosixFiles, NamesThatAreTakenAreNeverReplaced) {
  TempTree tree;
  const std::string from = (tree.root() / "from").string(), taken = (tree.root() / "taken").string();
  tree.Write("from", "moving");
  tree.Write("taken", "kept");
  Files& files = SystemFiles();
  EXPECT_EQ(files.CreateNew(testing::FolderAt(files, taken), taken).result, FileResult::kExists);
  EXPECT_EQ(files.MoveNoReplace(testing::FolderAt(files, from), from, taken), FileResult::kExists);
  Opened made = files.CreateNew(testing::FolderAt(files, (tree.root() / "new").string()), (tree.root() / "new").string());
  ASSERT_EQ(made.result, FileResult::kDone);
  EXPECT_EQ(files.RenameNew(made.file.get().native, testing::FolderAt(files, (tree.root() / "new").string()), (tree.root() / "new").string(), taken), FileResult::kExists);
  made.file.reset();
  EXPECT_EQ(tree.Snapshot(), (testing::TreeSnapshot{{"from", "moving"}, {"new", ""}, {"taken", "kept"}}));
}

// One call's lock on a folder keeps any other out until it lets go.
TEST(PosixFiles, AFolderLockIsHeldByOneCallAtATime) {
  TempTree tree;
  Files& files = SystemFiles();
  const testing::FolderAt one(files, tree.root_text() + "/"), other(files, tree.root_text() + "/");
  FolderLock first, second;
  ASSERT_EQ(files.LockFolder(one, first), LockResult::kHeld);
  EXPECT_EQ(files.LockFolder(other, second), LockResult::kBusy);
  first.reset();
  EXPECT_EQ(files.LockFolder(other, second), LockResult::kHeld);
}

// A folder another call holds is waited for a while, never for ever, then skipped whole.
TEST(PosixFiles, AFolderHeldByAnotherCallIsSkippedAfterAWhile) {
  TempTree tree;
  tree.Write("a.pag", "PAGE {\nHome\n");
  tree.Write("sub/b.pag", "PAGE {\nHome\n");
  // Named like a page's leftovers, but no pages: never counted as pages left.
  ASSERT_EQ(mkfifo((tree.root() / "sub" / "x.pag.setupext-new").c_str(), 0600), 0);
  fs::create_symlink("nowhere", tree.root() / "sub" / "~0123abcd.setupext-name-x.pag");
  const testing::TreeSnapshot before = tree.Snapshot();
  const testing::FolderAt held(SystemFiles(), tree.root_text() + "/");
  FolderLock other;
  ASSERT_EQ(SystemFiles().LockFolder(held, other), LockResult::kHeld);
  testing::FaultyFiles files;  // its pauses take no time
  TreeCounts counts;
  EXPECT_EQ(LocaliseTree(files, tree.root_text(), &counts), TreeResult::kDone);
  EXPECT_EQ(counts.folders_skipped, 1u);
  // The held folder and the one below it are listed, not worked in: their pages stay English.
  EXPECT_EQ(counts.left, 2u);
  EXPECT_EQ(counts.leftovers_left, 0u);
  EXPECT_EQ(counts.folders_unlisted, 0u);
  EXPECT_GT(files.pauses(), 0);
  EXPECT_EQ(tree.Snapshot(), before);
}

// A French version keeps every mode bit of its page, the set-id and sticky bits included.
TEST(PosixFiles, FrenchVersionsKeepTheirPagesModes) {
  for (const mode_t mode : {0644, 0444, 0600, 01644, 02755, 04755}) {
    TempTree tree;
    const fs::path page = tree.Write("a.pag", "PAGE {\nHome\n");
    ASSERT_EQ(chmod(page.c_str(), mode), 0);
    (void)LocaliseTree(SystemFiles(), tree.root_text());
    ASSERT_EQ(testing::ReadFileBytes(page), "PAGE {\nAccueil\n") << std::oct << mode;
    struct stat info;
    ASSERT_EQ(stat(page.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, mode) << std::oct << mode;
  }
}

}  // namespace
}  // namespace setupext
