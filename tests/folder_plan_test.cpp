// A folder's plan from its listing alone: what happens to each entry, and why not.
#include "support/text_guarantee.h"
#include "template/folder_plan.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

namespace setupext {
namespace {

struct Expected {
  const char* name;
  EntryKind kind;
  Fate fate;
  Reason reason = Reason::kNone;
  const char* other = "";  // the entry in the way
};

constexpr EntryKind F = EntryKind::kFile, D = EntryKind::kFolder, L = EntryKind::kLink, S = EntryKind::kSpecial;

void ExpectPlan(const std::vector<Expected>& entries, std::size_t folder_units = 10) {
  Listing listing;
  for (const Expected& e : entries) ASSERT_TRUE(listing.Add(e.name, e.kind));
  FolderPlan plan;
  ASSERT_EQ(plan.Make(listing, folder_units, testing::OrdinaryFacts()), PlanResult::kDone);
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const Step& step = plan[i];
    EXPECT_EQ(step.fate, entries[i].fate) << entries[i].name;
    EXPECT_EQ(step.reason, entries[i].reason) << entries[i].name;
    if (*entries[i].other) {
      EXPECT_EQ(listing.name(step.other), entries[i].other) << entries[i].name;
    }
  }
}

TEST(FolderPlan, PagesAndStraysByTheirLastExtension) {
  ExpectPlan({
      {"a.pag", F, Fate::kLocalise},
      {"b.page", F, Fate::kLocalise},
      {"c.pagination", F, Fate::kLocalise},
      {"notes.tmp", F, Fate::kLocalise},
      {"v1.2.page", F, Fate::kLocalise},
      {"x.PAG", F, Fate::kLeave, Reason::kNotAPage},
      {"mail.tmpl", F, Fate::kLeave, Reason::kNotAPage},
      {"report.tmp.bak", F, Fate::kLeave, Reason::kNotAPage},
      {"logo.page.png", F, Fate::kLeave, Reason::kNotAPage},
      {"x.pag.bak", F, Fate::kLeave, Reason::kNotAPage},
      {"README", F, Fate::kLeave, Reason::kNotAPage},
      {"d.pag", D, Fate::kLeave, Reason::kFolder},
      {"link.pag", L, Fate::kLeave, Reason::kLink},
      {"link.txt", L, Fate::kLeave, Reason::kNotAPage},
      {"pipe.pag", S, Fate::kLeave, Reason::kNotRegular},
      {"pipe", S, Fate::kLeave, Reason::kNotAPage},
      {"link.tmp", L, Fate::kLeave, Reason::kLink},
  });
}

TEST(FolderPlan, EachFinalNameGoesToOneEntryAtTheMost) {
  ExpectPlan({
      {"a.pag", F, Fate::kLocalise},
      {"a.page", F, Fate::kLeave, Reason::kFinalNameHeld, "a.pag"},
      {"notes.pag", F, Fate::kLocalise},
      {"notes.tmp", F, Fate::kLeave, Reason::kFinalNameHeld, "notes.pag"},
      {"m.pagx", F, Fate::kLeave, Reason::kFinalClaimed, "m.pagy"},
      {"m.pagy", F, Fate::kLeave, Reason::kFinalClaimed, "m.pagx"},
      {"s.page", F, Fate::kLocalise},  // a page comes before a stray
      {"s.tmp", F, Fate::kLeave, Reason::kFinalClaimed, "s.page"},
      {"c.page", F, Fate::kLeave, Reason::kFinalNameHeld, "c.pag"},
      {"c.pag", D, Fate::kLeave, Reason::kFolder},
      {"o.pag", F, Fate::kLeave, Reason::kOutputNameHeld, "o.pag.setupext-new"},
      {"o.pag.setupext-new", D, Fate::kLeave, Reason::kFolder},
  });
}

TEST(FolderPlan, LeftoversOfACutCall) {
  ExpectPlan({
      {"half.pag", F, Fate::kLocalise},  // its output unfinished
      {"half.pag.setupext-new", F, Fate::kRemove},
      {"gone.pag.setupext-new", F, Fate::kFinish},  // its page deleted
      {"g.page.setupext-new", F, Fate::kFinish},    // its page's only copy comes before a page
      {"g.pagx", F, Fate::kLeave, Reason::kFinalClaimed, "g.page.setupext-new"},
      {"kept.pag", F, Fate::kLocalise},  // the page at its name may hold its text
      {"kept.pag.setupext-old", F, Fate::kRemoveCopy},
      {"w.pag.setupext-old", F, Fate::kRemoveCopy},  // its output takes the name first
      {"w.pag.setupext-new", F, Fate::kFinish},
      {"only.pag.setupext-old", F, Fate::kRestore},  // nothing else of it left
      {"s.tmp.setupext-new", F, Fate::kFinish},      // a stray's output
      {"t.tmp", F, Fate::kLocalise},                  // a stray's output unfinished
      {"t.tmp.setupext-new", F, Fate::kRemove},
      {"note.setupext-new", F, Fate::kLeave, Reason::kNotAPage},  // not ours: no page before the suffix
      {"held.pag.setupext-new", L, Fate::kLeave, Reason::kLink},
      // Named like a marker but keeping no rest of a name: no page's, so the user's.
      {"~0123abcd.setupext-name-", F, Fate::kLeave, Reason::kNotAPage},
      // Named like a short output but keeping nothing of a page's name.
      {".~0123abcd.setupext-new", F, Fate::kLeave, Reason::kNotAPage},
      {"f.pag.setupext-new", F, Fate::kLeave, Reason::kPageNameHeld, "f.pag"},
      {"f.pag", D, Fate::kLeave, Reason::kFolder},
  });
}

TEST(FolderPlan, OnlyCopiesAreNeverRemovedNorOvertaken) {
  ExpectPlan({
      // Two only copies for one name: the page's own comes first, the other stays whole.
      {"x.pag.setupext-old", F, Fate::kRestore},
      {"x.pag-old.setupext-new", F, Fate::kLeave, Reason::kFinalClaimed, "x.pag.setupext-old"},
      // A put-back page comes before a page that wants its name.
      {"c.pag.setupext-old", F, Fate::kRestore},
      {"c.page", F, Fate::kLeave, Reason::kFinalClaimed, "c.pag.setupext-old"},
      {"d.page.setupext-new", F, Fate::kLeave, Reason::kFinalClaimed, "d.pag.setupext-old"},
      {"d.pag.setupext-old", F, Fate::kRestore},
  });
  ExpectPlan({
      // Names the module never sets aside are the user's.
      {"a.page.setupext-old", F, Fate::kLeave, Reason::kNotAPage},
      {"b.pagx.setupext-old", F, Fate::kLeave, Reason::kNotAPage},
      {"a.pag", F, Fate::kLocalise},
      {"x.page.setupext-old", F, Fate::kLeave, Reason::kNotAPage},
      {"x.pagy", F, Fate::kLocalise},
      // An aside copy whose name is held by a folder stays.
      {"e.pag.setupext-old", F, Fate::kLeave, Reason::kFinalNameHeld, "e.pag"},
      {"e.pag", D, Fate::kLeave, Reason::kFolder},
  });
}

TEST(FolderPlan, PathsOverTheLimitAreLeftNamesOfAnyLengthNot) {
  // A folder of 1018 units: "a.pag" fits, a longer page not; its leftovers' names may go
  // beyond the path limit.
  const std::string long_name(std::size_t{255} - kOutputSuffix.size() - 4, 'n');
  ExpectPlan(
      {
          {"a.pag", F, Fate::kLocalise},
          {"abcdefghij.pag", F, Fate::kLeave, Reason::kPathTooLong},
          {"b.tmp", F, Fate::kLocalise},
          {"subfolder", D, Fate::kLeave, Reason::kPathTooLong},
      },
      kMaxPathLength - 5);
  ExpectPlan({
      {(long_name + ".pag").c_str(), F, Fate::kLocalise},
      {(long_name + "x.pag").c_str(), F, Fate::kLocalise},
  });
  // A subfolder whose path, with its separator, is the longest the walk enters, and one
  // character longer.
  ExpectPlan(
      {
          {"sub", D, Fate::kLeave, Reason::kFolder},
          {"subx", D, Fate::kLeave, Reason::kPathTooLong},
      },
      kMaxRootLength + 1 - 4);
}

// Pages whose names leave no room for the output suffix: a short output name and a marker
// with the rest of the name, both within a name's limit, from which a cut call's output finds
// its page's final name.
TEST(FolderPlan, LongNamesUseShortLeftovers) {
  const auto named = [](const std::string& page, bool marker) {
    PathText name;
    EXPECT_TRUE(marker ? AppendMarkerName(page, testing::OrdinaryFacts(), name) : AppendOutputName(page, testing::OrdinaryFacts(), name));
    EXPECT_LE(name.size(), std::size_t{255}) << name.view();
    return std::string(name.view());
  };
  const std::string gone = std::string(240, 'g') + ".page", here = std::string(250, 'h') + ".pag",
                    lost = std::string(251, 'l') + ".pag", orphan = std::string(249, 'o') + ".pag";
  ASSERT_TRUE(NeedsShortNames(gone, testing::OrdinaryFacts()) && NeedsShortNames(here, testing::OrdinaryFacts()) && !NeedsShortNames(std::string(238, 'n') + ".pag", testing::OrdinaryFacts()));
  const std::string gone_out = named(gone, false), gone_marker = named(gone, true), here_out = named(here, false),
                    lost_out = named(lost, false), orphan_marker = named(orphan, true);
  Listing listing;
  for (const std::string& name : {gone_out, gone_marker, here, here_out, lost_out, orphan_marker})
    ASSERT_TRUE(listing.Add(name, F));
  FolderPlan plan;
  ASSERT_EQ(plan.Make(listing, 10, testing::OrdinaryFacts()), PlanResult::kDone);
  const struct {
    Fate fate;
    Reason reason;
    std::string subject;
  } expected[] = {{Fate::kFinish, Reason::kNone, gone},  {Fate::kRemoveMarker, Reason::kNone, gone},
                  {Fate::kLocalise, Reason::kNone, here}, {Fate::kRemove, Reason::kNone, here},
                  {Fate::kLeave, Reason::kNameLost, ""},   {Fate::kRemoveMarker, Reason::kNone, ""}};
  for (std::size_t i = 0; i < listing.size(); ++i) {
    EXPECT_EQ(plan[i].fate, expected[i].fate) << i;
    EXPECT_EQ(plan[i].reason, expected[i].reason) << i;
    EXPECT_EQ(plan[i].subject, expected[i].subject) << i;
  }
}

// A short output keeps as much of its page's name as a name holds: the longest run of whole
// characters that fits, the rest going to the marker.
TEST(FolderPlan, ShortOutputsKeepAllTheNameThatFits) {
  for (const std::string character : {"a", "\xC3\xA9", "\xE2\x82\xAC", "\xF0\x9F\x98\x80"}) {
    std::string page;
    while (PathUnits(page) < std::size_t{255} - 4) page += character;
    page += ".pag";
    ASSERT_TRUE(NeedsShortNames(page, testing::OrdinaryFacts()));
    PathText output, marker;
    ASSERT_TRUE(AppendOutputName(page, testing::OrdinaryFacts(), output));
    ASSERT_TRUE(AppendMarkerName(page, testing::OrdinaryFacts(), marker));
    const std::string_view rest = From(marker.view(), marker.view().find(kMarkerInfix) + kMarkerInfix.size());
    const std::string_view prefix = Part(output.view(), 0, output.view().find(".~"));
    EXPECT_EQ(std::string(prefix) + std::string(rest), page) << character;
    EXPECT_LE(PathUnits(output.view()), std::size_t{255}) << character;
    EXPECT_GT(PathUnits(output.view()) + PathUnits(character), std::size_t{255}) << character;
  }
}

// Random folders of colliding names: whatever the listing, each final name is taken once, a
// page's only copy is never removed, and an entry left has a reason.
TEST(FolderPlan, PropertiesOverRandomListings) {
  const char* stems[] = {"a", "b"};
  const char* endings[] = {".pag", ".page", ".pagx", ".tmp", ".txt"};
  const char* leftovers[] = {"", ".setupext-new", ".setupext-old"};
  std::mt19937 random(7);
  for (int round = 0; round < 3000; ++round) {
    std::set<std::string> names;
    Listing listing;
    for (int n = random() % 9; n > 0; --n) {
      const std::string name = std::string(stems[random() % 2]) + endings[random() % 5] + leftovers[random() % 3];
      const EntryKind kind = random() % 8 == 0 ? D : F;
      if (names.insert(name).second) {
        ASSERT_TRUE(listing.Add(name, kind));
      }
    }
    FolderPlan plan;
    ASSERT_EQ(plan.Make(listing, 10, testing::OrdinaryFacts()), PlanResult::kDone);
    std::map<std::string, int> takers;
    std::string all;
    for (std::size_t i = 0; i < listing.size(); ++i) all += std::string(listing.name(i)) + " ";
    for (std::size_t i = 0; i < listing.size(); ++i) {
      const std::string name(listing.name(i));
      const Step& step = plan[i];
      if (step.fate == Fate::kLeave) {
        EXPECT_NE(step.reason, Reason::kNone) << name << " in " << all;
      }
      std::string subject = name;
      if (step.fate == Fate::kFinish) subject = std::string(PageOfOutput(name));
      if (step.fate == Fate::kRestore) subject = std::string(PageOfAside(name));
      if (step.fate == Fate::kLocalise || step.fate == Fate::kFinish || step.fate == Fate::kRestore) {
        PathText final_name;
        ASSERT_TRUE(AppendFinalName(subject, final_name));
        EXPECT_EQ(++takers[std::string(final_name.view())], 1) << final_name.view() << " in " << all;
        // Nobody else holds the name, but the page itself.
        if (final_name.view() != name) {
          EXPECT_EQ(names.count(std::string(final_name.view())), 0u) << name << " in " << all;
        }
      }
      // An output is removed only beside its page; an aside copy never without a check.
      if (step.fate == Fate::kRemove) {
        EXPECT_EQ(names.count(std::string(PageOfOutput(name))), 1u) << name << " in " << all;
      }
      if (!PageOfAside(name).empty() && step.fate != Fate::kLeave) {
        EXPECT_TRUE(step.fate == Fate::kRestore || step.fate == Fate::kRemoveCopy) << name;
      }
    }
  }
}

}  // namespace
}  // namespace setupext
