// What happens to every entry of one folder, decided from its listing alone: no file is
// touched here, so the rules can be tested, and shown to an author, without any. The executor
// (template_tree) carries the plan out and never gives a name to an entry the plan did not.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/buffers.h"
#include "platform/files.h"
#include "template/page_names.h"

namespace setupext {

// Longest path of a page or its final name, and longest folder the walk starts from (without
// its separator). The names only the module makes beside a page may go beyond.
inline constexpr std::size_t kMaxPathLength = 1023;
inline constexpr std::size_t kMaxRootLength = 1019;
// Whether the walk enters a folder of this name inside a folder of `folder_units` (its path
// with the separator).
bool SubfolderFits(std::size_t folder_units, std::string_view name) noexcept;

// What an entry is, by its kind and its name.
enum class Role : std::uint8_t { kOther, kFolder, kLink, kSpecial, kPage, kStray, kOutput, kAside, kMarker };
// A page or a stray: what counts as a page.
inline bool IsPageRole(Role role) { return role == Role::kPage || role == Role::kStray; }
// A name only the module makes beside a page.
inline bool IsLeftoverRole(Role role) { return role == Role::kOutput || role == Role::kAside || role == Role::kMarker; }

enum class Fate : std::uint8_t {
  kLeave,        // nothing is done (the reason says why)
  kLocalise,     // a page or stray: its French version takes its final name
  kFinish,       // an output whose page is gone, its only copy: takes the page's final name
  kRemove,       // an output beside its page: unfinished, the page holds the text
  kRestore,      // an aside copy that is its page's only copy: back to its name, localised
  kRemoveCopy,   // an aside copy: removed once the page at its name holds its translation
  kRemoveMarker, // a short output's marker: removed once no output of that name is left
  kReturn,       // an output whose page is gone and whose final name another holds: back to
                 // its page's own name, which is free
};

enum class Reason : std::uint8_t {
  kNone,
  kFolder,          // walked on its own
  kNotAPage,        // neither a page nor a ".tmp" file nor left by a cut call
  kLink,            // may lead anywhere: never entered, read or moved
  kNotRegular,      // a FIFO, socket or device named like a page: never opened
  kPathTooLong,     // the page's path or its final name's is over the limit
  kNameLost,        // a short output whose marker is gone: its page's name is not known
  kFinalNameHeld,   // another entry holds the final name (as the file system compares names)
  kFinalClaimed,    // an entry that comes first takes the same final name
  kOutputNameHeld,  // an entry that is not a leftover holds the output's name
  kPageNameHeld,    // a leftover whose page's name is held by a folder or a link
  kOwnerAmbiguous,  // a short output or marker that more than one page's name fits
  kNoOwner,         // a marker whose page and short output are both gone: kept, it may be
                    // all that is left of a name
  kNameNotCarried,  // the system gave its name only in part: it cannot be named again
};

// An entry's step, with every name the executor, the counts and the words need, settled by
// the plan (views of the listing or of the plan's own bytes; empty where the entry has none).
struct Step {
  Fate fate = Fate::kLeave;
  Reason reason = Reason::kNone;
  Role role = Role::kOther;
  std::uint32_t other = 0;   // the entry in the way, for the reasons that name one
  std::string_view subject;  // the page or stray the entry stands for: itself, or the one a
                             // leftover was made for
  std::string_view output;   // the subject's output name
  std::string_view final_name;  // where the subject ends
  std::string_view aside;    // where the subject goes before its deletion, only where it may
  std::string_view marker;   // the subject's marker, only for a long name
};

enum class [[nodiscard]] PlanResult { kDone, kNoMemory };

// Every entry's step, by its index in the listing. Entries are planned by group: those that
// end at one final name (as the file system compares names) and the entry that holds it.
// Each final name goes to one entry at the most: a page's only copy first, then a page, then
// a stray. Names compare as the folder's facts say, and case apart wherever the listing holds
// two names that differ only in case: the folder keeps both, so it tells them apart. An entry
// is taken for a page's leftover only by names rebuilt whole, never by a part of a name.
class FolderPlan {
 public:
  PlanResult Make(const Listing& listing, std::size_t folder_units, const FolderFacts& facts) noexcept;
  const Step& operator[](std::size_t i) const noexcept { return steps_[i]; }
  std::size_t size() const noexcept { return steps_.size(); }

 private:
  struct Planner;
  GrowingArray<Step> steps_;
  ByteBuffer subjects_;  // page names put together from short outputs and their markers
  ByteBuffer names_;     // the names settled for each entry's subject
  PathText made_;        // a name being made: here rather than on the stack, with the plan
};

// Whether the folder demonstrably keeps two names that one case would make one: then it tells
// case apart, whatever its facts say. False when memory ran out.
[[nodiscard]] bool ShowsCaseTwins(const Listing& listing, bool* twins) noexcept;

const char* ReasonText(Reason reason) noexcept;
// Whether the reason names another entry.
bool ReasonNamesOther(Reason reason) noexcept;

}  // namespace setupext
