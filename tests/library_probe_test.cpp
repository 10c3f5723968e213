// The library list probe: its comparison rules on their own, and the module's export against
// the settings store (the folder stand-in here, the real registry in the Windows build).
#include "probe/library_probe.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "support/allocation_faults.h"
#include "support/module_under_test.h"
#include "support/scratch_registry.h"
#include "support/test_host.h"

namespace setupext {
namespace {

using testing::ScratchRegistry;
using testing::TestHost;
using std::string_literals::operator""s;

TEST(StoredText, EndsAtTheFirstNulOrTheStoredLength) {
  const struct {
    std::string stored;
    std::string text;
  } cases[] = {
      {"Sounds\0"s, "Sounds"},
      {"Sounds"s, "Sounds"},         // stored without its NUL
      {"Sounds\0junk\0"s, "Sounds"},
      {""s, ""},                     // a value of size zero
      {"\0Sounds\0"s, ""},
  };
  for (const auto& c : cases) EXPECT_EQ(StoredText(c.stored), c.text) << c.stored;
}

TEST(EntryNamesLibrary, FoldsOnlyAsciiLettersAndNeverCutsAnEntry) {
  const struct {
    std::string entry;
    std::string wanted;
    bool same;
  } cases[] = {
      {"Sounds", "SOUNDS", true},
      {"clipART", "ClipArt", true},
      {"Sounds", "Sound", false},
      {"Sound", "Sounds", false},
      {"Vid\xE9o", "VID\xC9O", false},  // accented letters do not fold
      {"Vid\xE9o", "VID\xE9O", true},
      {"[lib]", "{lib}", false},         // 0x5B/0x7B differ by the case bit but are not letters
      {"@", "`", false},
      {"lib 1", "LIB 1", true},
      {std::string(4095, 'x'), std::string(4095, 'X'), true},
      {std::string(4096, 'x'), std::string(4096, 'x'), false},  // does not fit the entry buffer
  };
  for (const auto& c : cases) {
    EXPECT_EQ(EntryNamesLibrary(c.entry, c.wanted), c.same) << c.entry.substr(0, 20) << " / " << c.wanted.substr(0, 20);
  }
}

std::string Sz(std::string_view text) { return std::string(text) + '\0'; }

class IsLibInstalledTest : public ::testing::Test {
 protected:
  void SetUp() override {
    probe_ = testing::ModuleOperation("IsLibInstalled");
    ASSERT_NE(probe_, nullptr);
  }

  std::string UserList() const { return registry_.path() + "\\Library"; }
  std::string DefaultKey() const { return ".Default\\" + registry_.path(); }
  std::string DefaultList() const { return DefaultKey() + "\\Library"; }

  void PutEntries(const std::string& list, std::initializer_list<std::string> entries) {
    int n = 0;
    for (const std::string& entry : entries) {
      registry_.Put(list == UserList() ? RegistryRoot::kCurrentUser : RegistryRoot::kUsers, list,
                    "LibName" + std::to_string(++n), "REG_SZ", Sz(entry));
    }
  }

  // Calls the export with LIBNAME and the scratch settings path; the result and LIBNUMAVAIL.
  std::pair<int, std::optional<std::string>> Ask(std::string_view libname) {
    TestHost host(4);
    host.Set("LIBNAME", libname);
    host.Set("INIREG2", registry_.path());
    int result = probe_(host.block());
    return {result, host.Find("LIBNUMAVAIL")};
  }
  using Answer = std::pair<int, std::optional<std::string>>;
  static Answer Listed() { return {1, std::nullopt}; }
  static Answer NextFree(int n) { return {0, std::to_string(n)}; }

  ScratchRegistry registry_;
  testing::Operation probe_ = nullptr;
};

// What the current user's list holds, and what the probe answers for each name asked.
TEST_F(IsLibInstalledTest, ReadsTheUsersListUpToItsFirstGap) {
  struct Entry {
    int n;
    std::string_view type;
    std::string bytes;
  };
  const struct {
    const char* what;
    std::vector<Entry> entries;
    std::vector<std::pair<std::string, Answer>> asked;
  } cases[] = {
      {"ASCII letters fold",
       {{1, "REG_SZ", Sz("Clipart")}, {2, "REG_SZ", Sz("Sounds")}},
       {{"SOUNDS", Listed()}, {"clipart", Listed()}, {"Photos", NextFree(3)}, {"Photos", NextFree(3)},
        {"Sound", NextFree(3)}, {"", NextFree(3)}}},
      {"accented letters do not fold",
       {{1, "REG_SZ", Sz("Vid\xE9o")}},
       {{"VID\xC9O", NextFree(2)}, {"VID\xE9O", Listed()}}},
      {"the list ends at the first missing entry",
       {{1, "REG_SZ", Sz("Clipart")}, {2, "REG_SZ", Sz("Sounds")}, {4, "REG_SZ", Sz("Photos")}},
       {{"Photos", NextFree(3)}}},
      {"an empty entry with its NUL ends the list",
       {{1, "REG_SZ", Sz("Clipart")}, {2, "REG_SZ", Sz("")}, {3, "REG_SZ", Sz("Photos")}},
       {{"Photos", NextFree(2)}}},
      {"an entry of size zero ends the list",
       {{1, "REG_SZ", Sz("Clipart")}, {2, "REG_SZ", ""}, {3, "REG_SZ", Sz("Photos")}},
       {{"Photos", NextFree(2)}}},
      {"an expandable string ends the list",
       {{1, "REG_SZ", Sz("Clipart")}, {2, "REG_EXPAND_SZ", Sz("Sounds")}, {3, "REG_SZ", Sz("Photos")}},
       {{"Sounds", NextFree(2)}, {"Photos", NextFree(2)}}},
      {"a multi-string ends the list",
       {{1, "REG_SZ", Sz("Clipart")}, {2, "REG_MULTI_SZ", "Sounds\0\0"s}, {3, "REG_SZ", Sz("Photos")}},
       {{"Sounds", NextFree(2)}, {"Photos", NextFree(2)}}},
      {"binary data ends the list",
       {{1, "REG_SZ", Sz("Clipart")}, {2, "REG_BINARY", Sz("Sounds")}, {3, "REG_SZ", Sz("Photos")}},
       {{"Sounds", NextFree(2)}, {"Photos", NextFree(2)}}},
      {"entries stored without their NUL end at their stored length",
       {{1, "REG_SZ", "Clip"}, {2, "REG_SZ", "Sounds"}, {3, "REG_SZ", "Photos\0stale tail\0"s}},
       {{"Sounds", Listed()}, {"Clipart", NextFree(4)}, {"Photos", Listed()}}},
      {"an over-long entry holds its number but matches nothing",
       {{1, "REG_SZ", Sz(std::string(5000, 'x'))},
        {2, "REG_SZ", Sz(std::string(4096, 'y'))},
        {3, "REG_SZ", Sz(std::string(4095, 'z'))},
        {4, "REG_SZ", Sz("Sounds")}},
       {{"Sounds", Listed()}, {std::string(4095, 'x'), NextFree(5)}, {std::string(4095, 'y'), NextFree(5)},
        {std::string(4095, 'Z'), Listed()}, {"Photos", NextFree(5)}}},
  };
  for (const auto& c : cases) {
    ScratchRegistry registry;
    for (const Entry& entry : c.entries) {
      registry.Put(RegistryRoot::kCurrentUser, registry.path() + "\\Library", "LibName" + std::to_string(entry.n),
                   entry.type, entry.bytes);
    }
    for (const auto& [libname, answer] : c.asked) {
      TestHost host(4);
      host.Set("LIBNAME", libname);
      host.Set("INIREG2", registry.path());
      const int result = probe_(host.block());
      EXPECT_EQ(Answer(result, host.Find("LIBNUMAVAIL")), answer) << c.what << ": " << libname.substr(0, 20);
    }
  }
}

TEST_F(IsLibInstalledTest, TheDefaultProfilesListWinsWheneverItExists) {
  PutEntries(UserList(), {"Clipart", "Sounds"});
  registry_.CreateKey(RegistryRoot::kUsers, DefaultKey());
  ASSERT_TRUE(registry_.KeyExists(RegistryRoot::kUsers, DefaultKey()));
  EXPECT_EQ(Ask("Sounds"), Listed()) << "a default key without a list leaves the user's list";

  registry_.CreateKey(RegistryRoot::kUsers, DefaultList());
  ASSERT_TRUE(registry_.KeyExists(RegistryRoot::kUsers, DefaultList()));
  EXPECT_EQ(Ask("Sounds"), NextFree(1)) << "an empty default list still wins";

  PutEntries(DefaultList(), {"Photos"});
  EXPECT_EQ(Ask("Photos"), Listed());
  EXPECT_EQ(Ask("Clipart"), NextFree(2));
}

// Looking without making the user's key (--explain) reads the same list as the call: the
// default profile's, even where the user has no key yet.
TEST_F(IsLibInstalledTest, LookingWithoutTheUsersKeyStillReadsTheDefaultList) {
  PutEntries(DefaultList(), {"Clipart", "Photos"});
  PathVariable path;
  ASSERT_TRUE(path.Assign(registry_.path()));
  const struct {
    const char* wanted;
    bool listed;
    std::uint32_t first_free;
  } cases[] = {{"photos", true, 0}, {"Sounds", false, 3}};
  for (const auto& c : cases) {
    const LibraryAnswer answer = LookForLibrary(c.wanted, path, false, nullptr);
    EXPECT_EQ(answer.listed, c.listed) << c.wanted;
    if (!c.listed) {
      EXPECT_EQ(answer.first_free, c.first_free) << c.wanted;
    }
  }
  EXPECT_FALSE(registry_.KeyExists(RegistryRoot::kCurrentUser, registry_.path()));
}

TEST_F(IsLibInstalledTest, CreatesTheUsersKeyOnAFreshProfile) {
  ASSERT_FALSE(registry_.KeyExists(RegistryRoot::kCurrentUser, registry_.path()));
  EXPECT_EQ(Ask("Sounds"), NextFree(1));
  EXPECT_TRUE(registry_.KeyExists(RegistryRoot::kCurrentUser, registry_.path()));
  EXPECT_FALSE(registry_.KeyExists(RegistryRoot::kCurrentUser, UserList()));
  EXPECT_FALSE(registry_.KeyExists(RegistryRoot::kUsers, DefaultKey()));
}

// Inputs the probe refuses: result 0, no key created, LIBNUMAVAIL as it was.
TEST_F(IsLibInstalledTest, RefusedInputsTouchNeitherTheStoreNorTheTable) {
  const std::string long_path = [&] {
    std::string path = registry_.path();
    while (path.size() < 1015) path += "\\deeper";
    return path.substr(0, 1015);
  }();
  const struct {
    const char* what;
    std::string libname;
    std::string path;
  } cases[] = {
      {"path over 1014 characters", "Sounds", long_path},
      {"path not fitting its buffer", "Sounds", registry_.path() + "\\" + std::string(1024, 'p')},
      {"name not fitting its buffer", std::string(4096, 'n'), registry_.path()},
  };
  for (const auto& c : cases) {
    TestHost host(4, 32, 8192);
    host.Set("LIBNUMAVAIL", "stale");
    host.Set("LIBNAME", c.libname);
    host.Set("INIREG2", c.path);
    EXPECT_EQ(probe_(host.block()), 0) << c.what;
    EXPECT_EQ(host.Find("LIBNUMAVAIL"), "stale") << c.what;
    EXPECT_FALSE(registry_.KeyExists(RegistryRoot::kCurrentUser, registry_.path())) << c.what;
  }

  TestHost host(3, 32, 64);  // INIREG2 in the last live slot, with no NUL in its width
  host.Set("LIBNAME", "Sounds");
  host.PutRaw(1, "%INIREG2%\0"s, std::string(64, 'S'));
  host.block()->count = 2;
  EXPECT_EQ(probe_(host.block()), 0);
  EXPECT_EQ(host.Find("LIBNUMAVAIL"), std::nullopt);
}

TEST_F(IsLibInstalledTest, APathOf1014CharactersIsStillServed) {
  std::string path = registry_.path();
  while (path.size() < 1014) path += "\\deeper";
  path.resize(1014);
  if (path.back() == '\\') path.back() = 'x';
  const std::string sibling = path.substr(0, path.size() - 1) + "y";
  registry_.CreateKey(RegistryRoot::kCurrentUser, sibling);
  if (!registry_.KeyExists(RegistryRoot::kCurrentUser, sibling)) {
    // Wine's registry takes key paths of at most 259 characters through its ANSI calls.
    GTEST_SKIP() << "the settings store holds no key path this long";
  }
  TestHost host(4);
  host.Set("LIBNAME", "Sounds");
  host.Set("INIREG2", path);
  EXPECT_EQ(probe_(host.block()), 0);
  EXPECT_EQ(host.Find("LIBNUMAVAIL"), "1");
  EXPECT_TRUE(registry_.KeyExists(RegistryRoot::kCurrentUser, path));
}

TEST_F(IsLibInstalledTest, AKeyThatCannotBeCreatedGivesNoNumber) {
  TestHost host(4);
  host.Set("LIBNAME", "Sounds");
  host.Set("INIREG2", registry_.UncreatablePath());
  EXPECT_EQ(probe_(host.block()), 0);
  EXPECT_EQ(host.Find("LIBNUMAVAIL"), std::nullopt);
}

TEST_F(IsLibInstalledTest, AFullTableTakesNoNumber) {
  PutEntries(UserList(), {"Clipart", "Sounds"});
  TestHost host(2);
  host.Set("LIBNAME", "Photos");
  host.Set("INIREG2", registry_.path());
  EXPECT_EQ(probe_(host.block()), 0);
  EXPECT_EQ(host.block()->count, 2u);
  EXPECT_EQ(host.Find("LIBNUMAVAIL"), std::nullopt);

  TestHost narrow(3, 32, 1);  // room for a slot, none for the text "3" and its NUL
  narrow.PutRaw(0, "%LIBNAME%\0"s, "\0"s);
  narrow.block()->count = 1;
  EXPECT_EQ(probe_(narrow.block()), 0);
  EXPECT_EQ(narrow.block()->count, 1u);
}

// The probe's own code with each growth of its memory failing, once and from then on: a value
// that cannot be read ends the list there, as a missing one does. Each entry's read takes its
// memory in one growth, so the nth failing growth ends the list at entry n.
TEST_F(IsLibInstalledTest, AValueThatCannotBeReadEndsTheList) {
  PutEntries(UserList(), {"Clipart", "Sounds", "Photos"});
  struct Run {
    Answer answer;
    int growths;
  };
  const auto run = [&](int fail_at, bool persistent) {
    TestHost host(4);
    host.Set("LIBNAME", "Photos");
    host.Set("INIREG2", registry_.path());
    testing::FailAllocationsFrom(fail_at, persistent);
    const int result = FindLibraryInList(*host.block()) ? 1 : 0;
    const int growths = testing::FailAllocationsFrom(0, false);
    return Run{{result, host.Find("LIBNUMAVAIL")}, growths};
  };
  const Run whole = run(0, false);
  ASSERT_EQ(whole.answer, Listed());
  ASSERT_EQ(whole.growths, 3);
  for (const bool persistent : {false, true}) {
    for (int n = 1; n <= whole.growths; ++n)
      EXPECT_EQ(run(n, persistent).answer, NextFree(n)) << "growth " << n << (persistent ? " and later" : "");
  }
}

}  // namespace
}  // namespace setupext
