// Other programs at work in the tree while the real module localises it: a scanner that opens
// each new output for a while, a handle held on a page, a writer appending to a page; and
// names an output cannot take. Whatever happens, every page ends at its own name, in English
// or French, nothing of the call is left, and no line a writer appended is lost.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "support/module_under_test.h"
#include "support/temp_tree.h"
#include "template/folder_plan.h"

namespace setupext {
namespace {

const std::string kPage = "PAGE {\r\nHome\r\nInput\r\n";
const std::string kFrench = "PAGE {\r\nAccueil\r\nChamp\r\n";
constexpr DWORD kShareNoDelete = FILE_SHARE_READ | FILE_SHARE_WRITE;
constexpr DWORD kShareAll = kShareNoDelete | FILE_SHARE_DELETE;

// A Win32 thread (this runtime has no std::thread) whose body runs until it is told to stop;
// told and joined at the latest when it goes out of scope.
class Thread {
 public:
  using Body = std::function<void(const std::atomic<bool>& stop)>;
  explicit Thread(Body body) : body_(std::move(body)), handle_(CreateThread(nullptr, 0, &Run, this, 0, nullptr)) {}
  ~Thread() { Stop(); }
  void Stop() {
    stop_ = true;
    if (handle_ == nullptr) return;
    WaitForSingleObject(handle_, INFINITE);
    CloseHandle(handle_);
    handle_ = nullptr;
  }

 private:
  static DWORD WINAPI Run(void* self) {
    static_cast<Thread*>(self)->body_(static_cast<Thread*>(self)->stop_);
    return 0;
  }
  Body body_;
  std::atomic<bool> stop_{false};
  HANDLE handle_;
};

class TemplateSharingTest : public ::testing::Test {
 protected:
  void Localise() { testing::LocaliseThroughModule(tree_.root_text()); }

  std::wstring Path(const std::string& name) const { return (tree_.root() / name).wstring(); }

  HANDLE Open(const std::string& name, DWORD access, DWORD share) const {
    return CreateFileW(Path(name).c_str(), access, share, nullptr, OPEN_EXISTING, 0, nullptr);
  }

  // Pages p0.pag ... with the given text; the snapshot they should end as, with `localised`.
  testing::TreeSnapshot WritePages(int count, const std::string& text, const std::string& localised) const {
    testing::TreeSnapshot expected;
    for (int i = 0; i < count; ++i) {
      const std::string name = "p" + std::to_string(i) + ".pag";
      tree_.Write(name, text);
      expected[name] = localised;
    }
    return expected;
  }

  testing::TempTree tree_;
};

// The names in the snapshot, for messages that must not print long pages.
std::string Names(const testing::TreeSnapshot& snapshot) {
  std::string names;
  for (const auto& [name, bytes] : snapshot) names += "'" + name + "' ";
  return names;
}

// A virus scanner, an indexer or a sync client opens each new file it sees and keeps it ~300 ms,
// sharing deletion or not. An output is held with delete access from its creation, so a
// program that shares no deletion cannot open it at all, and one that does cannot stop its
// rename: no page is stranded.
class ScannerTest : public TemplateSharingTest, public ::testing::WithParamInterface<DWORD> {};

TEST_P(ScannerTest, OutputsSeenByAScannerStillTakeThePageNames) {
  const testing::TreeSnapshot expected = WritePages(20, kPage, kFrench);
  std::set<std::wstring> seen;
  Thread scanner([&](const std::atomic<bool>& stop) {
    std::vector<std::pair<HANDLE, DWORD>> held;  // handle, tick when opened
    while (!stop) {
      WIN32_FIND_DATAW data;
      HANDLE search = FindFirstFileW(Path("*.setupext-new").c_str(), &data);
      for (BOOL more = search != INVALID_HANDLE_VALUE; more; more = FindNextFileW(search, &data)) {
        if (!seen.insert(data.cFileName).second) continue;
        HANDLE file = CreateFileW((tree_.root() / data.cFileName).wstring().c_str(), GENERIC_READ, GetParam(), nullptr,
                                  OPEN_EXISTING, 0, nullptr);
        if (file != INVALID_HANDLE_VALUE) held.emplace_back(file, GetTickCount());
      }
      if (search != INVALID_HANDLE_VALUE) FindClose(search);
      std::erase_if(held, [](const auto& h) { return GetTickCount() - h.second >= 300 && CloseHandle(h.first); });
      Sleep(1);
    }
    for (const auto& h : held) CloseHandle(h.first);
  });
  Localise();
  scanner.Stop();
  EXPECT_GE(seen.size(), 3u) << "the scanner saw too few outputs to matter";
  const testing::TreeSnapshot after = tree_.Snapshot();
  EXPECT_TRUE(after == expected) << Names(after);
}

INSTANTIATE_TEST_SUITE_P(Sharing, ScannerTest, ::testing::Values(kShareNoDelete, kShareAll),
                         [](const auto& test) { return test.param == kShareAll ? "All" : "NoDeletion"; });

// An indexer or viewer holds a page open sharing everything, so deleting the page only marks
// it: its name stays taken until the handle closes, and then the file is gone. The handle is
// closed after the call, or from another thread ~500 ms into it.
class HeldPageTest : public TemplateSharingTest, public ::testing::WithParamInterface<bool> {};

TEST_P(HeldPageTest, PageIsAtItsNameWhileHeldAndAfterwards) {
  const bool close_during_call = GetParam();
  tree_.Write("held.pag", kPage);
  tree_.Write("free.pag", kPage);
  HANDLE holder = Open("held.pag", GENERIC_READ, kShareAll);
  ASSERT_NE(holder, INVALID_HANDLE_VALUE);
  // Held indeed: an open that shares nothing is refused.
  ASSERT_EQ(Open("held.pag", GENERIC_READ, 0), INVALID_HANDLE_VALUE);
  ASSERT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  std::atomic<bool> closed{false};
  {
    Thread closer([&](const std::atomic<bool>&) {
      if (!close_during_call) return;
      Sleep(500);
      closed = CloseHandle(holder) != 0;
    });
    Localise();
    if (!close_during_call) {
      const std::string text = testing::ReadFileBytes(tree_.root() / "held.pag");
      EXPECT_TRUE(text == kPage || text == kFrench) << "the held page is not at its name after the call";
      closed = CloseHandle(holder) != 0;
    }
  }
  ASSERT_TRUE(closed);
  const testing::TreeSnapshot after = tree_.Snapshot();
  ASSERT_TRUE(after.size() == 2 && after.count("free.pag") && after.count("held.pag")) << Names(after);
  EXPECT_EQ(after.at("free.pag"), kFrench);
  EXPECT_TRUE(after.at("held.pag") == kPage || after.at("held.pag") == kFrench) << after.at("held.pag");
}

INSTANTIATE_TEST_SUITE_P(Closed, HeldPageTest, ::testing::Values(false, true),
                         [](const auto& test) { return test.param ? "DuringTheCall" : "AfterTheCall"; });

// Held pages that are never set aside: one whose final name is another keeps its own name
// while held, never an aside name; a long one (no room for the aside suffix) is waited for
// until its holder lets go, ~500 ms into the call.
TEST_F(TemplateSharingTest, HeldPagesNeverSetAsideWaitUnderTheirOwnNames) {
  const struct {
    std::string page, final_name;
    bool close_during_call;
  } cases[] = {{"held.page", "held.pag", false}, {std::string(245, 'L') + ".pag", std::string(245, 'L') + ".pag", true}};
  for (const auto& c : cases) {
    testing::TempTree tree;
    tree.Write(c.page, kPage);
    HANDLE holder = CreateFileW((tree.root() / c.page).wstring().c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                                0, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    std::atomic<bool> closed{false};
    {
      Thread closer([&](const std::atomic<bool>&) {
        if (!c.close_during_call) return;
        Sleep(500);
        closed = CloseHandle(holder) != 0;
      });
      testing::LocaliseThroughModule(tree.root_text());
      if (!c.close_during_call) {
        for (const auto& entry : std::filesystem::directory_iterator(tree.root())) {
          EXPECT_FALSE(entry.path().filename().string().ends_with(kAsideSuffix)) << entry.path().filename().string();
        }
        closed = CloseHandle(holder) != 0;
      }
    }
    ASSERT_TRUE(closed);
    const testing::TreeSnapshot after = tree.Snapshot();
    EXPECT_TRUE(after == (testing::TreeSnapshot{{c.final_name, kFrench}})) << Names(after);
  }
}

// 'x.page' would become 'x.pag', but that name is taken: by a folder, or by a file whose name
// differs only in case (Windows compares names without case, the page test does not). The
// page stays in English as it is, and the other entry is not touched.
struct TakenName {
  const char* by;
  const char* page;
  const char* taker;  // a file, or a folder when it ends with '/'
};

void PrintTo(const TakenName& name, std::ostream* out) { *out << name.page << " beside " << name.taker; }

class TakenNameTest : public TemplateSharingTest, public ::testing::WithParamInterface<TakenName> {};

TEST_P(TakenNameTest, PageIsLeftAsItIs) {
  const std::string page = GetParam().page, taker = GetParam().taker;
  const std::string taker_file = taker.back() == '/' ? taker + "inside.txt" : taker;
  tree_.Write(page, kPage);
  tree_.Write(taker_file, kPage);
  const std::string target = page.substr(0, page.rfind('.')) + ".pag";
  ASSERT_NE(GetFileAttributesW(Path(target).c_str()), INVALID_FILE_ATTRIBUTES) << "'" << target << "' is free";
  Localise();
  EXPECT_EQ(tree_.Snapshot(), (testing::TreeSnapshot{{page, kPage}, {taker_file, kPage}}));
}

INSTANTIATE_TEST_SUITE_P(Taken, TakenNameTest,
                         ::testing::Values(TakenName{"ByAFolder", "c.page", "c.pag/"},
                                           TakenName{"ByAFileInOtherCase", "r.page", "R.PAG"}),
                         [](const auto& test) { return std::string(test.param.by); });

// A writer appends lines to a long page while the tree is localised, each time opening it
// without sharing deletion. An append lands before the page is read and is translated along,
// is refused while the module holds the page, or lands in the page that replaced it. A gap
// between reading a page and deleting it is short and met only now and then: several rounds.
class AppendingWriterTest : public TemplateSharingTest, public ::testing::WithParamInterface<int> {};

TEST_P(AppendingWriterTest, NoAppendedLineIsLost) {
  std::string english = "PAGE {\r\nHome\r\n", french = "PAGE {\r\nAccueil\r\n";
  while (english.size() < 100 * 1024) {
    english += "Input line of a long page\r\n";
    french += "Champ line of a long page\r\n";
  }
  testing::TreeSnapshot expected = WritePages(20, english, french);
  const std::string target = "p10.pag";
  std::atomic<int> attempts{0}, appends{0};
  std::vector<std::string> appended;  // the writer's alone until it is joined
  Thread writer([&](const std::atomic<bool>& stop) {
    while (!stop) {
      const std::string line = "\nAPPEND " + std::to_string(attempts++) + "\r\n";
      HANDLE file = Open(target, FILE_APPEND_DATA, kShareNoDelete);
      if (file == INVALID_HANDLE_VALUE) continue;
      DWORD put = 0;
      const DWORD size = static_cast<DWORD>(line.size() - 1);
      if (WriteFile(file, line.data() + 1, size, &put, nullptr) && put == size) appended.push_back(line), ++appends;
      CloseHandle(file);
      Sleep(1);  // leaves the page unheld most of the time, as a writer between lines does
    }
  });
  for (int waited = 0; appends == 0 && waited < 5000; ++waited) Sleep(1);
  ASSERT_GT(appends, 0) << "the writer cannot append";
  const int before = attempts;
  Localise();
  const int during = attempts - before;
  writer.Stop();
  ASSERT_GT(during, 10) << "the writer hardly tried during the call";
  const testing::TreeSnapshot after = tree_.Snapshot();
  ASSERT_TRUE(after.count(target)) << Names(after);
  const std::string text = after.at(target);
  EXPECT_TRUE(text.starts_with(french) || text.starts_with(english)) << "the page lost its text";
  std::vector<std::string> lost;
  for (const std::string& line : appended)
    if (text.find(line) == std::string::npos) lost.push_back(line.substr(1, line.size() - 3));
  EXPECT_TRUE(lost.empty()) << ::testing::PrintToString(lost) << " lost of " << appended.size() << " appends, "
                            << during << " tries during the call, the page in "
                            << (text.starts_with(french) ? "French" : "English");
  expected.erase(target);
  testing::TreeSnapshot others = after;
  others.erase(target);
  EXPECT_TRUE(others == expected) << "other pages: " << Names(others);
}

INSTANTIATE_TEST_SUITE_P(Rounds, AppendingWriterTest, ::testing::Range(0, 30));

}  // namespace
}  // namespace setupext
