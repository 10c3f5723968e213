// What happens to every entry of one folder, decided from its listing alone: no file is
// touched here, so the rules can be tested, and shown to an author, without any.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/buffers.h"
#include "platform/files.h"

namespace setupext {

// Longest path the walk builds, and longest folder it starts from (without its separator).
inline constexpr std::size_t kMaxPathLength = 1023;
inline constexpr std::size_t kMaxRootLength = 1019;

// Names only the module makes, beside a page while it is being replaced: its output, and (on
// systems that cannot free a name while another program holds the file) the page itself on
// its way out. A call cut short may leave either; the next call recognises them by these
// names and finishes the job. Neither is a page or a ".tmp" file by its name.
inline constexpr std::string_view kOutputSuffix = ".setupext-new";
inline constexpr std::string_view kAsideSuffix = ".setupext-old";

// A page is a file whose last extension begins with ".pag" ("a.pag", "a.page"); a stray
// output of an earlier version is a file whose last extension is ".tmp". Case-sensitive.
bool IsPageName(std::string_view name) noexcept;
bool IsStrayName(std::string_view name) noexcept;
// The name with its last extension replaced by ".pag": where a page or stray ends.
[[nodiscard]] bool AppendFinalName(std::string_view name, PathText& out) noexcept;

enum class Fate : std::uint8_t {
  kLeave,     // nothing is done (the reason says why)
  kLocalise,  // a page: its French version takes its final name
  kMove,      // a stray ".tmp" file: moved onto its final name
  kFinish,    // an output a cut call completed: takes its page's final name
  kRemove,    // something a cut call left that is not needed: its page is still there, or
              // the page's text is already at its final name
  kRestore,   // a page a cut call moved aside that is its only copy: back to its name, and
              // localised
};

enum class Reason : std::uint8_t {
  kNone,
  kFolder,          // walked on its own
  kNotAPage,        // neither a page nor a ".tmp" file nor left by a cut call
  kLink,            // may lead anywhere: never entered, read or moved
  kPathTooLong,     // the page's path or one of the names it needs is over the limit
  kFinalNameHeld,   // another entry holds the final name (as the file system compares names)
  kFinalClaimed,    // another entry would take the same final name
  kOutputNameHeld,  // an entry that is not a leftover file holds the output's name
};

struct Step {
  Fate fate = Fate::kLeave;
  Reason reason = Reason::kNone;
  std::uint32_t other = 0;  // the entry in the way, for kFinalNameHeld, kFinalClaimed and
                            // kOutputNameHeld
};

enum class [[nodiscard]] PlanResult { kDone, kNoMemory };

// Every entry's step, by its index in the listing.
class FolderPlan {
 public:
  PlanResult Make(const Listing& listing, std::size_t folder_units) noexcept;
  const Step& operator[](std::size_t i) const noexcept { return steps_[i]; }
  std::size_t size() const noexcept { return steps_.size(); }

 private:
  struct Keyed;
  GrowingArray<Step> steps_;
};

const char* ReasonText(Reason reason) noexcept;

}  // namespace setupext
