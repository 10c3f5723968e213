#include "template/page_localiser.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "support/faulty_files.h"

namespace setupext {
namespace {

namespace fs = std::filesystem;
using testing::FaultyFiles;
using testing::FileCall;

using namespace std::string_literals;

// A mixed page: short, empty and long lines, markers, keywords and every special byte.
std::string MixedPage(std::size_t lines) {
  std::string page = "Input header Home\r\n\0\n"s + "x PAGE { y\n" + "Home Input\n";
  std::mt19937 random(7);
  const std::string pieces[] = {"Input", "Home", "\xFE", "PowerByTORVEKEN", "\r", "\0"s, "\x1A", "\xFF",
                                "back", "Form", "x", "PAGE {", " "};
  for (std::size_t i = 0; i < lines; ++i) {
    std::size_t length = random() % 8 == 0 ? random() % 3000 : random() % 40;
    for (std::size_t j = 0; j < length; ++j) page += pieces[random() % std::size(pieces)];
    page += '\n';
  }
  return page + "Input at the end";
}

// Fails the nth read or write of an in-memory page.
class FailingStreams {
 public:
  FailingStreams(std::string page, int fail_read, int fail_write)
      : page_(std::move(page)), fail_read_(fail_read), fail_write_(fail_write) {}
  std::ptrdiff_t Read(char* buffer, std::size_t size) {
    if (++reads_ == fail_read_) return -1;
    std::size_t take = std::min(size, page_.size() - offset_);
    std::copy_n(page_.data() + offset_, take, buffer);
    offset_ += take;
    return static_cast<std::ptrdiff_t>(take);
  }
  bool Write(const char* data, std::size_t size) {
    if (++writes_ == fail_write_) return false;
    if (writes_ > fail_write_ && fail_write_ > 0) written_after_failure_ = true;
    written_.append(data, size);
    return true;
  }
  int reads_ = 0, writes_ = 0;
  bool written_after_failure_ = false;
  std::string written_;

 private:
  std::string page_;
  std::size_t offset_ = 0;
  int fail_read_, fail_write_;
};

bool TranslateThrough(FailingStreams& streams, std::size_t size) {
  return TranslatePage([&](char* buffer, std::size_t n) { return streams.Read(buffer, n); },
                       [&](const char* data, std::size_t n) { return streams.Write(data, n); }, size);
}

TEST(TranslatePage, ReportsEveryReadAndWriteError) {
  const std::string page = MixedPage(100);
  const std::size_t size = 256;
  FailingStreams clean(page, 0, 0);
  ASSERT_TRUE(TranslateThrough(clean, size));
  ASSERT_EQ(clean.written_, LocalisePageText(page));
  ASSERT_GT(clean.reads_, 3);
  ASSERT_GT(clean.writes_, 3);

  for (int n = 1; n <= clean.reads_; ++n) {
    FailingStreams failing(page, n, 0);
    EXPECT_FALSE(TranslateThrough(failing, size)) << "read " << n;
    EXPECT_LT(failing.written_.size(), clean.written_.size()) << "read " << n;
  }
  for (int n = 1; n <= clean.writes_; ++n) {
    FailingStreams failing(page, 0, n);
    EXPECT_FALSE(TranslateThrough(failing, size)) << "write " << n;
    EXPECT_FALSE(failing.written_after_failure_) << "write " << n;
  }
}

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFile(const fs::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  ASSERT_TRUE(out.good()) << path;
}

// A folder of its own under the system's temporary folder, removed afterwards.
class PageFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::mt19937_64 random(std::random_device{}() ^
                           static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()));
    for (int attempt = 0; attempt < 100 && folder_.empty(); ++attempt) {
      fs::path candidate = fs::temp_directory_path() / ("setupext-page-" + std::to_string(random()));
      if (fs::create_directory(candidate)) folder_ = candidate;
    }
    ASSERT_FALSE(folder_.empty());
    page_ = folder_ / "index.pag";
    output_ = folder_ / "index.tmp";
  }
  void TearDown() override {
    if (folder_.empty()) return;
    std::error_code ignored;
    for (const auto& entry : fs::recursive_directory_iterator(folder_, ignored)) {
      fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add, ignored);
    }
    fs::remove_all(folder_, ignored);
  }

  bool Localise(Files& files) { return LocalisePage(files, page_.string(), output_.string()) == PageOutcome::kLocalised; }
  std::vector<std::string> FolderNames() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder_)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

  fs::path folder_, page_, output_;
};

TEST_F(PageFileTest, WritesTheTranslationAndDeletesThePage) {
  const std::string pages[] = {"", "no header\r\nInput\r\n", "PAGE {\nHome\nInput \xFE" "back", MixedPage(2000)};
  for (const std::string& page : pages) {
    WriteFile(page_, page);
    FaultyFiles files;
    EXPECT_TRUE(Localise(files)) << page.size();
    EXPECT_TRUE(files.quiet_before_create());
    EXPECT_FALSE(fs::exists(page_));
    EXPECT_EQ(ReadFile(output_), LocalisePageText(page)) << page.size();
    fs::remove(output_);
  }
}

TEST_F(PageFileTest, TakenOutputNameLeavesBothFilesAlone) {
  WriteFile(page_, "PAGE {\nHome\nInput\n");
  WriteFile(output_, "someone else's");
  EXPECT_FALSE(Localise(SystemFiles()));
  EXPECT_EQ(ReadFile(page_), "PAGE {\nHome\nInput\n");
  EXPECT_EQ(ReadFile(output_), "someone else's");
}

TEST_F(PageFileTest, MissingPageLeavesNoOutput) {
  EXPECT_FALSE(Localise(SystemFiles()));
  EXPECT_TRUE(FolderNames().empty());
}

TEST_F(PageFileTest, UndeletablePageKeepsItsTextAndLeavesNoOutput) {
  // The page sits in a locked folder and is itself read-only: Windows refuses to delete a
  // read-only file, POSIX a file in a folder without write permission.
  const fs::path locked = folder_ / "locked";
  fs::create_directory(locked);
  page_ = locked / "index.pag";
  const std::string text = "PAGE {\nHome\nInput\n";
  WriteFile(page_, text);
  const auto write = fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
  fs::permissions(page_, write, fs::perm_options::remove);
  fs::permissions(locked, write, fs::perm_options::remove);
  {
    // Privileged users delete such a page anyway; then there is nothing to test here.
    const fs::path probe = locked / "probe.pag";
    std::error_code ignored;
    fs::copy_file(page_, probe, ignored);
    fs::permissions(probe, write, fs::perm_options::remove, ignored);
    if (SystemFiles().Remove(probe.string())) GTEST_SKIP() << "read-only pages can be deleted here";
  }
  EXPECT_FALSE(Localise(SystemFiles()));
  EXPECT_EQ(ReadFile(page_), text);
  EXPECT_FALSE(fs::exists(output_));
}

TEST_F(PageFileTest, EveryFailurePointKeepsThePageAndLeavesNoOutput) {
  // Several reading and writing buffers' worth, with lines across the buffer boundaries.
  const std::string page = MixedPage(400);
  ASSERT_GT(page.size(), 3 * kPageBufferSize) << "too short to cross buffers";
  WriteFile(page_, page);
  FaultyFiles clean;
  ASSERT_TRUE(Localise(clean));
  ASSERT_EQ(ReadFile(output_), LocalisePageText(page));
  ASSERT_GE(clean.count(FileCall::kRead), 4);
  ASSERT_GE(clean.count(FileCall::kWrite), 3);
  ASSERT_EQ(clean.count(FileCall::kFlush), 1);
  ASSERT_EQ(clean.count(FileCall::kDelete), 1);
  fs::remove(output_);

  struct Sweep {
    FaultyFiles::Fault fault;
    std::vector<FileCall> calls;
  };
  const Sweep sweeps[] = {
      {FaultyFiles::Fault::kError,
       {FileCall::kCreate, FileCall::kOpen, FileCall::kRead, FileCall::kWrite, FileCall::kFlush, FileCall::kClose,
        FileCall::kDelete}},
      {FaultyFiles::Fault::kThrow,
       {FileCall::kCreate, FileCall::kOpen, FileCall::kRead, FileCall::kWrite, FileCall::kFlush, FileCall::kDelete}},
  };
  for (const Sweep& sweep : sweeps) {
    for (FileCall call : sweep.calls) {
      for (int n = 1; n <= clean.count(call); ++n) {
        const std::string point = std::string(FileCallName(call)) + " " + std::to_string(n) +
                                  (sweep.fault == FaultyFiles::Fault::kThrow ? " throwing" : "");
        WriteFile(page_, page);
        FaultyFiles files;
        files.FailNth(call, n, sweep.fault);
        bool localised = true;
        EXPECT_NO_THROW(localised = Localise(files)) << point;
        EXPECT_FALSE(localised) << point;
        EXPECT_EQ(ReadFile(page_), page) << point;
        EXPECT_EQ(FolderNames(), std::vector<std::string>{"index.pag"}) << point;
      }
    }
  }
}

}  // namespace
}  // namespace setupext
