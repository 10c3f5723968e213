// A tree's localisation cut after every file call, by a power cut (each set of the pending
// name operations surviving) and by a killed process, and then a second call: every page
// French at its final name, nothing of the cut call left.
#include <gtest/gtest.h>

#include <cctype>
#include <functional>
#include <map>
#include <random>
#include <set>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "read_only_files.h"
#include "support/folder_at.h"
#include "support/crash_files.h"
#include "support/outcomes.h"
#include "support/page_text_in_memory.h"
#include "support/text_guarantee.h"
#include "template/folder_plan.h"
#include "template/template_tree.h"

namespace setupext {
namespace {

using testing::CrashFiles;
using testing::TreeSnapshot;

const std::string kRoot = "/tree";

void Fill(CrashFiles& files, const TreeSnapshot& tree) {
  for (const auto& [path, bytes] : tree) files.AddFile(kRoot + "/" + path, bytes);
}

void Localise(CrashFiles& files) { (void)LocaliseTree(files, kRoot); }

TEST(CrashFiles, OnlySyncedNamesAndFlushedDataOutliveACut) {
  CrashFiles files;
  files.AddFile("/d/page", "text");
  Opened out = files.CreateNew(testing::FolderAt(files, "/d/new"), "/d/new");
  ASSERT_EQ(out.result, FileResult::kDone);
  ASSERT_TRUE(files.Write(out.file.get().native, "abc", 3));
  out.file.reset();
  ASSERT_EQ(files.Remove(testing::FolderAt(files, "/d/page"), "/d/page"), FileResult::kDone);
  Opened flushed = files.CreateNew(testing::FolderAt(files, "/d/flushed"), "/d/flushed");
  const NativeFile native = flushed.file.get().native;
  ASSERT_TRUE(files.Write(native, "xy", 2) && files.Flush(native) && files.Write(native, "z", 1));
  files.CutAfter(files.calls());
  EXPECT_FALSE(files.Close(flushed.file.release().native)) << "the machine has stopped";
  const struct {
    std::size_t kept;
    TreeSnapshot disk;
  } cases[] = {
      {0, {{"page", "text"}}},
      {1, {{"page", "text"}, {"new", ""}}},  // created, never flushed
      {2, {{"new", ""}}},
      {3, {{"new", ""}, {"flushed", "xy"}}},
  };
  ASSERT_EQ(files.pending(), 3u);
  for (const auto& c : cases) {
    CrashFiles copy = files;
    copy.Reboot(c.kept);
    EXPECT_EQ(copy.Snapshot("/d"), c.disk) << c.kept;
  }
}

// On a volume that keeps names in order only a prefix of the pending name operations
// outlives a cut, and the module makes no folder syncs; elsewhere any set of them may.
class TemplateCrash : public ::testing::TestWithParam<bool> {};

TEST_P(TemplateCrash, EveryCutIsFinishedByTheNextCall) {
  const bool ordered = GetParam();
  const TreeSnapshot tree = testing::GuaranteeTree();
  const testing::TextGuarantee guarantee(tree);
  ASSERT_GT(tree.at("sub/b.pag").size(), 4 * CrashFiles::kReadSize) << "one page must take several reads";
  const TreeSnapshot localised = testing::LocalisedTree(tree);
  for (const auto& [path, bytes] : localised) {
    if (!IsPageName(path.substr(path.rfind('/') + 1))) continue;
    ASSERT_EQ(testing::TranslatedPage(bytes), bytes) << path << ": a second call must change nothing";
  }
  const auto fresh = [&](CrashFiles& files) {
    files.SetNamesKeptInOrder(ordered);
    Fill(files, tree);
  };

  CrashFiles clean;
  fresh(clean);
  Localise(clean);
  ASSERT_EQ(clean.Snapshot(kRoot), localised);
  const int calls = clean.calls();
  Localise(clean);
  ASSERT_EQ(clean.Snapshot(kRoot), localised) << "a second call changes nothing";

  int cuts_with_leftovers = 0;
  for (int n = 1; n <= calls; ++n) {
    const std::string at = "cut after call " + std::to_string(n);
    {
      CrashFiles files;
      fresh(files);
      files.CutAfter(n);
      Localise(files);
      files.Kill();
      const TreeSnapshot left = files.Snapshot(kRoot);
      EXPECT_EQ(guarantee.AfterAnyRun(left), "") << at << ", killed";
      cuts_with_leftovers += guarantee.AfterCleanRun(left) != "";
      Localise(files);
      EXPECT_EQ(files.Snapshot(kRoot), localised) << at << ", killed, then called again";
    }
    for (std::uint64_t kept = 0;; ++kept) {
      CrashFiles files;
      fresh(files);
      files.CutAfter(n);
      Localise(files);
      const std::size_t pending = files.pending();
      if (ordered ? kept > pending : (kept >> pending) != 0) break;
      ASSERT_LE(pending, ordered ? 64u : 16u) << "too many pending operations to try every set";
      const std::string cut = at + ", pending name operations kept: " + std::to_string(kept);
      if (ordered) files.Reboot(kept);
      else files.RebootKeeping(kept);
      EXPECT_EQ(guarantee.AfterAnyRun(files.Snapshot(kRoot)), "") << cut;
      Localise(files);
      EXPECT_EQ(files.Snapshot(kRoot), localised) << cut << ", then called again";
    }
  }
  EXPECT_GT(cuts_with_leftovers, 0) << "no cut left anything for the next call to finish";
}

INSTANTIATE_TEST_SUITE_P(NamesKeptInOrder, TemplateCrash, ::testing::Bool());

// Where names are not kept in order, what a whole call did outlives a power cut right after
// it, in a folder where pages were only moved too.
TEST(FinishedCall, OutlivesAPowerCutRightAfter) {
  const TreeSnapshot trees[] = {testing::GuaranteeTree(), {{"only/x.page", "no PAGE line\n"}, {"only/y.tmp", "notes\n"}}};
  for (const TreeSnapshot& tree : trees) {
    CrashFiles files;
    files.SetNamesKeptInOrder(false);
    Fill(files, tree);
    Localise(files);
    files.CutAfter(files.calls());
    files.Reboot(0);
    EXPECT_EQ(files.Snapshot(kRoot), testing::LocalisedTree(tree));
  }
}


// What --explain says of a tree and what the call then does to it, on one model.
struct Compared {
  testing::Outcomes explained, done;
  TreeCounts would_counts, counts;
  TreeSnapshot would, after;  // the tree the explanation describes, the tree the call left
};

Compared ExplainThenCall(CrashFiles& files, const TreeSnapshot& tree) {
  Compared c;
  ReadOnlyFiles read_only(files);
  (void)LocaliseTree(read_only, kRoot, &c.would_counts, &c.explained);
  EXPECT_EQ(files.Snapshot(kRoot), tree) << "--explain changed the tree";
  c.would = tree;
  const auto below = [](const std::string& path) { return path.substr(kRoot.size() + 1); };
  for (const std::string& gone : read_only.gone()) c.would.erase(below(gone));
  for (const auto& [path, made] : read_only.made()) {
    std::string& would = c.would[below(path)];
    if (!made.real_path.empty()) {
      would = tree.at(below(made.real_path));
      continue;
    }
    would = made.size > 0 ? testing::TranslatedPage(tree.at(below(made.source))) : "";
    EXPECT_EQ(made.size, would.size()) << path;
    EXPECT_EQ(made.digest, ReadOnlyFiles::Digest(ReadOnlyFiles::kNoBytes, would)) << path;
  }
  (void)LocaliseTree(files, kRoot, &c.counts, &c.done);
  c.after = files.Snapshot(kRoot);
  return c;
}

std::vector<std::size_t> Numbers(const TreeCounts& c) {
  return {c.localised, c.unchanged, c.finished, c.left, c.leftovers_left, c.folders_skipped};
}

// Every text of `before` but those listed is still somewhere, as it was or translated.
std::string TextLost(const TreeSnapshot& before, const TreeSnapshot& after, const std::set<std::string>& spared = {}) {
  for (const auto& [name, bytes] : before) {
    bool kept = spared.count(name) > 0 || bytes.empty();
    for (const auto& [other, now] : after) kept |= now == bytes || now == testing::TranslatedPage(bytes);
    if (!kept) return name + " lost";
  }
  return "";
}

std::string Shown(const TreeSnapshot& tree) {
  std::string shown;
  for (const auto& [name, bytes] : tree) shown += name + " ";
  return shown;
}

// Folders of colliding names and leftovers, each refusing what a system may refuse: what the
// call would do, told by its executor over the layer that only reads, is what it does, entry
// by entry, in its counts and in the tree it leaves. What no system tells in advance (a full
// disk, rights it cannot answer for) --explain cannot see: there it may only say that a step
// would be done that the call then cannot do, and for a page "would be localised". No page's
// text is lost.
TEST(ExplainAgainstTheCall, RandomFoldersOfCollidingNamesUnderEveryRefusal) {
  const char* names[] = {"a.pag", "a.page", "a.pagx", "a.tmp", "b.pag", "b.page"};
  const char* suffixes[] = {"", ".setupext-new", ".setupext-old"};
  const unsigned read_only = CrashFiles::kNoNewName | CrashFiles::kNoRemoval;
  const unsigned refusals[] = {0, 0, CrashFiles::kNoNewName, CrashFiles::kNoRemoval, read_only, CrashFiles::kHeld,
                               CrashFiles::kFull, read_only | CrashFiles::kUntold};
  const unsigned unforeseen = CrashFiles::kFull | CrashFiles::kUntold;
  const std::string english = "PAGE {\nHome\nInput\n";
  const std::string long_page = std::string(250, 'L') + ".pag";
  std::mt19937 random(11);
  for (int round = 0; round < 1500; ++round) {
    TreeSnapshot tree;
    for (int n = 1 + random() % 7; n > 0; --n) {
      const std::string folder = random() % 3 ? "" : "sub/";
      std::string name = std::string(names[random() % 6]) + suffixes[random() % 3];
      if (random() % 4 == 0) {  // a long page, its short output or its marker
        PathText made;
        const int form = random() % 3;
        if (form == 0) made = PathText(), (void)made.Append(long_page);
        else if (!(form == 1 ? AppendOutputName(long_page, FolderFacts(), made) : AppendMarkerName(long_page, FolderFacts(), made))) continue;
        name = std::string(made.view());
        if (form == 2) {  // a marker is empty, or a user's file
          tree[folder + name] = random() % 2 ? "" : "user's";
          continue;
        }
      }
      const int kind = random() % 3;  // English, its translation, or something else
      const std::string text = english + std::to_string(random() % 2);
      tree[folder + name] = kind == 0 ? text : kind == 1 ? testing::TranslatedPage(text) : "other " + name;
    }
    std::map<std::string, unsigned> refused = {{kRoot + "/", refusals[random() % 8]}, {kRoot + "/sub/", refusals[random() % 8]}};
    const std::string shown = Shown(tree) + "refusals " + std::to_string(refused[kRoot + "/"]) + " " + std::to_string(refused[kRoot + "/sub/"]);
    CrashFiles files;
    Fill(files, tree);
    for (const auto& [folder, refusal] : refused) files.Refuse(folder.substr(0, folder.size() - 1), refusal);
    const Compared c = ExplainThenCall(files, tree);
    bool foreseen = true;
    for (const auto& [path, explained] : c.explained.seen) {
      const unsigned refusal = refused[path.substr(0, path.rfind('/', path.size() - 2) + 1)];
      foreseen &= (refusal & unforeseen) == 0;
      const auto done = c.done.seen.find(path);
      if (done == c.done.seen.end() || done->second == explained) continue;
      const auto did = [](const std::vector<int>& o) { return o[0] < 0 ? 0 : (o[2] == int(PageOutcome::kDone)) + o[4] + o[5]; };
      EXPECT_TRUE((refusal & unforeseen) && did(explained) >= did(done->second))
          << path << " in " << shown << ": " << ::testing::PrintToString(explained) << " " << ::testing::PrintToString(done->second);
      if (refusal == CrashFiles::kFull && explained[0] == int(Fate::kLocalise)) {
        EXPECT_EQ(explained[2], int(PageOutcome::kDone)) << path << ": would be localised, in " << shown;
      }
    }
    EXPECT_EQ(c.explained.seen.size(), c.done.seen.size()) << shown;
    if (foreseen) {
      EXPECT_EQ(Numbers(c.would_counts), Numbers(c.counts)) << shown;
      EXPECT_EQ(c.would, c.after) << shown;
    }
    PathText long_output;
    ASSERT_TRUE(AppendOutputName(long_page, FolderFacts(), long_output));
    std::set<std::string> spared;  // outputs beside their pages: unfinished
    for (const auto& [path, bytes] : tree) {
      const std::string folder = path.substr(0, path.rfind('/') + 1), name = path.substr(folder.size());
      if (tree.count(folder + std::string(PageOfOutput(name))) || (name == long_output.view() && tree.count(folder + long_page)))
        spared.insert(path);
    }
    EXPECT_EQ(TextLost(tree, c.after, spared), "") << shown;
  }
}

// Pages whose names differ only in case, with their leftovers, on a volume that tells case
// apart and on one whose facts say it does not, where twins show that a folder does (and where
// none do, it does not): --explain says what the call does; where case is told apart each page
// ends French at its own final name, and a second call changes nothing.
TEST(ExplainAgainstTheCall, CaseTwins) {
  const std::string english = "PAGE {\nHome\nInput\n";
  std::mt19937 random(23);
  for (const bool sensitive : {true, false}) {
    for (int round = 0; round < 600; ++round) {
      TreeSnapshot tree, expected;
      for (const std::string base : {"a", "A", "b", "B"}) {
        const std::string text = english + base + (random() % 2 ? "" : "\nForm"), page = base + (random() % 2 ? ".pag" : ".page");
        const int form = random() % 7;
        switch (form) {  // nothing, a page, a stray, an output alone, one beside its page, an aside copy
          case 0: break;
          case 1: tree[page] = text; break;
          case 2: tree[base + ".tmp"] = text; break;
          case 3: tree[page + std::string(kOutputSuffix)] = testing::TranslatedPage(text); break;
          case 4: tree[page] = text, tree[page + std::string(kOutputSuffix)] = "half"; break;
          default: tree[base + ".pag" + std::string(kAsideSuffix)] = text;
        }
        if (form != 0) expected[base + ".pag"] = testing::TranslatedPage(text);
        if (random() % 3 == 0) tree[base + ".PAG"] = expected[base + ".PAG"] = "user's";  // no page: a twin by case alone
      }
      const auto fold = [](std::string key) {
        for (char& c : key) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        return key;
      };
      std::set<std::string> folded;
      bool twins = false;
      for (const auto& [name, bytes] : tree) twins |= !folded.insert(fold(name)).second;
      const std::string shown = Shown(tree) + (sensitive ? "on a case-sensitive volume" : twins ? "in a case-sensitive folder" : "");
      FolderFacts facts;
      facts.case_sensitive = sensitive;
      CrashFiles files;
      files.SetFacts(facts);
      files.TellCaseApart(twins);
      Fill(files, tree);
      const Compared c = ExplainThenCall(files, tree);
      EXPECT_EQ(c.explained.seen, c.done.seen) << shown;
      EXPECT_EQ(Numbers(c.would_counts), Numbers(c.counts)) << shown;
      std::set<std::string> unfinished;  // outputs beside their pages, as the folder compares names
      for (const auto& [name, bytes] : tree) {
        const std::string page(PageOfOutput(name));
        if (!page.empty() && (sensitive || twins ? tree.count(page) : folded.count(fold(page)))) unfinished.insert(name);
      }
      EXPECT_EQ(TextLost(tree, c.after, unfinished), "") << shown;
      if (!sensitive && !twins) continue;  // names made are known by their folded keys
      EXPECT_EQ(c.would, c.after) << shown;
      EXPECT_EQ(c.after, expected) << shown;
      Localise(files);
      EXPECT_EQ(files.Snapshot(kRoot), expected) << shown << ", called again";
    }
  }
}

// A call over `tree` cut after every file call, each set of the pending name operations
// surviving (a prefix where names are kept in order), then a second call: `check` gets where
// the cut was, what it left and what the second call left; first the tree and what a whole
// call leaves.
void EveryCut(const TreeSnapshot& tree, bool ordered,
              const std::function<void(const std::string&, const TreeSnapshot&, const TreeSnapshot&)>& check) {
  CrashFiles clean;
  clean.SetNamesKeptInOrder(ordered);
  Fill(clean, tree);
  Localise(clean);
  check("a whole call", tree, clean.Snapshot(kRoot));
  for (int n = 1; n <= clean.calls(); ++n) {
    for (std::uint64_t kept = 0;; ++kept) {
      CrashFiles files;
      files.SetNamesKeptInOrder(ordered);
      Fill(files, tree);
      files.CutAfter(n);
      Localise(files);
      const std::size_t pending = files.pending();
      if (ordered ? kept > pending : (kept >> pending) != 0) break;
      ASSERT_LE(pending, ordered ? 64u : 16u) << "too many pending operations to try every set";
      if (ordered) files.Reboot(kept);
      else files.RebootKeeping(kept);
      const TreeSnapshot cut = files.Snapshot(kRoot);
      Localise(files);
      check("cut after call " + std::to_string(n) + ", pending name operations kept: " + std::to_string(kept), cut,
            files.Snapshot(kRoot));
    }
  }
}

// Two page names too long for their own output names, 244 bytes that differ in four from
// `at` on, whose 32-bit FNV-1a hashes are one: where they differ past the part a short output
// keeps (232 bytes), their short outputs have one name; where they differ within it, their
// markers do.
std::pair<std::string, std::string> CollidingLongNames(std::size_t at) {
  const std::string prefix(at, 'h'), rest = std::string(236 - at, 'h') + ".pag", digits = "0123456789abcdefghijklmnopqrstuvwxyz";
  const auto fnv = [](std::string_view text, std::uint32_t hash) {
    for (const unsigned char c : text) hash = (hash ^ c) * 16777619u;
    return hash;
  };
  const std::uint32_t start = fnv(prefix, 2166136261u);
  std::unordered_map<std::uint32_t, std::string> seen;
  std::mt19937 random(7);
  for (;;) {
    std::string four;
    for (int i = 0; i < 4; ++i) four += digits[random() % digits.size()];
    const auto [found, fresh] = seen.emplace(fnv(four, start), four);
    if (!fresh && found->second != four) return {prefix + found->second + rest, prefix + four + rest};
  }
}

TEST_P(TemplateCrash, LongNamesOfOneHashLoseNoText) {
  for (const std::size_t differ : {std::size_t{232}, std::size_t{0}}) {
    const auto [first, second] = CollidingLongNames(differ);
    PathText outputs[2], markers[2];
    for (int i = 0; i < 2; ++i) {
      ASSERT_TRUE(AppendOutputName(i ? second : first, FolderFacts(), outputs[i]));
      ASSERT_TRUE(AppendMarkerName(i ? second : first, FolderFacts(), markers[i]));
    }
    ASSERT_EQ(outputs[0].view() == outputs[1].view(), differ != 0) << "one short output name for both";
    ASSERT_EQ(markers[0].view() == markers[1].view(), differ == 0) << "one marker name for both";
    const TreeSnapshot tree = {{first, "PAGE {\nHome\n"}, {second, "PAGE {\nInput\nBack\n"}};
    const testing::TextGuarantee guarantee(tree);
    EveryCut(tree, GetParam(), [&](const std::string& at, const TreeSnapshot& cut, const TreeSnapshot& after) {
      EXPECT_EQ(guarantee.AfterAnyRun(cut), "") << at << ", names differing from byte " << differ;
      EXPECT_EQ(guarantee.AfterAnyRun(after), "") << at << ", names differing from byte " << differ << ", then called again";
    });
  }
}

// Pages of one folder that wait together for its syncs: whatever set of their pending name
// operations outlives a cut, no text is lost and the next call finishes every one.
TEST_P(TemplateCrash, PagesWaitingTogetherLoseNoText) {
  TreeSnapshot tree = {{"q.page", "PAGE {\nBack\n"}, {"r.pag", "PAGE {\nChamp\n"}};
  for (int i = 0; i < 5; ++i) tree["p" + std::to_string(i) + ".pag"] = "PAGE {\nHome\nInput " + std::to_string(i) + "\n";
  const TreeSnapshot localised = testing::LocalisedTree(tree);
  EveryCut(tree, GetParam(), [&](const std::string& at, const TreeSnapshot& cut, const TreeSnapshot& after) {
    EXPECT_EQ(TextLost(tree, cut), "") << at;
    EXPECT_EQ(after, localised) << at << ", then called again";
  });
}

// An output whose page is gone and whose final name another page holds goes back to its
// page's name, whatever cut came before; a long name's marker goes with it.
TEST_P(TemplateCrash, AnOutputWhoseFinalNameIsHeldGoesBackToItsPage) {
  const std::string held = "PAGE {\nHome\n", french = "PAGE {\nChamp\n";
  for (const std::string& stem : {std::string("x"), std::string(245, 'x')}) {
    PathText output, marker;
    ASSERT_TRUE(AppendOutputName(stem + ".page", FolderFacts(), output) && AppendMarkerName(stem + ".page", FolderFacts(), marker));
    TreeSnapshot tree = {{std::string(output.view()), french}, {stem + ".pag", held}};
    if (stem.size() > 1) tree[std::string(marker.view())] = "";
    const TreeSnapshot expected = {{stem + ".page", french}, {stem + ".pag", testing::TranslatedPage(held)}};
    EveryCut(tree, GetParam(), [&](const std::string& at, const TreeSnapshot& cut, const TreeSnapshot& after) {
      EXPECT_EQ(TextLost(tree, cut), "") << at << ", " << stem.size();
      EXPECT_EQ(after, expected) << at << ", " << stem.size() << ", then called again";
    });
  }
}

}  // namespace
}  // namespace setupext
