// The module as the installer meets it: loaded by file name, operations found by name and
// called with the address of a variable table.
#include <gtest/gtest.h>

#include <ctime>
#include <iomanip>
#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "loaded_module.h"
#include "platform/files.h"
#include "support/scratch_registry.h"
#include "support/small_stack.h"
#include "support/temp_tree.h"
#include "support/test_host.h"
#include "support/text_guarantee.h"

namespace setupext {
namespace {

class ModuleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(module_.Load(ModuleBesideExecutable(), &error)) << error;
  }
  Operation Find(const char* name) { return module_.FindOperation(name); }

  LoadedModule module_;
};

TEST_F(ModuleTest, LoadsAndUnloadsWithoutACall) {
  for (int i = 0; i < 3; ++i) {
    LoadedModule again;
    std::string error;
    EXPECT_TRUE(again.Load(ModuleBesideExecutable(), &error)) << error;
  }
}

TEST_F(ModuleTest, ExportsNothingButItsOperations) {
  EXPECT_EQ(module_.Find("GetHostVariable"), nullptr);
  EXPECT_EQ(module_.Find("ReplaceAll"), nullptr);
  EXPECT_EQ(module_.Find("DllMain"), nullptr);
}

TEST_F(ModuleTest, TemplateOperationsAnswerOneWhateverHappens) {
  for (const char* name : {"fctLocaliseTemplate", "fctRenLabelInTemplagePages"}) {
    Operation operation = Find(name);
    ASSERT_NE(operation, nullptr) << name;
    EXPECT_EQ(operation(nullptr), 1) << name;
    testing::TestHost empty;
    EXPECT_EQ(operation(empty.block()), 1) << name;
  }
}

TEST_F(ModuleTest, LocaliseTemplateRewritesTheTreeInPlace) {
  Operation operation = Find("fctLocaliseTemplate");
  ASSERT_NE(operation, nullptr);
  testing::TempTree tree;
  tree.Write("a.pag", "Input\r\nPAGE {\r\nHome\r\nInput \xFE" "Back\r\n");
  tree.Write("sub/b.page", "PAGE {\n");
  testing::TestHost host;
  host.Set("TEMPLPATH", tree.root_text());
  host.Set("LANG", "Fran\xE7" "ais");
  EXPECT_EQ(operation(host.block()), 1);
  const testing::TreeSnapshot expected = {
      {"a.pag", "Input\r\nPAGE {\r\nAccueil\r\nChamp \xFE" "Pr\xE9" "c\xE9" "dente\r\n"},
      {"sub/b.pag", "PAGE {\n"}};
  EXPECT_EQ(tree.Snapshot(), expected);
}

// What happened is told to the script only when it asks: counts into variables it made, a
// log into the file it names. A log that cannot be written changes nothing else.
TEST_F(ModuleTest, TemplateOperationsTellTheScriptWhenAsked) {
  Operation operation = Find("fctLocaliseTemplate");
  ASSERT_NE(operation, nullptr);
  const struct {
    bool counts;
    bool log;      // a log file in a folder that exists
    bool bad_log;  // a log named by a folder: cannot be written
  } cases[] = {{false, false, false}, {true, false, false}, {true, true, false}, {false, true, false}, {true, false, true}};
  for (const auto& c : cases) {
    testing::TempTree tree;
    tree.Write("pages/a.pag", "PAGE {\nHome\n");
    tree.Write("pages/b.page", "PAGE {\nBack\n");
    tree.Write("pages/b.pag", "PAGE {\nAccueil\n");
    testing::TestHost host;
    host.Set("TEMPLPATH", tree.root_text() + PathSeparator() + "pages");
    if (c.counts) {
      host.Set("PAGESLOCALISED", "");
      host.Set("PAGESLEFT", "");
      host.Set("FOLDERSUNLISTED", "");
    }
    // A log is appended to: an earlier call's lines stay.
    if (c.log) tree.Write("run.log", "an earlier call\n");
    const std::string log = tree.root_text() + PathSeparator() + (c.bad_log ? "pages" : "run.log");
    if (c.log || c.bad_log) host.Set("SETUPEXTLOG", log);
    const std::time_t before = std::time(nullptr);
    EXPECT_EQ(operation(host.block()), 1);
    const std::time_t called = std::time(nullptr);
    const testing::TreeSnapshot after = tree.Snapshot();
    EXPECT_EQ(after.at("pages/a.pag"), "PAGE {\nAccueil\n") << "the log never changes what the call does";
    EXPECT_EQ(host.Find("PAGESLOCALISED"), c.counts ? std::optional<std::string>("1") : std::nullopt);
    EXPECT_EQ(host.Find("PAGESLEFT"), c.counts ? std::optional<std::string>("1") : std::nullopt);
    EXPECT_EQ(host.Find("FOLDERSUNLISTED"), c.counts ? std::optional<std::string>("0") : std::nullopt);
    if (c.log) {
      ASSERT_EQ(after.count("run.log"), 1u);
      const std::string& text = after.at("run.log");
      // The block's heading: the module's version, the local date and time of the call.
      const std::string heading = "an earlier call\nsetupext " SETUPEXT_VERSION ", ";
      ASSERT_TRUE(text.starts_with(heading)) << text;
      std::tm parts{};
      std::istringstream stamp(text.substr(heading.size(), 19));
      stamp >> std::get_time(&parts, "%Y-%m-%d %H:%M:%S");
      parts.tm_isdst = -1;
      const std::time_t at = std::mktime(&parts);
      EXPECT_TRUE(!stamp.fail() && at >= before - 1 && at <= called + 1) << text;
      EXPECT_EQ(text.substr(heading.size() + 19, 7), "\ntree: ") << text;
      EXPECT_NE(text.find("a.pag: localised into a.pag\n"), std::string::npos) << text;
      EXPECT_NE(text.find("b.page: left as it is: final name held by b.pag\n"), std::string::npos) << text;
      EXPECT_EQ(text.find("b.pag:"), std::string::npos) << "a page left French is not logged: " << text;
      EXPECT_NE(text.find("summary: 1 localised, 1 needed no change"), std::string::npos) << text;
    } else {
      EXPECT_EQ(after.count("run.log"), 0u);
    }
  }
}

TEST_F(ModuleTest, TemplateVariablesThatDoNotFitTouchNothing) {
  Operation operation = Find("fctLocaliseTemplate");
  ASSERT_NE(operation, nullptr);
  testing::TempTree tree;
  tree.Write("a.pag", "PAGE {\nHome\n");
  // LANG's slot is the last of its area and holds no NUL: reading past it would fault.
  testing::TestHost host(2, 16, 1024);
  host.Set("TEMPLPATH", tree.root_text());
  host.PutRaw(1, std::string("%LANG%\0", 7), std::string(1024, 'x'));
  host.block()->count = 2;
  EXPECT_EQ(operation(host.block()), 1);
  EXPECT_EQ(tree.Snapshot(), (testing::TreeSnapshot{{"a.pag", "PAGE {\nHome\n"}}));
}

TEST_F(ModuleTest, ProbesAnswerNoForANullBlock) {
  for (const char* name : {"IsLibInstalled", "IsVBNETAppRunning"}) {
    Operation probe = Find(name);
    ASSERT_NE(probe, nullptr) << name;
    EXPECT_EQ(probe(nullptr), 0) << name;
  }
}

TEST_F(ModuleTest, ProbesWorkWithEmptyStringsWhenNoVariableIsSet) {
  testing::ScratchRegistry registry;  // the stand-in's store must not be the user's own
  testing::TestHost host(4);
  ASSERT_NE(Find("IsLibInstalled"), nullptr);
  // An empty settings path names the hive root, which holds no "Library" list.
  EXPECT_EQ(Find("IsLibInstalled")(host.block()), 0);
  EXPECT_EQ(host.Find("LIBNUMAVAIL"), "1");

  testing::TestHost empty(4);
  ASSERT_NE(Find("IsVBNETAppRunning"), nullptr);
  // No window of this process is a Windows Forms window with an empty caption.
  EXPECT_EQ(Find("IsVBNETAppRunning")(empty.block()), 0);
  EXPECT_EQ(empty.block()->count, 0u);
}

// An installer may call from a thread with 16 KiB of stack left: each operation, as loaded,
// with a log and counts for the template operations (the second finds the tree French).
TEST_F(ModuleTest, EveryOperationRunsWithSmallStack) {
  testing::ScratchRegistry registry;
  testing::TempTree tree;
  const testing::TreeSnapshot pages = testing::GuaranteeTree();  // 4 pages to localise, 3 French already
  for (const auto& [path, bytes] : pages) tree.Write("app/Material/Template/" + path, bytes);
  const std::string root = tree.root_text() + PathSeparator();
  const struct {
    const char* operation;
    std::vector<std::pair<const char*, std::string>> set;
    int answer;
    std::pair<const char*, const char*> written;
  } cases[] = {
      {"fctLocaliseTemplate", {{"TEMPLPATH", root + "app"}, {"SETUPEXTLOG", root + "log"}, {"PAGESLOCALISED", ""}}, 1,
       {"PAGESLOCALISED", "4"}},
      {"fctRenLabelInTemplagePages", {{"MAINDIR", root + "app"}, {"SETUPEXTLOG", root + "log"}, {"PAGESLEFT", ""}}, 1,
       {"PAGESLEFT", "0"}},
      {"IsLibInstalled", {{"LIBNAME", "Sounds"}, {"INIREG2", "Software\\setupext-tests\\stack"}}, 0, {"LIBNUMAVAIL", "1"}},
      {"IsVBNETAppRunning", {{"WINDOWTEXT", "no such caption"}}, 0, {"WINDOWTEXT", "no such caption"}},
  };
  for (const auto& c : cases) {
    testing::TestHost host;
    for (const auto& [name, value] : c.set) host.Set(name, value);
    int answer = -1;
    ASSERT_TRUE(testing::RunWithSmallStack([&] { answer = Find(c.operation)(host.block()); })) << c.operation;
    EXPECT_EQ(answer, c.answer) << c.operation;
    EXPECT_EQ(host.Find(c.written.first), std::optional<std::string>(c.written.second)) << c.operation;
  }
  const testing::TreeSnapshot after = tree.Snapshot();
  for (const auto& [path, bytes] : testing::LocalisedTree(pages)) EXPECT_EQ(after.at("app/Material/Template/" + path), bytes);
  EXPECT_NE(after.at("log").find("summary: 4 localised"), std::string::npos) << after.at("log");
}

}  // namespace
}  // namespace setupext
