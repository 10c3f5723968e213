#include "template/page_localiser.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "support/faulty_files.h"
#include "support/reference_translation.h"

namespace setupext {
namespace {

namespace fs = std::filesystem;
using testing::FaultyFiles;
using testing::FileCall;

using namespace std::string_literals;

// Reading and writing buffer sizes that put line ends on, before and after buffer boundaries.
const std::size_t kBufferSizes[] = {1, 2, 3, 7, 64, kPageBufferSize};

struct Case {
  const char* what;
  std::string page;
  std::string expected;
};

void ExpectLocalised(std::span<const Case> cases);

TEST(LocalisePageText, HeaderTitleAndBody) {
  const Case cases[] = {
      {"no header end: nothing replaced", "Input Home\r\nPowerByTORVEKEN \xFE" "back\n",
       "Input Home\r\nPowerByTORVEKEN \xFE" "back\n"},
      {"empty page", "", ""},
      {"header kept up to and with the first PAGE { line",
       "Input home\nLink x PAGE { Input Home\nInput Home\nInput\n",
       "Input home\nLink x PAGE { Input Home\nInput Accueil\nChamp\n"},
      {"title: labels without the marker, no keyword", "PAGE {\nInput Home PowerByTORVEKEN\n",
       "PAGE {\nInput Accueil PowerByTORVEKEN\n"},
      {"body without marker: keywords only", "PAGE {\n\nInput Home\n", "PAGE {\n\nChamp Home\n"},
      {"body with marker: labels too", "PAGE {\n\nInput \xFEHome\n", "PAGE {\n\nChamp \xFE" "Accueil\n"},
      {"Inputs", "PAGE {\n\nInputs InputInput\n", "PAGE {\n\nChamps ChampChamp\n"},
      {"brand marker", "PAGE {\nPowerByTORVEKEN\nPowerByTORVEKEN Form\n",
       "PAGE {\nPowerByTORVEKEN\nPowerByTORVEKFR Form\n"},
      {"every label on a marked line", "PAGE {\n\n\xFE" "back Sound Video LINK next\n",
       "PAGE {\n\n\xFEpr\xE9" "c\xE9" "dente Son Vid\xE9" "o LIEN suivante\n"},
      {"second PAGE { is body, and so is the line after it", "PAGE {\nt\nPAGE { Input\nHome Input\n",
       "PAGE {\nt\nPAGE { Champ\nHome Champ\n"},
      {"header end is case- and space-sensitive", "page {\nPAGE{\nHome\nInput\n",
       "page {\nPAGE{\nHome\nInput\n"},
      {"CR LF pairs kept", "a\r\nPAGE {\r\nHome\r\nInput\r\n\r\n", "a\r\nPAGE {\r\nAccueil\r\nChamp\r\n\r\n"},
      {"0x1A and 0xFF are ordinary bytes", "PAGE {\n\x1A\xFF\nA\x1A" "B\xFF Input\nInput\n",
       "PAGE {\n\x1A\xFF\nA\x1A" "B\xFF Champ\nChamp\n"},
      {"last body line without LF", "PAGE {\nx\nInput", "PAGE {\nx\nChamp"},
      {"last title line without LF", "PAGE {\nHome", "PAGE {\nAccueil"},
      {"page ends at the header end", "a\nPAGE {", "a\nPAGE {"},
      {"page ends right after the header end", "a\nPAGE {\n", "a\nPAGE {\n"},
      {"lone CR does not end a line", "PAGE {\rHome\nHome\rInput\n", "PAGE {\rHome\nAccueil\rInput\n"},
  };
  ExpectLocalised(cases);
}

TEST(LocalisePageText, ZeroBytesAreOrdinary) {
  const std::string utf16_page = "P\0A\0G\0E\0 \0{\0\r\0\n\0I\0n\0p\0u\0t\0\r\0\n\0"s;
  const Case cases[] = {
      {"zero inside body lines kept, no split", "PAGE {\n\n\0Input\0\nHome\0\n"s,
       "PAGE {\n\n\0Champ\0\nHome\0\n"s},
      {"zero at the start of a header line", "\0head Input\nPAGE {\nHome\nInput\n"s,
       "\0head Input\nPAGE {\nAccueil\nChamp\n"s},
      {"zero splits no title from the body", "PAGE {\nHo\0me Input\nInput\n"s,
       "PAGE {\nHo\0me Input\nChamp\n"s},
      {"zero at the start of a body line does not end the page", "PAGE {\n\n\0\nInput\n"s,
       "PAGE {\n\n\0\nChamp\n"s},
      {"UTF-16 page comes through whole", utf16_page, utf16_page},
  };
  ExpectLocalised(cases);
}

void ExpectLocalised(std::span<const Case> cases) {
  for (const Case& c : cases) {
    for (std::size_t size : kBufferSizes) {
      EXPECT_EQ(LocalisePageText(c.page, size), c.expected) << c.what << " (buffers of " << size << ")";
    }
  }
}

TEST(LocalisePageText, LongLinesAreProcessedWhole) {
  for (std::size_t length : {1023u, 1024u, 1025u, 4095u, 65535u, 65536u, 65537u, 300000u}) {
    const std::string fill(length, 'x');
    // Keywords at the start, across the middle and at the end; the marker only at the end.
    const std::string body = "Input" + fill + "Inp" + "ut" + fill + "Home\xFE\n";
    const std::string body_out = "Champ" + fill + "Champ" + fill + "Accueil\xFE\n";
    const std::string title = "Home" + fill + "Input" + fill + "back\n";
    const std::string title_out = "Accueil" + fill + "Input" + fill + "pr\xE9" "c\xE9" "dente\n";
    const std::string header = fill + "PAGE {" + fill + "Input\n";
    const std::string page = header + title + body + body;
    const std::string expected = header + title_out + body_out + body_out;
    for (std::size_t size : {std::size_t{1000}, std::size_t{4096}, kPageBufferSize}) {
      EXPECT_EQ(LocalisePageText(page, size), expected) << "lines of " << length << ", buffers of " << size;
    }
  }
}

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

TEST(LocalisePageText, SameBytesWhateverTheBufferSize) {
  const std::string page = MixedPage(300);
  const std::string expected = LocalisePageText(page);
  ASSERT_NE(expected, page);
  for (std::size_t size = 1; size <= 40; ++size) {
    EXPECT_EQ(LocalisePageText(page, size), expected) << "buffers of " << size;
  }
}

// Pages built from the words the translation looks for, their pieces, words that an earlier
// label's French text completes ("homeink" -> "accueilink" -> "accueilien"), and the bytes
// that end or mark lines, against the plain line-by-line translation.
TEST(LocalisePageText, MatchesTheLineByLineTranslation) {
  const std::string pieces[] = {"Input", "Inp", "ut", "PowerByTORVEKEN", "PowerByTORVEK", "EN", "\xFE", "\n", "\r\n",
                                "\0"s, "PAGE {", "PAGE", " {", "home", "ink", "Link", "LINK", "next", "Next",
                                "NEXT", "back", "Back", "BACK", "Form", "ulaire", "Sound", "Video", "HOME", "Home",
                                "x", " ", "\xFF"};
  std::mt19937 random(11);
  for (int round = 0; round < 300; ++round) {
    std::string page;
    const std::size_t length = random() % 400;
    for (std::size_t i = 0; i < length; ++i) page += pieces[random() % std::size(pieces)];
    const std::string expected = testing::ReferenceTranslation(page);
    for (std::size_t size : {std::size_t{1}, std::size_t{5}, std::size_t{16}, kPageBufferSize}) {
      ASSERT_EQ(LocalisePageText(page, size), expected) << "round " << round << ", buffers of " << size;
    }
  }
  EXPECT_EQ(LocalisePageText("PAGE {\n\n\xFE" "homeink\n"), "PAGE {\n\n\xFE" "accueilien\n");
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
