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

// The page a leftover was made for, or nothing when the name is not one the module makes.
std::string_view PageOfLeftover(std::string_view name, std::string_view suffix) {
  if (!name.ends_with(suffix)) return {};
  const std::string_view page = Part(name, 0, name.size() - suffix.size());
  return IsPageName(page) ? page : std::string_view();
}

enum class Role : std::uint8_t { kOther, kFolder, kLink, kPage, kStray, kOutput, kAside };

// Claims on one final name rank so: an output whose page is gone holds the page's only
// French text, and a page comes before a stray file.
int Rank(Role role) { return role == Role::kOutput ? 0 : role == Role::kPage ? 1 : 2; }

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
  const bool output = !PageOfLeftover(name, kOutputSuffix).empty();
  const bool aside = !PageOfLeftover(name, kAsideSuffix).empty();
  switch (listing.kind(i)) {
    case EntryKind::kFolder: return Role::kFolder;
    case EntryKind::kLink: return output || aside || IsPageName(name) || IsStrayName(name) ? Role::kLink : Role::kOther;
    case EntryKind::kFile: break;
  }
  if (output) return Role::kOutput;
  if (aside) return Role::kAside;
  if (IsPageName(name)) return Role::kPage;
  return IsStrayName(name) ? Role::kStray : Role::kOther;
}

}  // namespace

bool IsPageName(std::string_view name) noexcept { return LastExtension(name).starts_with(kPageExtension); }
bool IsStrayName(std::string_view name) noexcept { return LastExtension(name) == kStrayExtension; }

bool AppendFinalName(std::string_view name, PathText& out) noexcept {
  return out.Append(Part(name, 0, name.rfind('.'))) && out.Append(kPageExtension);
}

struct FolderPlan::Keyed {
  const Listing& listing;
  std::size_t folder_units;
  GrowingArray<Step>& steps;
  GrowingArray<Role> roles;
  KeyTable names;   // every entry by its own name
  KeyTable finals;  // every entry that would take a final name, by that name
  ByteBuffer key;
  PathText made;

  // The entry holding the name, other than `self`, or kNobody; false when memory ran out.
  bool Find(std::string_view name, std::uint32_t self, std::uint32_t* found) {
    key.Clear();
    if (!AppendNameKey(name, key)) return false;
    *found = kNobody;
    for (std::size_t at = names.LowerBound(key.view()); at < names.size() && names.Key(at) == key.view(); ++at) {
      if (names.Entry(at) != self) {
        *found = names.Entry(at);
        break;
      }
    }
    return true;
  }
  bool FindWithSuffix(std::string_view name, std::string_view suffix, std::uint32_t self, std::uint32_t* found) {
    made.Clear();
    if (!made.Append(name) || !made.Append(suffix)) {
      *found = kNobody;
      return true;
    }
    return Find(made.view(), self, found);
  }
  bool FindFinal(std::string_view of, std::uint32_t self, std::uint32_t* found) {
    made.Clear();
    if (!AppendFinalName(of, made)) {
      *found = kNobody;
      return true;
    }
    return Find(made.view(), self, found);
  }

  bool Fits(std::string_view name, std::string_view suffix = {}) const {
    return folder_units + PathUnits(name) + PathUnits(suffix) <= kMaxPathLength;
  }
  void Set(std::uint32_t i, Fate fate, Reason reason = Reason::kNone, std::uint32_t other = 0) {
    steps[i] = {fate, reason, other};
  }
  // The name whose final name an entry would take.
  std::string_view Subject(std::uint32_t i) const {
    return roles[i] == Role::kOutput ? PageOfLeftover(listing.name(i), kOutputSuffix) : listing.name(i);
  }
  bool Claims(std::uint32_t i) const {
    const Fate fate = steps[i].fate;
    return fate == Fate::kLocalise || fate == Fate::kMove || fate == Fate::kFinish;
  }

  bool Classify() {
    if (!roles.Reserve(listing.size())) return false;
    steps.Clear();
    if (!steps.Reserve(listing.size())) return false;
    for (std::uint32_t i = 0; i < listing.size(); ++i) {
      const Role role = RoleOf(listing, i);
      const Reason reason = role == Role::kFolder ? Reason::kFolder : role == Role::kLink ? Reason::kLink : Reason::kNotAPage;
      if (!roles.Push(role) || !steps.Push(Step{Fate::kLeave, reason, 0}) || !names.Add(i, listing.name(i))) return false;
    }
    names.Sort();
    return true;
  }

  bool PlanOutput(std::uint32_t i) {
    const std::string_view page = Subject(i);
    std::uint32_t page_entry;
    if (!Find(page, i, &page_entry)) return false;
    // Beside its page the output is unfinished, or its page was never deleted: it goes. With
    // the page gone it holds the page's whole text, flushed before the page went.
    if (page_entry != kNobody) Set(i, Fate::kRemove);
    else if (!Fits(page, kPageExtension)) Set(i, Fate::kLeave, Reason::kPathTooLong);
    else Set(i, Fate::kFinish);
    return true;
  }

  bool PlanAside(std::uint32_t i) {
    const std::string_view page = PageOfLeftover(listing.name(i), kAsideSuffix);
    std::uint32_t page_entry, output_entry, final_entry;
    if (!Find(page, i, &page_entry) || !FindWithSuffix(page, kOutputSuffix, i, &output_entry) ||
        !FindFinal(page, i, &final_entry))
      return false;
    // Its text is elsewhere: at its name, at its final name, or in an output that will be.
    if (page_entry != kNobody || output_entry != kNobody || final_entry != kNobody) Set(i, Fate::kRemove);
    else if (!Fits(page, kOutputSuffix) || !Fits(page, kPageExtension)) Set(i, Fate::kLeave, Reason::kPathTooLong);
    else Set(i, Fate::kRestore);
    return true;
  }

  bool PlanPage(std::uint32_t i) {
    const std::string_view page = listing.name(i);
    if (!Fits(page, kOutputSuffix) || !Fits(page, kAsideSuffix) || !Fits(page, kPageExtension)) {
      Set(i, Fate::kLeave, Reason::kPathTooLong);
      return true;
    }
    std::uint32_t output_entry;
    if (!FindWithSuffix(page, kOutputSuffix, i, &output_entry)) return false;
    if (output_entry != kNobody && roles[output_entry] != Role::kOutput) Set(i, Fate::kLeave, Reason::kOutputNameHeld, output_entry);
    else Set(i, Fate::kLocalise);
    return true;
  }

  bool PlanStray(std::uint32_t i) {
    if (!Fits(listing.name(i), kPageExtension)) Set(i, Fate::kLeave, Reason::kPathTooLong);
    else Set(i, Fate::kMove);
    return true;
  }

  // A final name held by another entry stops the claim: taking it would cost some text its
  // name. A page ending in ".pag" holds its own final name.
  bool SettleHeldFinalNames() {
    for (std::uint32_t i = 0; i < listing.size(); ++i) {
      if (!Claims(i)) continue;
      std::uint32_t holder;
      if (!FindFinal(Subject(i), i, &holder)) return false;
      if (holder != kNobody) Set(i, Fate::kLeave, Reason::kFinalNameHeld, holder);
    }
    return true;
  }

  // Claimants of one free name: the best ranked takes it when it is alone in its rank.
  bool SettleSharedFinalNames() {
    for (std::uint32_t i = 0; i < listing.size(); ++i) {
      if (!Claims(i)) continue;
      made.Clear();
      if (!AppendFinalName(Subject(i), made)) return false;
      if (!finals.Add(i, made.view())) return false;
    }
    finals.Sort();
    for (std::size_t first = 0, end = 0; first < finals.size(); first = end) {
      int best = 3, at_best = 0;
      std::uint32_t winner = kNobody;
      for (end = first; end < finals.size() && finals.Key(end) == finals.Key(first); ++end) {
        const int rank = Rank(roles[finals.Entry(end)]);
        if (rank < best) best = rank, at_best = 0, winner = finals.Entry(end);
        if (rank == best) ++at_best;
      }
      if (end - first == 1) continue;
      for (std::size_t k = first; k < end; ++k) {
        const std::uint32_t entry = finals.Entry(k);
        if (at_best == 1 && entry == winner) continue;
        Set(entry, Fate::kLeave, Reason::kFinalClaimed, entry == winner ? finals.Entry(k == first ? first + 1 : first) : winner);
      }
    }
    return true;
  }

  bool Plan() {
    if (!Classify()) return false;
    for (std::uint32_t i = 0; i < listing.size(); ++i) {
      bool planned = true;
      switch (roles[i]) {
        case Role::kOutput: planned = PlanOutput(i); break;
        case Role::kAside: planned = PlanAside(i); break;
        case Role::kPage: planned = PlanPage(i); break;
        case Role::kStray: planned = PlanStray(i); break;
        default: break;
      }
      if (!planned) return false;
    }
    return SettleHeldFinalNames() && SettleSharedFinalNames();
  }
};

PlanResult FolderPlan::Make(const Listing& listing, std::size_t folder_units) noexcept {
  Keyed keyed{listing, folder_units, steps_, {}, {}, {}, {}, {}};
  return keyed.Plan() ? PlanResult::kDone : PlanResult::kNoMemory;
}

const char* ReasonText(Reason reason) noexcept {
  switch (reason) {
    case Reason::kNone: return "";
    case Reason::kFolder: return "a folder";
    case Reason::kNotAPage: return "not a page";
    case Reason::kLink: return "a link";
    case Reason::kPathTooLong: return "path over the limit";
    case Reason::kFinalNameHeld: return "final name held by";
    case Reason::kFinalClaimed: return "final name also wanted by";
    case Reason::kOutputNameHeld: return "output name held by";
  }
  return "";
}

}  // namespace setupext
