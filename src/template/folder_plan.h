// What happens to every entry of one folder, decided from its listing alone: no file is
// touched here, so the rules can be tested, and shown to an author, without any. The executor
// (template_tree) carries the plan out and never gives a name to an entry the plan did not.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/buffers.h"
#include "platform/files.h"

namespace setupext {

// Longest path of a page or its final name, and longest folder the walk starts from (without
// its separator). The names only the module makes beside a page may go beyond.
inline constexpr std::size_t kMaxPathLength = 1023;
inline constexpr std::size_t kMaxRootLength = 1019;
// Longest name a file system holds, in UTF-16 units (bytes on POSIX).
inline constexpr std::size_t kMaxNameLength = 255;

// Names only the module makes, beside a page while it is being replaced: its output, and (on
// systems that cannot free a name while another program holds the file) the page itself on
// its way out. A call cut short may leave either; the next call recognises them by these
// names and finishes the job. Only a page whose own name ends in ".pag" is ever set aside.
inline constexpr std::string_view kOutputSuffix = ".setupext-new";
inline constexpr std::string_view kAsideSuffix = ".setupext-old";
// A page whose name leaves no room for the output suffix gets a short output name,
// "PREFIX.~HASH.setupext-new", and beside it a marker "~HASH.setupext-name-REST" that keeps the
// rest of its name, made before the page may go: a cut call's output can still be given its
// page's final name. Such a page is never set aside.
inline constexpr std::string_view kMarkerInfix = ".setupext-name-";

// Whether the page's own names need the short form.
bool NeedsShortNames(std::string_view page) noexcept;
// The page's output name, and for the short form its marker's name.
[[nodiscard]] bool AppendOutputName(std::string_view page, PathText& out) noexcept;
[[nodiscard]] bool AppendMarkerName(std::string_view page, PathText& out) noexcept;

// A page is a file whose last extension begins with ".pag" ("a.pag", "a.page"); a stray
// output of an earlier version is a file whose last extension is ".tmp". Case-sensitive.
bool IsPageName(std::string_view name) noexcept;
bool IsStrayName(std::string_view name) noexcept;
// The name with its last extension replaced by ".pag": where a page or stray ends.
[[nodiscard]] bool AppendFinalName(std::string_view name, PathText& out) noexcept;
// The page or stray a leftover name was made for, or nothing when the module never makes
// that name.
std::string_view PageOfOutput(std::string_view name) noexcept;
std::string_view PageOfAside(std::string_view name) noexcept;
// Whether the walk enters a folder of this name inside a folder of `folder_units` (its path
// with the separator).
bool SubfolderFits(std::size_t folder_units, std::string_view name) noexcept;

enum class Fate : std::uint8_t {
  kLeave,        // nothing is done (the reason says why)
  kLocalise,     // a page or stray: its French version takes its final name
  kFinish,       // an output whose page is gone, its only copy: takes the page's final name
  kRemove,       // an output beside its page: unfinished, the page holds the text
  kRestore,      // an aside copy that is its page's only copy: back to its name, localised
  kRemoveCopy,   // an aside copy: removed once the page at its name holds its translation
  kRemoveMarker, // a short output's marker: removed once no output of that name is left
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
};

struct Step {
  Fate fate = Fate::kLeave;
  Reason reason = Reason::kNone;
  std::uint32_t other = 0;   // the entry in the way, for the reasons that name one
  std::string_view subject;  // the page or stray the entry stands for: itself, or the one a
                             // leftover was made for (held by the plan)
};

enum class [[nodiscard]] PlanResult { kDone, kNoMemory };

// Every entry's step, by its index in the listing. Entries are planned by group: those that
// end at one final name (as the file system compares names) and the entry that holds it.
// Each final name goes to one entry at the most: a page's only copy first, then a page, then
// a stray.
class FolderPlan {
 public:
  PlanResult Make(const Listing& listing, std::size_t folder_units) noexcept;
  const Step& operator[](std::size_t i) const noexcept { return steps_[i]; }
  std::size_t size() const noexcept { return steps_.size(); }

 private:
  struct Planner;
  GrowingArray<Step> steps_;
  ByteBuffer subjects_;  // page names put together from short outputs and their markers
};

const char* ReasonText(Reason reason) noexcept;
// Whether the reason names another entry.
bool ReasonNamesOther(Reason reason) noexcept;

}  // namespace setupext
