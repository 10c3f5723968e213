#include "template/folder_plan.h"

namespace setupext {
namespace {

constexpr std::uint32_t kNobody = ~std::uint32_t{0};

// Names as the file system compares them, each with the entry it stands for, sorted.
class KeyTable {
 public:
  explicit KeyTable(bool case_sensitive = true) : case_sensitive_(case_sensitive) {}
  [[nodiscard]] bool Add(std::uint32_t entry, std::string_view name) {
    return offsets_.Push(static_cast<std::uint32_t>(keys_.size())) && AppendNameKey(name, case_sensitive_, keys_) &&
           ends_.Push(static_cast<std::uint32_t>(keys_.size())) && order_.Push(static_cast<std::uint32_t>(entries_.size())) &&
           entries_.Push(entry);
  }

  // Shell sort: no memory, no recursion, fast enough for a folder.
  void Sort() {
    const std::size_t n = order_.size();
    for (std::size_t gap = n / 2; gap > 0; gap = gap == 2 ? 1 : gap * 5 / 11) {
      for (std::size_t i = gap; i < n; ++i) {
        const std::uint32_t moving = order_[i];
        std::size_t j = i;
        for (; j >= gap && KeyOf(moving) < KeyOf(order_[j - gap]); j -= gap) order_[j] = order_[j - gap];
        order_[j] = moving;
      }
    }
  }

  std::size_t size() const { return order_.size(); }
  // In sorted order.
  std::string_view Key(std::size_t rank) const { return KeyOf(order_[rank]); }
  std::uint32_t Entry(std::size_t rank) const { return entries_[order_[rank]]; }
  std::size_t LowerBound(std::string_view key) const {
    std::size_t low = 0, high = order_.size();
    while (low < high) {
      const std::size_t middle = (low + high) / 2;
      if (Key(middle) < key) low = middle + 1;
      else high = middle;
    }
    return low;
  }

 private:
  std::string_view KeyOf(std::uint32_t i) const { return Part(keys_.view(), offsets_[i], ends_[i] - offsets_[i]); }

  bool case_sensitive_;
  ByteBuffer keys_;
  GrowingArray<std::uint32_t> offsets_, ends_, order_, entries_;
};

Role RoleOf(const Listing& listing, std::size_t i) {
  const std::string_view name = listing.name(i);
  std::string_view a, b;
  const bool marker = MarkerParts(name, &a, &b), short_output = ShortOutputParts(name, &a, &b);
  const bool ours = !PageOfOutput(name).empty() || !PageOfAside(name).empty() || marker || short_output;
  switch (listing.kind(i)) {
    case EntryKind::kFolder: return Role::kFolder;
    case EntryKind::kLink: return ours || IsPageName(name) || IsStrayName(name) ? Role::kLink : Role::kOther;
    case EntryKind::kSpecial: return ours || IsPageName(name) || IsStrayName(name) ? Role::kSpecial : Role::kOther;
    case EntryKind::kFile: break;
  }
  if (!PageOfOutput(name).empty()) return Role::kOutput;
  if (!PageOfAside(name).empty()) return Role::kAside;
  if (marker) return Role::kMarker;
  if (short_output) return Role::kOutput;
  if (IsPageName(name)) return Role::kPage;
  return IsStrayName(name) ? Role::kStray : Role::kOther;
}

bool IsSource(Role role) { return role == Role::kPage || role == Role::kStray; }

}  // namespace

bool SubfolderFits(std::size_t folder_units, std::string_view name) noexcept {
  return folder_units + PathUnits(name) + 1 <= kMaxRootLength + 1;
}

struct FolderPlan::Planner {
  const Listing& listing;
  std::size_t folder_units;
  const FolderFacts& facts;
  GrowingArray<Step>& steps;
  GrowingArray<Role> roles;
  KeyTable names;    // every entry by its own name
  KeyTable finals;   // every entry that may take a final name, by that name
  ByteBuffer key;
  PathText made;

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

  // A short output's page: its prefix and its marker's rest, when they make a name of that
  // hash. False when memory ran out; an empty name when there is no such marker.
  bool PutTogether(std::uint32_t i) {
    std::string_view prefix, hash, marker_hash, rest;
    (void)ShortOutputParts(Name(i), &prefix, &hash);
    const std::uint32_t start = static_cast<std::uint32_t>(subjects.size());
    for (std::uint32_t k = 0; k < listing.size(); ++k) {
      if (roles[k] != Role::kMarker || !MarkerParts(Name(k), &marker_hash, &rest) || marker_hash != hash) continue;
      subjects.Truncate(start);
      if (!subjects.Append(prefix) || !subjects.Append(rest)) return false;
      const std::string_view page = From(subjects.view(), start);
      made.Clear();
      if (NeedsShortNames(page, facts) && (IsPageName(page) || IsStrayName(page)) && AppendOutputName(page, facts, made) &&
          made.view() == Name(i))
        return subject_at.Push(start) && subject_at.Push(static_cast<std::uint32_t>(page.size()));
    }
    subjects.Truncate(start);
    return subject_at.Push(start) && subject_at.Push(0);
  }

  // The subjects' views, once their bytes no longer move.
  void SetSubjects() {
    std::size_t short_outputs = 0;
    for (std::uint32_t i = 0; i < listing.size(); ++i) {
      const std::string_view name = Name(i);
      std::string_view subject = name;
      if (roles[i] == Role::kMarker) subject = {};
      else if (roles[i] == Role::kAside) subject = PageOfAside(name);
      else if (roles[i] == Role::kOutput && !PageOfOutput(name).empty()) subject = PageOfOutput(name);
      else if (roles[i] == Role::kOutput) {
        subject = Part(subjects.view(), subject_at[short_outputs], subject_at[short_outputs + 1]);
        short_outputs += 2;
      }
      steps[i].subject = subject;
    }
  }
  bool Open(std::uint32_t i) const { return steps[i].fate == Fate::kLeave && steps[i].reason == Reason::kNone; }

  // The entry holding the name, other than `self`, or kNobody; false when memory ran out.
  bool Find(std::string_view name, std::uint32_t self, std::uint32_t* found) {
    key.Clear();
    *found = kNobody;
    if (!AppendNameKey(name, facts.case_sensitive, key)) return false;
    for (std::size_t at = names.LowerBound(key.view()); at < names.size() && names.Key(at) == key.view(); ++at) {
      if (names.Entry(at) != self) {
        *found = names.Entry(at);
        break;
      }
    }
    return true;
  }


  // Whether the page's path, and so its final name's, fits; the names made beside it may go
  // beyond.
  Reason Fits(std::string_view page) const {
    return folder_units + PathUnits(page) > kMaxPathLength ? Reason::kPathTooLong : Reason::kNone;
  }

  bool Classify() {
    steps.Clear();
    if (!roles.Reserve(listing.size()) || !steps.Reserve(listing.size())) return false;
    for (std::uint32_t i = 0; i < listing.size(); ++i) {
      const Role role = RoleOf(listing, i);
      const Reason reason = role == Role::kFolder ? (SubfolderFits(folder_units, Name(i)) ? Reason::kFolder : Reason::kPathTooLong)
                            : role == Role::kLink  ? Reason::kLink
                            : role == Role::kSpecial ? Reason::kNotRegular
                            : role == Role::kOther ? Reason::kNotAPage
                                                   : Reason::kNone;
      const Fate fate = role == Role::kMarker ? Fate::kRemoveMarker : Fate::kLeave;
      if (!roles.Push(role) || !steps.Push(Step{fate, reason, role, 0, {}, {}, {}, {}, {}}) || !names.Add(i, Name(i))) return false;
    }
    names.Sort();
    for (std::uint32_t i = 0; i < listing.size(); ++i) {
      if (roles[i] == Role::kOutput && PageOfOutput(Name(i)).empty() && !PutTogether(i)) return false;
    }
    SetSubjects();
    return true;
  }

  // A marker's page: the name its short output and it make, or a page here that it fits.
  void FindPageOfMarker(std::uint32_t i) {
    std::string_view hash, rest;
    (void)MarkerParts(Name(i), &hash, &rest);
    for (std::uint32_t k = 0; k < listing.size() && Subject(i).empty(); ++k) {
      const std::string_view page = Subject(k);
      if (!(roles[k] == Role::kOutput || IsSource(roles[k])) || page.empty() || !NeedsShortNames(page, facts)) continue;
      made.Clear();
      if (AppendMarkerName(page, facts, made) && made.view() == Name(i)) steps[i].subject = page;
    }
  }

  // A short output whose marker is gone still has its page when that page is here.
  void FindPageOfShortOutput(std::uint32_t i) {
    for (std::uint32_t k = 0; k < listing.size() && Subject(i).empty(); ++k) {
      made.Clear();
      if (IsSource(roles[k]) && NeedsShortNames(Name(k), facts) && AppendOutputName(Name(k), facts, made) && made.view() == Name(i))
        steps[i].subject = Name(k);
    }
    if (Subject(i).empty()) Set(i, Fate::kLeave, Reason::kNameLost);
  }

  // What can be told of one entry alone: paths and names that do not fit, an output name
  // held by something that is no leftover, a leftover whose page's name is a folder's.
  bool CheckAlone(std::uint32_t i) {
    if (roles[i] == Role::kOutput && Subject(i).empty()) FindPageOfShortOutput(i);
    if (roles[i] == Role::kMarker) FindPageOfMarker(i);
    if (!Open(i)) return true;
    const Reason fits = Fits(Subject(i));
    if (fits != Reason::kNone) {
      Set(i, Fate::kLeave, fits);
      return true;
    }
    std::uint32_t holder;
    if (IsSource(roles[i])) {
      made.Clear();
      if (!AppendOutputName(Name(i), facts, made) || !Find(made.view(), kNobody, &holder)) return false;
      if (holder != kNobody && roles[holder] != Role::kOutput) Set(i, Fate::kLeave, Reason::kOutputNameHeld, holder);
      made.Clear();
      if (!NeedsShortNames(Name(i), facts) || !Open(i)) return true;
      if (!AppendMarkerName(Name(i), facts, made) || !Find(made.view(), kNobody, &holder)) return false;
      if (holder != kNobody && roles[holder] != Role::kMarker) Set(i, Fate::kLeave, Reason::kOutputNameHeld, holder);
      return true;
    }
    if (roles[i] == Role::kOutput) {
      if (!Find(Subject(i), i, &holder)) return false;
      if (holder == kNobody) return true;  // its page is gone: it may take the final name
      if (IsSource(roles[holder])) Set(i, Fate::kRemove);
      else Set(i, Fate::kLeave, Reason::kPageNameHeld, holder);
    }
    return true;
  }

  bool CollectClaims() {
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

  // Every name the executor, the counts and the words need, for each entry's subject.
  bool SettleNames(ByteBuffer& settled) {
    GrowingArray<std::uint32_t> at;  // for each entry: output, final, aside, marker, each start and size
    for (std::uint32_t i = 0; i < listing.size(); ++i) {
      steps[i].role = roles[i];
      const std::string_view page = Subject(i);
      const bool named = !page.empty() && roles[i] != Role::kFolder && roles[i] != Role::kLink &&
                         roles[i] != Role::kSpecial && roles[i] != Role::kOther;
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
    return true;
  }
};

PlanResult FolderPlan::Make(const Listing& listing, std::size_t folder_units, const FolderFacts& facts) noexcept {
  subjects_.Clear();
  names_.Clear();
  Planner planner{listing, folder_units, facts, steps_, {}, KeyTable(facts.case_sensitive), KeyTable(facts.case_sensitive),
                  {}, {}, subjects_, {}};
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
  }
  return "";
}

bool ReasonNamesOther(Reason reason) noexcept {
  return reason == Reason::kFinalNameHeld || reason == Reason::kFinalClaimed || reason == Reason::kOutputNameHeld ||
         reason == Reason::kPageNameHeld;
}

}  // namespace setupext
