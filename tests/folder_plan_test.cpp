// A folder's plan from its listing alone: what happens to each entry, and why not.
#include "template/folder_plan.h"

#include <gtest/gtest.h>

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

constexpr EntryKind F = EntryKind::kFile, D = EntryKind::kFolder, L = EntryKind::kLink;

void ExpectPlan(const std::vector<Expected>& entries, std::size_t folder_units = 10) {
  Listing listing;
  for (const Expected& e : entries) ASSERT_TRUE(listing.Add(e.name, e.kind));
  FolderPlan plan;
  ASSERT_EQ(plan.Make(listing, folder_units), PlanResult::kDone);
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
      {"notes.tmp", F, Fate::kMove},
      {"x.PAG", F, Fate::kLeave, Reason::kNotAPage},
      {"mail.tmpl", F, Fate::kLeave, Reason::kNotAPage},
      {"report.tmp.bak", F, Fate::kLeave, Reason::kNotAPage},
      {"logo.page.png", F, Fate::kLeave, Reason::kNotAPage},
      {"x.pag.bak", F, Fate::kLeave, Reason::kNotAPage},
      {"x.pagination.txt", F, Fate::kLeave, Reason::kNotAPage},
      {"README", F, Fate::kLeave, Reason::kNotAPage},
      {"d.pag", D, Fate::kLeave, Reason::kFolder},
      {"link.pag", L, Fate::kLeave, Reason::kLink},
      {"link.txt", L, Fate::kLeave, Reason::kNotAPage},
  });
}

TEST(FolderPlan, FinalNamesHeldOrWantedTwiceStopTheClaims) {
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
      {"g.page.setupext-new", F, Fate::kFinish},    // takes g.page's final name g.pag
      {"g.pagx", F, Fate::kLeave, Reason::kFinalClaimed, "g.page.setupext-new"},
      {"kept.pag", F, Fate::kLocalise},  // moved aside, then its French text took the name
      {"kept.pag.setupext-old", F, Fate::kRemove},
      {"w.pag.setupext-old", F, Fate::kRemove},  // its output still waits
      {"w.pag.setupext-new", F, Fate::kFinish},
      {"only.pag.setupext-old", F, Fate::kRestore},  // nothing else of it left
      {"note.setupext-new", F, Fate::kLeave, Reason::kNotAPage},  // not ours: no page before the suffix
      {"held.pag.setupext-new", L, Fate::kLeave, Reason::kLink},
  });
}

TEST(FolderPlan, PathsOverTheLimitAreLeft) {
  // A folder of 1000 units: "a.pag" with its output suffix still fits, a longer page not.
  ExpectPlan(
      {
          {"a.pag", F, Fate::kLocalise},
          {"abcdefghij.pag", F, Fate::kLeave, Reason::kPathTooLong},
          {"stray.tmp", F, Fate::kMove},
      },
      kMaxPathLength - 5 - kOutputSuffix.size());
}

}  // namespace
}  // namespace setupext
