#include "template/folder_plan.h"

namespace setupext {
namespace {

constexpr std::string_view kPageExtension = ".pag";
constexpr std::string_view kStrayExtension = ".tmp";
constexpr std::uint32_t kNobody = ~std::uint32_t{0};

std::string_view LastExtension(std::string_view name) {
  const std::size_t dot = name.rfind('.');
  return dot == std::string_view::npos ? std::string_view() : From(name, dot);
}

std::string_view Before(std::string_view name, std::string_view suffix) {
  return name.ends_with(suffix) ? Part(name, 0, name.size() - suffix.size()) : std::string_view();
}

enum class Role : std::uint8_t { kOther, kFolder, kLink, kPage, kStray, kOutput, kAside };

// Names as the file system compares them, each with the entry it stands for, sorted.
class KeyTable {
 public:
  [[nodiscard]] bool Add(std::uint32_t entry, std::string_view name) {
    return offsets_.Push(static_cast<std::uint32_t>(keys_.size())) && AppendNameKey(name, keys_) &&
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

  ByteBuffer keys_;
  GrowingArray<std::uint32_t> offsets_, ends_, order_, entries_;
};

Role RoleOf(const Listing& listing, std::size_t i) {
  const std::string_view name = listing.name(i);
  const bool ours = !PageOfOutput(name).empty() || !PageOfAside(name).empty();
  switch (listing.kind(i)) {
    case EntryKind::kFolder: return Role::kFolder;
    case EntryKind::kLink: return ours || IsPageName(name) || IsStrayName(name) ? Role::kLink : Role::kOther;
    case EntryKind::kFile: break;
  }
  if (!PageOfOutput(name).empty()) return Role::kOutput;
  if (!PageOfAside(name).empty()) return Role::kAside;
  if (IsPageName(name)) return Role::kPage;
  return IsStrayName(name) ? Role::kStray : Role::kOther;
}

bool IsSource(Role role) { return role == Role::kPage || role == Role::kStray; }

}  // namespace

bool IsPageName(std::string_view name) noexcept { return LastExtension(name).starts_with(kPageExtension); }
bool IsStrayName(std::string_view name) noexcept { return LastExtension(name) == kStrayExtension; }

bool AppendFinalName(std::string_view name, PathText& out) noexcept {
  return out.Append(Part(name, 0, name.rfind('.'))) && out.Append(kPageExtension);
}

std::string_view PageOfOutput(std::string_view name) noexcept {
  const std::string_view page = Before(name, kOutputSuffix);
  return IsPageName(page) || IsStrayName(page) ? page : std::string_view();
}

std::string_view PageOfAside(std::string_view name) noexcept {
  const std::string_view page = Before(name, kAsideSuffix);
  return page.ends_with(kPageExtension) ? page : std::string_view();
}

bool SubfolderFits(std::size_t folder_units, std::string_view name) noexcept {
  return folder_units + PathUnits(name) + 1 <= kMaxRootLength + 1;
}

struct FolderPlan::Planner {
  const Listing& listing;
  std::size_t folder_units;
  GrowingArray<Step>& steps;
  GrowingArray<Role> roles;
  KeyTable names;    // every entry by its own name
  KeyTable finals;   // every entry that may take a final name, by that name
  ByteBuffer key;
  PathText made;

  std::string_view Name(std::uint32_t i) const { return listing.name(i); }
  // The page or stray an entry stands for: itself, or the one a leftover was made for.
  std::string_view Subject(std::uint32_t i) const {
    return roles[i] == Role::kOutput ? PageOfOutput(Name(i)) : roles[i] == Role::kAside ? PageOfAside(Name(i)) : Name(i);
  }
  void Set(std::uint32_t i, Fate fate, Reason reason = Reason::kNone, std::uint32_t other = 0) {
    steps[i] = {fate, reason, other};
  }
  bool Open(std::uint32_t i) const { return steps[i].fate == Fate::kLeave && steps[i].reason == Reason::kNone; }

  // The entry holding the name, other than `self`, or kNobody; false when memory ran out.
  bool Find(std::string_view name, std::uint32_t self, std::uint32_t* found) {
    key.Clear();
    *found = kNobody;
    if (!AppendNameKey(name, key)) return false;
    for (std::size_t at = names.LowerBound(key.view()); at < names.size() && names.Key(at) == key.view(); ++at) {
      if (names.Entry(at) != self) {
        *found = names.Entry(at);
        break;
      }
    }
    return true;
  }
  bool FindWithSuffix(std::string_view name, std::string_view suffix, std::uint32_t* found) {
    made.Clear();
    *found = kNobody;
    return !made.Append(name) || !made.Append(suffix) || Find(made.view(), kNobody, found);
  }

  // Whether the page's path, its final name's and the names made beside it fit.
  Reason Fits(std::string_view page) const {
    if (folder_units + PathUnits(page) > kMaxPathLength) return Reason::kPathTooLong;
    if (PathUnits(page) + PathUnits(kOutputSuffix) > kMaxNameLength) return Reason::kNameTooLong;
    return Reason::kNone;
  }

  bool Classify() {
    steps.Clear();
    if (!roles.Reserve(listing.size()) || !steps.Reserve(listing.size())) return false;
    for (std::uint32_t i = 0; i < listing.size(); ++i) {
      const Role role = RoleOf(listing, i);
      const Reason reason = role == Role::kFolder ? (SubfolderFits(folder_units, Name(i)) ? Reason::kFolder : Reason::kPathTooLong)
                            : role == Role::kLink  ? Reason::kLink
                            : role == Role::kOther ? Reason::kNotAPage
                                                   : Reason::kNone;
      if (!roles.Push(role) || !steps.Push(Step{Fate::kLeave, reason, 0}) || !names.Add(i, Name(i))) return false;
    }
    names.Sort();
    return true;
  }

  // What can be told of one entry alone: paths and names that do not fit, an output name
  // held by something that is no leftover, a leftover whose page's name is a folder's.
  bool CheckAlone(std::uint32_t i) {
    if (!Open(i)) return true;
    const Reason fits = Fits(Subject(i));
    if (fits != Reason::kNone) {
      Set(i, Fate::kLeave, fits);
      return true;
    }
    std::uint32_t holder;
    if (IsSource(roles[i])) {
      if (!FindWithSuffix(Name(i), kOutputSuffix, &holder)) return false;
      if (holder != kNobody && roles[holder] != Role::kOutput) Set(i, Fate::kLeave, Reason::kOutputNameHeld, holder);
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

  bool Plan() {
    if (!Classify() || !CollectClaims()) return false;
    for (std::size_t first = 0, end = 0; first < finals.size(); first = end) {
      for (end = first + 1; end < finals.size() && finals.Key(end) == finals.Key(first);) ++end;
      if (!SettleGroup(first, end)) return false;
    }
    return true;
  }
};

PlanResult FolderPlan::Make(const Listing& listing, std::size_t folder_units) noexcept {
  Planner planner{listing, folder_units, steps_, {}, {}, {}, {}, {}};
  return planner.Plan() ? PlanResult::kDone : PlanResult::kNoMemory;
}

const char* ReasonText(Reason reason) noexcept {
  switch (reason) {
    case Reason::kNone: return "";
    case Reason::kFolder: return "a folder";
    case Reason::kNotAPage: return "not a page";
    case Reason::kLink: return "a link";
    case Reason::kPathTooLong: return "path over the limit";
    case Reason::kNameTooLong: return "name too long for the names made beside it";
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
