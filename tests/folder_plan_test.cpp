// A folder's plan from its listing alone: what happens to each entry, and why not.
#include "support/text_guarantee.h"
#include "template/folder_plan.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <map>
#include <random>
#include <set>
#include <string>
#include <unordered_map>
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

bool IsSource(Role role) { return role == Role::kPage || role == Role::kStray; }

std::string Keyed(std::string_view s, bool case_sensitive) { ByteBuffer key; EXPECT_TRUE(AppendNameKey(s, case_sensitive, key)); return std::string(key.view()); }

constexpr EntryKind F = EntryKind::kFile, D = EntryKind::kFolder, L = EntryKind::kLink, S = EntryKind::kSpecial;

const FolderFacts kFacts = testing::OrdinaryFacts();

void ExpectPlan(const std::vector<Expected>& entries, std::size_t folder_units = 10, const FolderFacts& facts = kFacts) {
  Listing listing;
  for (const Expected& e : entries) ASSERT_TRUE(listing.Add(e.name, e.kind));
  FolderPlan plan;
  ASSERT_EQ(plan.Make(listing, folder_units, facts), PlanResult::kDone);
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
  const std::string long_name(kFacts.name_limit - kOutputSuffix.size() - 4, 'n');
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
    EXPECT_TRUE(marker ? AppendMarkerName(page, kFacts, name) : AppendOutputName(page, kFacts, name));
    EXPECT_LE(name.size(), kFacts.name_limit) << name.view();
    return std::string(name.view());
  };
  const std::string gone = std::string(240, 'g') + ".page", here = std::string(250, 'h') + ".pag",
                    lost = std::string(251, 'l') + ".pag", orphan = std::string(249, 'o') + ".pag";
  ASSERT_TRUE(NeedsShortNames(gone, kFacts) && NeedsShortNames(here, kFacts) && !NeedsShortNames(std::string(238, 'n') + ".pag", kFacts));
  const std::string gone_out = named(gone, false), gone_marker = named(gone, true), here_out = named(here, false),
                    lost_out = named(lost, false), orphan_marker = named(orphan, true);
  Listing listing;
  for (const std::string& name : {gone_out, gone_marker, here, here_out, lost_out, orphan_marker})
    ASSERT_TRUE(listing.Add(name, F));
  FolderPlan plan;
  ASSERT_EQ(plan.Make(listing, 10, kFacts), PlanResult::kDone);
  const struct {
    Fate fate;
    Reason reason;
    std::string subject;
  } expected[] = {{Fate::kFinish, Reason::kNone, gone},  {Fate::kRemoveMarker, Reason::kNone, gone},
                  {Fate::kLocalise, Reason::kNone, here}, {Fate::kRemove, Reason::kNone, here},
                  {Fate::kLeave, Reason::kNameLost, ""},   {Fate::kLeave, Reason::kNoOwner, ""}};
  for (std::size_t i = 0; i < listing.size(); ++i) {
    EXPECT_EQ(plan[i].fate, expected[i].fate) << i;
    EXPECT_EQ(plan[i].reason, expected[i].reason) << i;
    EXPECT_EQ(plan[i].subject, expected[i].subject) << i;
  }
}

// An output goes back to its page's name only where no name the plan makes is one with it:
// here, as a folder that folds case compares names, a long page's marker.
TEST(FolderPlan, OutputsGoBackOnlyToNamesNobodyMakes) {
  FolderFacts facts;
  facts.case_sensitive = false;
  const std::string page = std::string(240, 'p') + ".page", other = std::string(240, 'q') + ".page";
  PathText marker;
  ASSERT_TRUE(AppendMarkerName(page, facts, marker));
  std::string back(marker.view());
  back.replace(back.find(kMarkerInfix), kMarkerInfix.size(), ".SETUPEXT-NAME-");
  const std::string output = back + kOutputSuffix.data(), final_name = back.substr(0, back.size() - 1);
  for (const bool localised : {false, true}) {
    std::vector<Expected> entries{{output.c_str(), F, localised ? Fate::kLeave : Fate::kReturn, localised ? Reason::kFinalNameHeld : Reason::kNone},
                                  {final_name.c_str(), D, Fate::kLeave, Reason::kFolder}, {page.c_str(), F, Fate::kLocalise}, {other.c_str(), F, Fate::kLocalise}};
    ExpectPlan({entries.begin(), entries.begin() + (localised ? 4 : 2)}, 10, facts);
  }
}

// Random folders of colliding names: short, long (near the limit in bytes or UTF-16 units, of 1-4
// byte characters and bytes that are none), of one hash, case twins, names not carried whole.
TEST(FolderPlan, PropertiesOverRandomListings) {
  // Long names alike but for four characters, of one FNV-1a hash: one output name, or one marker's.
  const auto colliding = [](const std::string& head, const std::string& rest) {
    std::unordered_map<std::uint32_t, std::string> tails;
    std::uint32_t start = 2166136261u;
    for (const char c : head) start = (start ^ static_cast<unsigned char>(c)) * 16777619u;
    for (std::uint32_t n = 0;; ++n) {
      std::string tail;
      std::uint32_t hash = start;
      for (std::uint32_t k = n; tail.size() < 4; k /= 62)
        tail += "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"[k % 62], hash = (hash ^ tail.back()) * 16777619u;
      if (const auto [at, fresh] = tails.emplace(hash, tail); !fresh) return std::vector{head + at->second + rest, head + tail + rest};
    }
  };
  const std::vector<std::string> one_output = colliding(std::string(236, 'c'), ".pag"),
                                  one_marker = colliding(std::string(100, 'c'), std::string(136, 'c') + ".pag");
  // Characters by their bytes and UTF-16 units; a lone 0xE2 is always followed by a lone 0x80.
  const std::pair<std::string, unsigned> characters[] = {{"c", 1}, {"C", 1}, {"\xC3\xA9", 1}, {"\xE2\x82\xAC", 1},
                                                         {"\xF0\x9F\x98\x80", 2}, {"\xFF", 1}, {"\xE2", 1}};
  const char* endings[] = {".pag", ".page", ".pagx", ".tmp", ".txt"}, *leftovers[] = {"", ".setupext-new", ".setupext-old"};
  const std::string stems[] = {"a", "A", "b", "~0123abcd.setupext-name-b"};
  std::mt19937 random(7);
  for (int round = 0; round < 4000; ++round) {
    FolderFacts facts;
    facts.case_sensitive = random() % 2, facts.frees_names_at_once = random() % 2, facts.name_limit = random() % 3 ? 255 : 40;
    facts.name_unit = random() % 2 ? NameUnit::kBytes : NameUnit::kUtf16;
    const bool utf16 = facts.name_unit == NameUnit::kUtf16;
    std::map<std::string, std::vector<std::pair<std::size_t, std::size_t>>> marks;  // characters' ends: bytes, units
    std::vector<std::pair<std::string, int>> made;  // names and their families
    const auto with_leftovers = [&](const std::string& page, int family) {
      PathText output, marker;
      ASSERT_TRUE(AppendOutputName(page, facts, output) && AppendMarkerName(page, facts, marker));
      for (const std::string& name : {page, std::string(output.view()), std::string(marker.view()), page + kAsideSuffix.data()})
        if (random() % 2) made.push_back({name, family});
    };
    for (int n = random() % 7, family; n > 0; --n)
      family = static_cast<int>(random() % 4), made.push_back({stems[family] + endings[random() % 5] + leftovers[random() % 3], family});
    for (int family = 10; family < 10 + static_cast<int>(random() % 3); ++family) {
      std::string page;
      std::vector<std::pair<std::size_t, std::size_t>> ends{{0, 0}};
      for (std::size_t target = facts.name_limit - 5 - random() % 14;;) {
        const auto& [bytes, units] = characters[random() % 7];
        if (ends.back().second + (utf16 ? units : bytes.size()) + (bytes == "\xE2") > target) break;
        page += bytes, ends.push_back({page.size(), ends.back().second + (utf16 ? units : bytes.size())});
        if (bytes == "\xE2") page += '\x80', ends.push_back({page.size(), ends.back().second + 1});
      }
      for (const char c : std::string(random() % 2 ? ".page" : ".tmp")) page += c, ends.push_back({page.size(), ends.back().second + 1});
      marks[page] = std::move(ends);
      with_leftovers(page, family);
    }
    // Names of one hash, and a third of the same prefix but another hash.
    for (const auto& [pair, maker] : {std::pair{one_output, &AppendOutputName}, std::pair{one_marker, &AppendMarkerName}}) {
      if (facts.name_limit != 255 || random() % 3) continue;
      PathText made_names[2];
      ASSERT_TRUE(maker(pair[0], facts, made_names[0]) && maker(pair[1], facts, made_names[1]));
      ASSERT_EQ(made_names[0].view(), made_names[1].view());
      with_leftovers(pair[0], 9), with_leftovers(pair[1], 9), with_leftovers(pair[0] + "z.pag", 9);
    }
    // A name the system gave only in part may look like another's but for case.
    const std::size_t like = made.empty() ? 0 : random() % made.size();
    std::string in_part = made.empty() ? "" : made[like].first;
    if (!in_part.empty() && std::isalpha(static_cast<unsigned char>(in_part[0])) && random() % 3 == 0)
      in_part[0] ^= 0x20, made.insert(made.begin() + random() % made.size(), {in_part, made[like].second < 2 ? 1 - made[like].second : made[like].second});
    else in_part.clear();
    Listing listing;
    std::vector<std::string> names;
    std::vector<int> families;
    for (const auto& [name, family] : made) {
      if (std::find(names.begin(), names.end(), name) != names.end() || NameUnits(name, facts) > facts.name_limit) continue;
      ASSERT_TRUE(listing.Add(name, random() % 10 ? F : D, 0, name != in_part && random() % 12 != 0));
      names.push_back(name), families.push_back(family);
    }
    // The reference: names compare as the facts say, unless two names carried whole differ only in case.
    bool sensitive = facts.case_sensitive;
    for (std::size_t i = 0; i < names.size(); ++i)
      for (std::size_t j = 0; j < i; ++j) sensitive |= listing.carried(i) && listing.carried(j) && Keyed(names[i], false) == Keyed(names[j], false);
    const auto key = [&](std::string_view s) { return Keyed(s, sensitive); };
    const auto count = [&](const auto& pred) { return std::count_if(names.begin(), names.end(), [&](const std::string& n) { return pred(&n - names.data()); }); };
    const auto whole = [&](std::size_t j) { return listing.carried(j) && listing.kind(j) == F; };
    const auto held = [&](std::string_view name, std::size_t self) { return count([&](std::size_t j) { return j != self && key(names[j]) == key(name); }) > 0; };
    // A name not carried whole that looks like one carried whole is not another's name.
    const auto shadow = [&](std::size_t j) { return !listing.carried(j) && count([&](std::size_t k) { return listing.carried(k) && key(names[k]) == key(names[j]); }) > 0; };
    FolderPlan plan;
    ASSERT_EQ(plan.Make(listing, 10, facts), PlanResult::kDone);
    std::string all;
    for (std::size_t i = 0; i < names.size(); ++i) all += names[i] + (listing.carried(i) ? "" : " (in part)") + (listing.kind(i) == D ? "/ | " : " | ");
    all += facts.case_sensitive ? "case-sensitive" : "";
    std::map<std::string, int> takers;
    for (std::size_t i = 0; i < listing.size(); ++i) {
      const Step& step = plan[i];
      const std::string &name = names[i], subject(step.subject);
      SCOPED_TRACE(name + " in " + all);
      PathText final_name, output;
      ASSERT_TRUE(AppendFinalName(subject, final_name) && AppendOutputName(subject, facts, output));
      EXPECT_TRUE(step.fate != Fate::kLeave || step.reason != Reason::kNone);
      EXPECT_TRUE(listing.carried(i) || step.fate == Fate::kLeave);
      // Each name taken once, and only where nobody else is.
      if (step.fate == Fate::kLocalise || step.fate == Fate::kFinish || step.fate == Fate::kRestore || step.fate == Fate::kReturn) {
        const std::string taken(step.fate == Fate::kReturn ? subject : std::string(final_name.view()));
        EXPECT_EQ(++takers[key(taken)], 1);
        EXPECT_TRUE(key(taken) == key(name) || !held(taken, i));
      }
      // A page is localised only where the names made beside it are free or its own leftovers'.
      for (std::size_t j = 0; j < names.size() && step.fate == Fate::kLocalise; ++j)
        EXPECT_TRUE((key(names[j]) != key(step.output) && (step.marker.empty() || key(names[j]) != key(step.marker))) || j == i || shadow(j) ||
                    (listing.carried(j) && key(plan[j].subject) == key(name))) << names[j];
      // A leftover's page is known by its whole name, and only where no other name fits it.
      std::string_view prefix, hash, marker_hash, rest;
      std::set<std::string> fits;
      for (std::size_t j = 0; j < names.size() && step.role == Role::kOutput && ShortOutputParts(name, &prefix, &hash); ++j) {
        std::string candidate = names[j];
        if (MarkerParts(names[j], &marker_hash, &rest)) candidate = marker_hash == hash ? std::string(prefix) + std::string(rest) : "";
        PathText rebuilt;
        if (whole(j) && (IsPageName(candidate) || IsStrayName(candidate)) && AppendOutputName(candidate, facts, rebuilt) && rebuilt.view() == name)
          fits.insert(candidate);
      }
      if (step.role == Role::kOutput && PageOfOutput(name).empty() && whole(i)) {
        EXPECT_EQ(std::pair(subject, step.reason), std::pair(fits.size() == 1 ? *fits.begin() : "", fits.empty() ? Reason::kNameLost : fits.size() > 1 ? Reason::kOwnerAmbiguous : step.reason));
      }
      if (step.role == Role::kOutput && !subject.empty()) { EXPECT_EQ(output.view(), name); }
      // Nothing goes whose text or name is not provably elsewhere: an output only beside its
      // page, a marker only with the one page or output here whose marker it is.
      bool page_here = false;
      std::set<std::string> owners;
      for (std::size_t j = 0; j < names.size(); ++j) {
        if (j == i || !whole(j)) continue;
        page_here |= !subject.empty() && IsSource(plan[j].role) && key(names[j]) == key(subject);
        if ((IsSource(plan[j].role) || plan[j].role == Role::kOutput) && plan[j].marker == name) owners.insert(std::string(plan[j].subject));
      }
      EXPECT_TRUE(step.fate != Fate::kRemove || page_here);
      if (step.role == Role::kMarker && whole(i)) {
        EXPECT_EQ(std::pair(subject, step.reason), std::pair(owners.size() == 1 ? *owners.begin() : "", owners.empty() ? Reason::kNoOwner : owners.size() > 1 ? Reason::kOwnerAmbiguous : Reason::kNone));
      }
      // An output whose final name is held goes back to its page's name where that is free and a page's.
      if (step.role == Role::kOutput && !subject.empty() && (step.fate == Fate::kReturn || step.reason == Reason::kFinalNameHeld)) {
        EXPECT_EQ(step.fate == Fate::kReturn, final_name.view() != subject && !held(subject, i) && !MarkerParts(subject, &hash, &rest));
      }
      EXPECT_EQ(step.output.empty(), subject.empty() || !whole(i) || step.role == Role::kOther);
      EXPECT_EQ(!step.aside.empty(), !step.output.empty() && !facts.frees_names_at_once && step.marker.empty() && subject.ends_with(".pag"));
      // Beside a long page: the longest run of whole characters that leaves room for the rest
      // of the output name, the rest in the marker; a page whose names do not fit is left.
      bool fit = true;
      if (const auto at = marks.find(subject); at != marks.end() && !step.output.empty()) {
        const std::size_t made_units = kShortTag.size() + kHashDigits + kOutputSuffix.size(), units = at->second.back().second;
        std::size_t cut = 0, cut_units = 0;
        for (const auto& [bytes, ends_units] : at->second) if (ends_units + made_units <= facts.name_limit) cut = bytes, cut_units = ends_units;
        const bool short_names = units + kOutputSuffix.size() > facts.name_limit;
        fit = !short_names || (cut > 0 && 1 + kHashDigits + kMarkerInfix.size() + units - cut_units <= facts.name_limit);
        EXPECT_EQ(step.marker.empty(), !short_names);
        if (short_names) {
          EXPECT_EQ(std::tuple(step.output.substr(0, cut), step.output.size(), step.marker.substr(step.marker.size() - (subject.size() - cut))),
                    std::tuple(std::string_view(subject).substr(0, cut), cut + made_units, std::string_view(subject).substr(cut)));
        }
        EXPECT_TRUE(fit || step.fate != Fate::kLocalise);
      }
      // A page, a stray or a plain leftover alone in its family (as names compare here) is done.
      const auto kin = count([&](std::size_t j) { return (families[j] == families[i] || (!sensitive && families[j] + families[i] == 1)) && !shadow(j); });
      if (kin == 1 && whole(i) && step.role != Role::kMarker) {
        const Fate done = IsSource(step.role) ? (fit ? Fate::kLocalise : Fate::kLeave) : step.role == Role::kAside ? Fate::kRestore : Fate::kFinish;
        EXPECT_TRUE(subject.empty() || step.role == Role::kOther || step.fate == done);
      }
    }
  }
}

}  // namespace
}  // namespace setupext
