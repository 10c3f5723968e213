#include "template/folder_plan.h"

#include "platform/name_keys.h"

namespace setupext {
namespace {

constexpr std::uint32_t kNobody = ~std::uint32_t{0};

// What a file is by its name alone.
Role RoleOfFile(std::string_view name) {
  std::string_view a, b;
  if (!PageOfOutput(name).empty()) return Role::kOutput;
  if (!PageOfAside(name).empty()) return Role::kAside;
  if (MarkerParts(name, &a, &b)) return Role::kMarker;
  if (ShortOutputParts(name, &a, &b)) return Role::kOutput;
  if (IsPageName(name)) return Role::kPage;
  return IsStrayName(name) ? Role::kStray : Role::kOther;
}

Role RoleOf(const Listing& listing, std::size_t i) {
  const Role named = RoleOfFile(listing.name(i));
  switch (listing.kind(i)) {
    case EntryKind::kFolder: return Role::kFolder;
    case EntryKind::kLink: return named == Role::kOther ? Role::kOther : Role::kLink;
    case EntryKind::kSpecial: return named == Role::kOther ? Role::kOther : Role::kSpecial;
    case EntryKind::kFile: break;
  }
  return named;
}

bool IsFileRole(Role role) { return IsPageRole(role) || IsLeftoverRole(role); }

}  // namespace

bool SubfolderFits(std::size_t folder_units, std::string_view name) noexcept {
  return folder_units + PathUnits(name) + 1 <= kMaxRootLength + 1;
}

struct FolderPlan::Planner {
  const Listing& listing;
  std::size_t folder_units;
  const FolderFacts& facts;  // as the listing shows them (ShowsCaseTwins)
  GrowingArray<Step>& steps;
  // What the plan takes each entry for: an entry whose name is not carried whole is nobody's
  // page nor leftover, though its name still counts as held.
  GrowingArray<Role> roles;
  NameKeys names;    // every entry by its own name
  NameKeys finals;   // every entry that may take a final name, by that name
  ByteBuffer key, other_key;
  PathText& made;

  ByteBuffer& subjects;
  GrowingArray<std::uint32_t> subject_at;  // for each short output: its page's name's start and size

  std::string_view Name(std::uint32_t i) const { return listing.name(i); }
  // The page or stray an entry stands for: itself, or the one a leftover was made for.
  std::string_view Subject(std::uint32_t i) const { return steps[i].subject; }
  void Set(std::uint32_t i, Fate fate, Reason reason = Reason::kNone, std::uint32_t other = 0) {
    steps[i].fate = fate;
    steps[i].reason = reason;
    steps[i].other = other;
  }
  bool Open(std::uint32_t i) const { return steps[i].fate == Fate::kLeave && steps[i].reason == Reason::kNone; }

  // Whether the two names are one as the folder compares them; false when memory ran out.
  bool Same(std::string_view a, std::string_view b, bool* same) {
    key.Clear();
    other_key.Clear();
    if (!AppendNameKey(a, facts.case_sensitive, key) || !AppendNameKey(b, facts.case_sensitive, other_key)) return false;
    *same = key.view() == other_key.view();
    return true;
  }

  // The entry holding the name, other than `self`, or kNobody; false when memory ran out. A
  // name not carried whole may look like another's: the entry that truly has the name first.
  bool Find(std::string_view name, std::uint32_t self, std::uint32_t* found) {
    key.Clear();
    *found = kNobody;
    if (!AppendNameKey(name, facts.case_sensitive, key)) return false;
    for (std::size_t at = names.LowerBound(key.view()); at < names.size() && names.Key(at) == key.view(); ++at) {
      const std::uint32_t entry = names.Entry(at);
      if (entry != self && (*found == kNobody || listing.carried(entry))) *found = entry;
    }
    return true;
  }

  // A short output's page is known only by its whole name: the prefix with a marker's rest,
  // or a page here whose output name this is. Two long names may share the prefix and the
  // hash; where more than one name fits, none is its page. False when memory ran out.
  bool FindShortSubject(std::uint32_t i) {
    std::string_view prefix, hash, marker_hash, rest;
    (void)ShortOutputParts(Name(i), &prefix, &hash);
    const std::size_t start = subjects.size();
    std::size_t first_size = 0, found = 0;
    const auto consider = [&](std::size_t from) {
      const std::string_view page = From(subjects.view(), from);
      made.Clear();
      const bool fits = (IsPageName(page) || IsStrayName(page)) && NeedsShortNames(page, facts) &&
                        AppendOutputName(page, facts, made) && made.view() == Name(i);
      const bool again = found > 0 && page == Part(subjects.view(), start, first_size);
      if (fits && !again && found++ == 0) first_size = page.size();
      else subjects.Truncate(from);
    };
    for (std::uint32_t k = 0; k < listing.size(); ++k) {
      const std::size_t from = subjects.size();
      if (roles[k] == Role::kMarker && MarkerParts(Name(k), &marker_hash, &rest) && marker_hash == hash) {
        if (!subjects.Append(prefix) || !subjects.Append(rest)) return false;
        consider(from);
      } else if (IsPageRole(roles[k]) && Name(k).starts_with(prefix)) {
        if (!subjects.Append(Name(k))) return false;
        consider(from);
      }
    }
    subjects.Truncate(start + first_size);
    if (found != 1) Set(i, Fate::kLeave, found == 0 ? Reason::kNameLost : Reason::kOwnerAmbiguous);
    return subject_at.Push(static_cast<std::uint32_t>(start)) && subject_at.Push(static_cast<std::uint32_t>(found == 1 ? first_size : 0));
  }

  // The subjects' views, once their bytes no longer move. A leftover whose name is not
  // carried whole stands for what its name says, for the words only.
  void SetSubjects() {
    std::size_t short_outputs = 0;
    for (std::uint32_t i = 0; i < listing.size(); ++i) {
      const std::string_view name = Name(i);
      const Role role = steps[i].role;
      std::string_view subject = name;
      if (role == Role::kMarker) subject = {};
      else if (role == Role::kAside) subject = PageOfAside(name);
      else if (role == Role::kOutput && !PageOfOutput(name).empty()) subject = PageOfOutput(name);
      else if (role == Role::kOutput && roles[i] == Role::kOther) subject = {};
      else if (role == Role::kOutput) {
        subject = Part(subjects.view(), subject_at[short_outputs], subject_at[short_outputs + 1]);
        short_outputs += 2;
      }
      steps[i].subject = subject;
    }
  }

  bool Classify() {
    steps.Clear();
    if (!roles.Reserve(listing.size()) || !steps.Reserve(listing.size())) return false;
    for (std::uint32_t i = 0; i < listing.size(); ++i) {
      const Role role = RoleOf(listing, i);
      const bool carried = listing.carried(i) || !IsFileRole(role);
      const Reason reason = !carried              ? Reason::kNameNotCarried
                            : role == Role::kFolder ? (SubfolderFits(folder_units, Name(i)) ? Reason::kFolder : Reason::kPathTooLong)
                            : role == Role::kLink   ? Reason::kLink
                            : role == Role::kSpecial ? Reason::kNotRegular
                            : role == Role::kOther  ? Reason::kNotAPage
                                                    : Reason::kNone;
      if (!roles.Push(carried ? role : Role::kOther) || !steps.Push(Step{Fate::kLeave, reason, role, 0, {}, {}, {}, {}, {}}) ||
          !names.Add(i, Name(i)))
        return false;
    }
    names.Sort();
    for (std::uint32_t i = 0; i < listing.size(); ++i) {
      if (roles[i] == Role::kOutput && PageOfOutput(Name(i)).empty() && !FindShortSubject(i)) return false;
    }
    SetSubjects();
    return true;
  }

  // A marker goes only with the one page or short output here whose marker it is; one that
  // no such entry owns may be all that is left of a page's name, and stays.
  void FindOwnerOfMarker(std::uint32_t i) {
    std::string_view owner;
    bool ambiguous = false;
    for (std::uint32_t k = 0; k < listing.size(); ++k) {
      const std::string_view page = Subject(k);
      if (!(roles[k] == Role::kOutput || IsPageRole(roles[k])) || page.empty() || page == owner || !NeedsShortNames(page, facts))
        continue;
      made.Clear();
      if (!AppendMarkerName(page, facts, made) || made.view() != Name(i)) continue;
      ambiguous |= !owner.empty();
      owner = page;
    }
    if (ambiguous) Set(i, Fate::kLeave, Reason::kOwnerAmbiguous);
    else if (owner.empty()) Set(i, Fate::kLeave, Reason::kNoOwner);
    else steps[i].subject = owner, Set(i, Fate::kRemoveMarker);
  }

  // Leaves the page when the entry holding a name it makes beside it is not its own leftover,
  // whose name is carried whole. False when memory ran out.
  bool HeldBy(std::uint32_t holder, std::uint32_t page) {
    bool own = false;
    if (holder == kNobody) return true;
    const bool leftover = roles[holder] == Role::kOutput || roles[holder] == Role::kMarker;
    if (leftover && !Subject(holder).empty() && !Same(Subject(holder), Name(page), &own)) return false;
    if (!own) Set(page, Fate::kLeave, Reason::kOutputNameHeld, holder);
    return true;
  }

  // Whether the page's marker, where it needs one, fits the folder's limit. Its output name
  // always does (the prefix is cut to fit); the marker keeps the rest of the name, which where
  // names are short may be more than a name holds (and is whenever no character fits the
  // prefix at all).
  bool MarkerFits(std::string_view page) {
    made.Clear();
    return !NeedsShortNames(page, facts) ||
           (AppendMarkerName(page, facts, made) && NameUnits(made.view(), facts) <= facts.name_limit);
  }

  // What can be told of one entry alone: paths and names that do not fit, names the page
  // makes beside it held by anything but its own leftovers, a leftover whose page's name is
  // held by what is no page.
  bool CheckAlone(std::uint32_t i) {
    if (!Open(i)) return true;
    if (Fits(Subject(i)) != Reason::kNone || (IsPageRole(roles[i]) && !MarkerFits(Name(i)))) {
      Set(i, Fate::kLeave, Reason::kPathTooLong);
      return true;
    }
    std::uint32_t holder;
    if (IsPageRole(roles[i])) {
      made.Clear();
      if (!AppendOutputName(Name(i), facts, made) || !Find(made.view(), kNobody, &holder)) return false;
      if (!HeldBy(holder, i)) return false;
      made.Clear();
      if (!NeedsShortNames(Name(i), facts) || !Open(i)) return true;
      if (!AppendMarkerName(Name(i), facts, made) || !Find(made.view(), kNobody, &holder)) return false;
      if (!HeldBy(holder, i)) return false;
      return true;
    }
    if (roles[i] == Role::kOutput) {
      if (!Find(Subject(i), i, &holder)) return false;
      if (holder == kNobody) return true;  // its page is gone: it may take the final name
      if (IsPageRole(roles[holder])) Set(i, Fate::kRemove);
      else Set(i, Fate::kLeave, Reason::kPageNameHeld, holder);
    }
    return true;
  }

  // Whether the page's path, and so its final name's, fits; the names made beside it may go
  // beyond.
  Reason Fits(std::string_view page) const {
    return folder_units + PathUnits(page) > kMaxPathLength ? Reason::kPathTooLong : Reason::kNone;
  }

  bool CollectClaims() {
    for (std::uint32_t i = 0; i < listing.size(); ++i) {
      if (roles[i] == Role::kMarker && Open(i)) FindOwnerOfMarker(i);
    }
    for (std::uint32_t i = 0; i < listing.size(); ++i) {
      if (!CheckAlone(i)) return false;
    }
    for (std::uint32_t i = 0; i < listing.size(); ++i) {
      if (!Open(i)) continue;
      made.Clear();
      if (!AppendFinalName(Subject(i), made) || !finals.Add(i, made.view())) return false;
    }
    finals.Sort();
    return true;
  }

  // One group: the entries of finals [first, end), all ending at one name, and the entry
  // that holds that name already, if any.
  bool SettleGroup(std::size_t first, std::size_t end) {
    made.Clear();
    std::uint32_t holder;
    if (!AppendFinalName(Subject(finals.Entry(first)), made) || !Find(made.view(), kNobody, &holder)) return false;
    const bool page_at_name = holder != kNobody && roles[holder] == Role::kPage;
    // A page's only copies: outputs whose page is gone, and aside copies with nothing else
    // of their page left. Those of the page that ends at this very name come first.
    const auto own = [this](std::uint32_t i) { return Subject(i).ends_with(kPageExtension); };
    bool own_output = false;
    for (std::size_t k = first; k < end; ++k) own_output |= roles[finals.Entry(k)] == Role::kOutput && own(finals.Entry(k));
    std::uint32_t copy = kNobody;
    for (std::size_t k = first; k < end; ++k) {
      const std::uint32_t i = finals.Entry(k);
      if (roles[i] == Role::kAside && (page_at_name || (holder == kNobody && own_output))) Set(i, Fate::kRemoveCopy);
      else if (holder == kNobody && (roles[i] == Role::kAside || roles[i] == Role::kOutput) &&
               (copy == kNobody || (!own(copy) && own(i))))
        copy = i;
    }
    std::uint32_t winner = copy;
    if (copy != kNobody) Set(copy, roles[copy] == Role::kAside ? Fate::kRestore : Fate::kFinish);
    if (page_at_name && Open(holder)) Set(holder, Fate::kLocalise), winner = holder;
    if (winner == kNobody && holder == kNobody) winner = SettleSources(first, end);
    for (std::size_t k = first; k < end; ++k) {
      const std::uint32_t i = finals.Entry(k);
      if (!Open(i)) continue;
      if (holder != kNobody) Set(i, Fate::kLeave, Reason::kFinalNameHeld, holder);
      else Set(i, Fate::kLeave, Reason::kFinalClaimed, winner);
    }
    return true;
  }

  // A free name that no copy takes: a page before a stray, when it is the only one of its
  // kind that wants the name. Two of a kind both stay. The entry that comes first.
  std::uint32_t SettleSources(std::size_t first, std::size_t end) {
    for (const Role kind : {Role::kPage, Role::kStray}) {
      std::uint32_t found = kNobody, count = 0;
      for (std::size_t k = first; k < end; ++k) {
        if (roles[finals.Entry(k)] == kind && count++ == 0) found = finals.Entry(k);
      }
      if (count == 0) continue;
      if (count == 1) {
        Set(found, Fate::kLocalise);
        return found;
      }
      for (std::size_t k = first; k < end; ++k) {
        const std::uint32_t i = finals.Entry(k), other = i == found ? kNobody : found;
        if (roles[i] != kind) continue;
        if (other != kNobody) Set(i, Fate::kLeave, Reason::kFinalClaimed, other);
      }
      // The first names another of its kind.
      for (std::size_t k = first; k < end; ++k) {
        const std::uint32_t i = finals.Entry(k);
        if (roles[i] == kind && i != found) {
          Set(found, Fate::kLeave, Reason::kFinalClaimed, i);
          break;
        }
      }
      return found;
    }
    return kNobody;
  }

  // Whether `name` is, as the folder compares names, the marker of a page the plan localises:
  // of the names the plan makes, the only one that may read as a page's (final names end in
  // ".pag", which a name going back never does, or it would be the held final name; outputs
  // and aside copies end in suffixes no page's name has). False when memory ran out.
  bool MarkerMade(std::string_view name, bool* made_here) {
    *made_here = false;
    for (std::uint32_t k = 0; k < listing.size() && !*made_here; ++k) {
      const std::string_view page = Subject(k);
      if (!(steps[k].fate == Fate::kLocalise || steps[k].fate == Fate::kRestore) || !NeedsShortNames(page, facts)) continue;
      made.Clear();
      if (!AppendMarkerName(page, facts, made) || !Same(made.view(), name, made_here)) return false;
    }
    return true;
  }

  // An output whose page is gone and whose final name another entry holds goes back to its
  // page's own name, where nothing wants that: under it, it is a page again in the author's
  // sight. Its page's name is free (CheckAlone); a name that reads as anything but a page's
  // is not taken.
  bool SettleReturns() {
    for (std::uint32_t i = 0; i < listing.size(); ++i) {
      const std::string_view page = Subject(i);
      if (roles[i] != Role::kOutput || steps[i].reason != Reason::kFinalNameHeld || !IsPageRole(RoleOfFile(page))) continue;
      bool taken = true;
      if (!MarkerMade(page, &taken)) return false;
      if (!taken) Set(i, Fate::kReturn);
    }
    return true;
  }

  // Every name the executor, the counts and the words need, for each entry's subject.
  bool SettleNames(ByteBuffer& settled) {
    GrowingArray<std::uint32_t> at;  // for each entry: output, final, aside, marker, each start and size
    for (std::uint32_t i = 0; i < listing.size(); ++i) {
      const std::string_view page = Subject(i);
      const bool named = !page.empty() && IsFileRole(roles[i]);
      for (int kind = 0; kind < 4; ++kind) {
        made.Clear();
        bool ok = true;
        if (named) {
          if (kind == 0) ok = AppendOutputName(page, facts, made);
          else if (kind == 1) ok = AppendFinalName(page, made);
          else if (kind == 2 && MayGoAside(page, facts)) ok = AppendAsideName(page, made);
          else if (kind == 3 && NeedsShortNames(page, facts)) ok = AppendMarkerName(page, facts, made);
        }
        if (!ok || !at.Push(static_cast<std::uint32_t>(settled.size())) || !settled.Append(made.view()) ||
            !at.Push(static_cast<std::uint32_t>(made.size())))
          return false;
      }
    }
    for (std::uint32_t i = 0; i < listing.size(); ++i) {
      const auto view = [&](int kind) { return Part(settled.view(), at[i * 8 + kind * 2], at[i * 8 + kind * 2 + 1]); };
      steps[i].output = view(0);
      steps[i].final_name = view(1);
      steps[i].aside = view(2);
      steps[i].marker = view(3);
    }
    return true;
  }

  bool Plan() {
    if (!Classify() || !CollectClaims()) return false;
    for (std::size_t first = 0, end = 0; first < finals.size(); first = end) {
      for (end = first + 1; end < finals.size() && finals.Key(end) == finals.Key(first);) ++end;
      if (!SettleGroup(first, end)) return false;
    }
    return SettleReturns();
  }
};

// Whether the folder demonstrably keeps two names that one case would make one: then it tells
// case apart, whatever its facts say. Only names carried whole show it. False when memory ran
// out.
bool ShowsCaseTwins(const Listing& listing, bool* twins) noexcept {
  *twins = false;
  NameKeys folded(false);
  for (std::uint32_t i = 0; i < listing.size(); ++i) {
    if (listing.carried(i) && !folded.Add(i, listing.name(i))) return false;
  }
  folded.Sort();
  for (std::size_t rank = 1; rank < folded.size() && !*twins; ++rank) *twins = folded.Key(rank) == folded.Key(rank - 1);
  return true;
}

PlanResult FolderPlan::Make(const Listing& listing, std::size_t folder_units, const FolderFacts& facts) noexcept {
  subjects_.Clear();
  names_.Clear();
  FolderFacts seen = facts;
  bool twins = false;
  if (!seen.case_sensitive && !ShowsCaseTwins(listing, &twins)) return PlanResult::kNoMemory;
  seen.case_sensitive |= twins;
  Planner planner{listing, folder_units, seen, steps_, {}, NameKeys(seen.case_sensitive), NameKeys(seen.case_sensitive),
                  {}, {}, made_, subjects_, {}};
  return planner.Plan() && planner.SettleNames(names_) ? PlanResult::kDone : PlanResult::kNoMemory;
}

const char* ReasonText(Reason reason) noexcept {
  switch (reason) {
    case Reason::kNone: return "";
    case Reason::kFolder: return "a folder";
    case Reason::kNotAPage: return "not a page";
    case Reason::kLink: return "a link";
    case Reason::kNotRegular: return "not a regular file (a FIFO, a socket or a device)";
    case Reason::kPathTooLong: return "path over the limit";
    case Reason::kNameLost: return "its marker is gone: its page's name is not known";
    case Reason::kFinalNameHeld: return "final name held by";
    case Reason::kFinalClaimed: return "final name also wanted by";
    case Reason::kOutputNameHeld: return "output name held by";
    case Reason::kPageNameHeld: return "its page's name held by";
    case Reason::kOwnerAmbiguous: return "more than one page could own it";
    case Reason::kNoOwner: return "no page or output of its name is here";
    case Reason::kNameNotCarried: return "its name cannot be carried unchanged";
  }
  return "";
}

bool ReasonNamesOther(Reason reason) noexcept {
  return reason == Reason::kFinalNameHeld || reason == Reason::kFinalClaimed || reason == Reason::kOutputNameHeld ||
         reason == Reason::kPageNameHeld;
}

}  // namespace setupext
