// The POSIX file layer's own promises, asked of it directly: what it never opens as a page,
// the names it never replaces, the folder lock that keeps two calls apart, the mode bits a
// French version keeps, its owner, what another user may do, the mounts and swaps never entered.
#include <fcntl.h>
#include <grp.h>
#include <linux/filter.h>
#include <linux/fs.h>
#include <linux/seccomp.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/files.h"
#include "support/folder_at.h"
#include "support/faulty_files.h"
#include "support/forwarding_files.h"
#include "support/outcomes.h"
#include "support/temp_tree.h"
#include "template/template_tree.h"

namespace setupext {
namespace {

namespace fs = std::filesystem;
using testing::TempTree;

const std::string kPage = "PAGE {\nHome\n", kFrench = "PAGE {\nAccueil\n";
constexpr unsigned kNobody = 65534;

// The answer (0-254) of `work` run in a child process, or -1 when the child did not end so.
int InChild(const std::function<int()>& work) {
  int status = 0;
  if (const pid_t child = fork(); child != 0) return waitpid(child, &status, 0) == child && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  _exit(work());
}

// Sets or clears the append-only flag of a file, true where the system let it.
bool AppendOnly(const fs::path& file, int flags) {
  const int opened = open(file.c_str(), O_RDONLY);
  const bool set = ioctl(opened, FS_IOC_SETFLAGS, &flags) == 0;
  return close(opened), set;
}

// A mount for one test, let go of when the test ends, whatever it ends in; empty where none was made.
using Mounted = std::unique_ptr<const char, void (*)(const char*)>;
Mounted Mount(const char* what, const fs::path& at, const char* type, unsigned long flags, const char* data = nullptr) {
  return Mounted(mount(what, at.c_str(), type, flags, data) == 0 ? at.c_str() : nullptr, [](const char* path) { umount2(path, MNT_DETACH); });
}

std::vector<int> kSkipped(FolderTrouble trouble) { return {-1, static_cast<int>(trouble)}; }

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
  // A file put at the output's name since it was made is neither renamed to the page's nor deleted.
  for (const bool renaming : {true, false}) {
    TempTree again;
    const std::string output_name = again.root_text() + "/a.pag.setupext-new";
    const testing::FolderAt at(SystemFiles(), output_name);
    Opened output = SystemFiles().CreateNew(at, output_name);
    fs::rename(output_name, again.root() / "elsewhere"), again.Write("a.pag.setupext-new", "theirs");
    if (renaming) EXPECT_NE(SystemFiles().RenameNew(output.file.get().native, at, output_name, again.root_text() + "/a.pag"), FileResult::kDone);
    else EXPECT_FALSE(SystemFiles().DeleteNew(std::move(output.file), at, output_name));
    output.file.reset();
    EXPECT_EQ(again.Snapshot(), (testing::TreeSnapshot{{"a.pag.setupext-new", "theirs"}, {"elsewhere", ""}})) << renaming;
  }
}

// One call's lock on a folder keeps any other out until it lets go.
TEST(PosixFiles, AFolderLockIsHeldByOneCallAtATime) {
  TempTree tree;
  Files& files = SystemFiles();
  const testing::FolderAt one(files, tree.root_text() + "/"), other(files, tree.root_text() + "/");
  FolderLock first, second;
  ASSERT_EQ(files.LockFolder(one, first), LockResult::kHeld);
  Listing listing;  // the listing's own opening, closed, lets go of nothing
  ASSERT_EQ(files.ListFolder(one, tree.root_text() + "/", listing), ListResult::kDone);
  EXPECT_EQ(files.LockFolder(other, second), LockResult::kBusy);
  std::thread([&] { EXPECT_EQ(files.LockFolder(other, second), LockResult::kBusy) << "from another thread"; }).join();
  first.reset();
  EXPECT_EQ(files.LockFolder(other, second), LockResult::kHeld);
}

// A folder another call holds is waited for a while, never for ever, then skipped whole: it and the
// one below are listed, pages left English; names like leftovers that are no pages are not counted.
TEST(PosixFiles, AFolderHeldByAnotherCallIsSkippedAfterAWhile) {
  TempTree tree;
  tree.Write("a.pag", kPage), tree.Write("sub/b.pag", kPage);
  ASSERT_EQ(mkfifo((tree.root() / "sub" / "x.pag.setupext-new").c_str(), 0600), 0);
  fs::create_symlink("nowhere", tree.root() / "sub" / "~0123abcd.setupext-name-x.pag");
  const testing::TreeSnapshot before = tree.Snapshot();
  const testing::FolderAt held(SystemFiles(), tree.root_text() + "/");
  FolderLock other;
  ASSERT_EQ(SystemFiles().LockFolder(held, other), LockResult::kHeld);
  testing::FaultyFiles files;  // its pauses take no time
  TreeCounts counts;
  EXPECT_EQ(LocaliseTree(files, tree.root_text(), &counts), TreeResult::kDone);
  EXPECT_EQ(std::vector<std::size_t>({counts.folders_skipped, counts.left, counts.leftovers_left, counts.folders_unlisted}),
            std::vector<std::size_t>({1, 2, 0, 0}));
  EXPECT_GT(files.pauses(), 0);
  EXPECT_EQ(tree.Snapshot(), before);
}

// A French version keeps every mode bit of its page (set-id and sticky too), its owner and group.
TEST(PosixFiles, FrenchVersionsKeepTheirPagesModesAndOwners) {
  const uid_t me = geteuid(), my = getegid();
  const struct { mode_t mode; uid_t owner; gid_t group; } cases[] = {{0644, me, my},   {0444, me, my},           {0600, me, my},
      {01644, me, my}, {02755, me, my}, {04755, me, my}, {0640, kNobody, kNobody}, {04750, 1234, 4321}, {02640, kNobody, 4321}, {0640, me, 4321}};
  for (const auto& c : cases) {
    if ((c.owner != me || c.group != my) && me != 0) GTEST_SKIP() << "giving pages to other users needs root";
    TempTree tree;
    const fs::path page = tree.Write("a.pag", kPage);
    ASSERT_EQ(chown(page.c_str(), c.owner, c.group) | chmod(page.c_str(), c.mode), 0);
    (void)LocaliseTree(SystemFiles(), tree.root_text());
    struct stat info;
    ASSERT_EQ(stat(page.c_str(), &info), 0);
    EXPECT_EQ(testing::ReadFileBytes(page), kFrench);
    EXPECT_EQ(std::vector<unsigned>({info.st_mode & 07777, info.st_uid, info.st_gid}),
              std::vector<unsigned>({c.mode, c.owner, c.group})) << std::oct << c.mode;
  }
}

// What the layer says another user may do (folder modes and owners, the sticky rule, append-only
// pages) is what the system then lets the user do; one who may not give files away localises too.
TEST(PosixFiles, PermissionsAskedAreWhatTheSystemThenDoes) {
  if (geteuid() != 0) GTEST_SKIP() << "laying out the files of two users needs root";
  TempTree tree;
  std::vector<fs::path> pages;
  for (unsigned i = 0; i < 32; ++i) {
    const fs::path page = tree.Write(std::to_string(i) + "/p.pag", kPage);
    ASSERT_EQ(chown(page.c_str(), i & 4 ? kNobody : 0, 0) | chown(page.parent_path().c_str(), i & 8 ? kNobody : 0, 0) |
                  chmod(page.parent_path().c_str(), std::vector<mode_t>{0755, 0777, 01777, 0555}[i & 3]), 0);
    if (AppendOnly(page, i & 16 ? FS_APPEND_FL : 0) || !(i & 16)) pages.push_back(page);
  }
  const fs::path others = tree.Write("others/p.pag", kPage);  // root's page, localised all the same
  ASSERT_EQ(chmod(others.parent_path().c_str(), 0777), 0);
  const int wrong = InChild([&] {
    if (setgroups(0, nullptr) | setresgid(kNobody, kNobody, kNobody) | setresuid(kNobody, kNobody, kNobody)) return 255;
    int mismatches = 0;
    for (std::size_t i = 0; i < pages.size(); ++i) {
      const testing::FolderAt at(SystemFiles(), pages[i].string());
      const bool may_create = SystemFiles().MayCreate(at, pages[i].string() + "-new") == Permission::kYes;
      const bool may_remove = SystemFiles().MayRemove(at, pages[i].string()) == Permission::kYes;
      const bool created = openat(at, "p.pag-new", O_WRONLY | O_CREAT | O_EXCL, 0600) >= 0, removed = unlinkat(at, "p.pag", 0) == 0;
      if (may_create != created || may_remove != removed)
        std::fprintf(stderr, "%zu: may create %d, did %d; may remove %d, did %d\n", i, may_create, created, may_remove, removed), ++mismatches;
    }
    (void)LocaliseTree(SystemFiles(), others.parent_path().string());
    if (testing::ReadFileBytes(others) != kFrench) std::fprintf(stderr, "another user's page stayed English\n"), ++mismatches;
    return mismatches < 255 ? mismatches : 254;
  });
  for (const fs::path& page : pages) (void)AppendOnly(page, 0);
  if (wrong == 255) GTEST_SKIP() << "could not act as user " << kNobody;
  EXPECT_EQ(wrong, 0);
  EXPECT_EQ(pages.size(), 32u) << "no append-only page could be made";
}

// A bind mount below the tree is never entered; an overlay (whose listed and opened folders'
// numbers differ) is walked whole.
TEST(PosixFiles, MountsBelowTheTreeAreNeverEnteredOverlaysAreWalked) {
  TempTree tree, outside;
  tree.Write("a.pag", kPage), outside.Write("user.pag", kPage);
  for (const char* folder : {"sub", "lower", "upper", "work", "merged"}) tree.MakeFolder(folder);
  const fs::path at = tree.root() / "sub", lower = tree.root() / "lower", merged = tree.root() / "merged";
  const Mounted mounted = Mount(outside.root_text().c_str(), at, nullptr, MS_BIND), lower_mounted = Mount("tmpfs", lower, "tmpfs", 0);
  if (!mounted || !lower_mounted) GTEST_SKIP() << "no bind or tmpfs mount: " << std::strerror(errno);
  tree.Write("lower/sub/deep/p.pag", kPage);
  const std::string layers = "lowerdir=" + lower.string() + ",upperdir=" + tree.root_text() + "/upper,workdir=" + tree.root_text() + "/work";
  const Mounted merged_mounted = Mount("overlay", merged, "overlay", 0, layers.c_str());
  testing::Outcomes outcomes;
  (void)LocaliseTree(SystemFiles(), tree.root_text(), nullptr, &outcomes);
  EXPECT_EQ(outcomes.seen[at.string() + "/"], kSkipped(FolderTrouble::kOtherVolume));
  EXPECT_EQ(testing::ReadFileBytes(tree.root() / "a.pag"), kFrench);
  EXPECT_EQ(testing::ReadFileBytes(outside.root() / "user.pag"), kPage);
  if (!merged_mounted) GTEST_SKIP() << "no overlay: " << std::strerror(errno);
  (void)LocaliseTree(SystemFiles(), merged.string());
  EXPECT_EQ(testing::ReadFileBytes(merged / "sub/deep/p.pag"), kFrench);
}

// The system's files, but once the folder `listed` is listed another program changes the tree.
struct SwappingFiles final : testing::ForwardingFiles {
  SwappingFiles(std::string listed, std::function<void()> swap) : ForwardingFiles(SystemFiles()), listed_(listed), swap_(swap) {}
  ListResult ListFolder(NativeFile folder, std::string_view path, Listing& entries) noexcept override {
    const ListResult listed = real_.ListFolder(folder, path, entries);
    if (path == listed_ && swap_) std::exchange(swap_, nullptr)();
    return listed;
  }
  std::string listed_;
  std::function<void()> swap_;
};

// A folder swapped for a link or another folder after its parent's listing, or with a link put on
// its way, is never entered: `listed` listed, tree/sub goes to `moved` and a link to `link_to` or
// the folder `in` takes its place; `skipped` is not entered, `kept` stays as it was.
TEST(PosixFiles, AFolderSwappedSinceItsListingIsNeverEntered) {
  const struct { const char *listed, *moved, *link_to, *in, *skipped, *kept; } cases[] = {
      {"tree/", "away", "outside", nullptr, "tree/sub/", "outside"},
      {"tree/", "away", nullptr, "outside", "tree/sub/", "tree/sub"},
      {"tree/sub/", "outside/moved", "outside/moved", nullptr, "tree/sub/deep/", "outside/moved/deep"}};
  for (const auto& c : cases) {
    TempTree base;
    for (const char* page : {"tree/a.pag", "tree/sub/b.pag", "tree/sub/deep/c.pag", "outside/user.pag", "outside/deep/d.pag"}) base.Write(page, kPage);
    testing::TreeSnapshot kept;
    SwappingFiles files(base.root_text() + "/" + c.listed, [&] {
      fs::rename(base.root() / "tree/sub", base.root() / c.moved);
      if (c.link_to) fs::create_directory_symlink(base.root() / c.link_to, base.root() / "tree/sub");
      if (c.in) fs::rename(base.root() / c.in, base.root() / "tree/sub");
      kept = testing::SnapshotFolder(base.root() / c.kept);
    });
    testing::Outcomes outcomes;
    (void)LocaliseTree(files, base.root_text() + "/tree", nullptr, &outcomes);
    ASSERT_FALSE(kept.empty()) << c.kept;
    EXPECT_EQ(testing::SnapshotFolder(base.root() / c.kept), kept) << c.kept;
    EXPECT_EQ(testing::ReadFileBytes(base.root() / "tree/a.pag"), kFrench);
    EXPECT_EQ(outcomes.seen[base.root_text() + "/" + c.skipped], kSkipped(FolderTrouble::kChanged)) << c.kept;
  }
}

// Without the no-replace rename (a link and an unlink then) nor the open refusing every link on a
// path, a name taken is never replaced and a link at a folder's name never followed.
TEST(PosixFiles, OlderSystemsKeepThePromisesToo) {
  TempTree tree;
  const std::string page = tree.Write("page", "moving").string(), root = tree.root_text();
  tree.Write("taken", "kept"), fs::create_directory_symlink(tree.root(), tree.root() / "link");
  const int wrong = InChild([&] {
    sock_filter refuse[] = {BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)), BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, SYS_renameat2, 0, 1),
                            BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | EINVAL), BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, SYS_openat2, 0, 1),
                            BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | ENOSYS), BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW)};
    const sock_fprog filter = {6, refuse};
    if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0 || prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &filter) != 0) return 255;
    const testing::FolderAt at(SystemFiles(), page);
    File folder;
    FolderFacts facts;
    return (SystemFiles().MoveNoReplace(at, page, root + "/taken") != FileResult::kExists) +
           2 * (SystemFiles().MoveNoReplace(at, page, root + "/moved") != FileResult::kDone) +
           4 * (SystemFiles().OpenFolder(root + "/link/", 0, folder, facts) != FolderOpen::kLink);
  });
  if (wrong == 255) GTEST_SKIP() << "no system call filter here";
  EXPECT_EQ(wrong, 0);
  EXPECT_EQ(tree.Snapshot(), (testing::TreeSnapshot{{"moved", "moving"}, {"taken", "kept"}}));
}

// A folder's facts are what the system does: case twins where they say so, the longest name only.
TEST(PosixFiles, FolderFactsAreWhatTheSystemDoes) {
  TempTree tree;
  const testing::FolderAt folder(SystemFiles(), tree.Write("a", "").string());
  const auto made = [&](const std::string& name) { return close(openat(folder, name.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600)) == 0; };
  EXPECT_EQ(folder.facts().case_sensitive, made("A"));
  EXPECT_TRUE(made(std::string(folder.facts().name_limit, 'n')));
  EXPECT_FALSE(made(std::string(folder.facts().name_limit + 1, 'n')));
}

}  // namespace
}  // namespace setupext
