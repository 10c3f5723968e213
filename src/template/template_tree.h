// The two passes over a template tree: every page into its ".tmp" output first, then every
// ".tmp" file onto its ".pag" name.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "platform/files.h"

namespace setupext {

// Longest path the walk builds, and longest folder it starts from (without its separator).
inline constexpr std::size_t kMaxPathLength = 1023;
inline constexpr std::size_t kMaxRootLength = 1019;

// The name with everything from its last "." replaced by `extension` ("a.page" -> "a.tmp").
// A name without a dot gets the extension appended.
std::string ReplaceExtension(std::string_view name, std::string_view extension);

// What the localising pass leaves for the commit: every output it completed, with the name it
// must take, recorded before its page is deleted (so moving them needs no memory), and the
// outputs it could not remove, which must never take a page's name.
struct CommitPlan {
  struct Move {
    enum class State {
      kWriting,   // its page not yet replaced
      kPending,   // its page deleted: the output must take the name
      kDone,      // moved
      kDropped,   // its page kept, its output removed
      kStranded,  // its page kept, its unfinished output could not be removed
    };
    std::string from;
    std::string to;
    State state = State::kWriting;
  };
  std::vector<Move> moves;
  int pause_budget_ms = 30000;  // what all the retries of one call may wait together
};

// Localises every page in and below `folder` into an output named by ReplaceExtension(".tmp"),
// deleting each page whose output is complete, and records each output in `plan`. Pages whose
// output name or final name is held by another entry, or shared with another page, are left
// as they are. Returns the number of pages localised.
std::size_t LocaliseTree(Files& files, const std::string& folder, CommitPlan& plan);
std::size_t LocaliseTree(Files& files, const std::string& folder);

// Moves the outputs the plan recorded onto their names. Retries a move that fails for a
// moment (a scanner holding the file, the page's deletion still pending) for about two
// seconds. Takes no memory and never throws.
std::size_t CommitPlanned(Files& files, CommitPlan& plan) noexcept;

// Moves every other ".tmp" file in and below `folder` to its ".pag" name, never over an
// existing file and never an output the plan marks as stranded. Returns the number moved.
std::size_t CommitTree(Files& files, const std::string& folder, CommitPlan& plan);
std::size_t CommitTree(Files& files, const std::string& folder);

// Both passes as a template operation runs them: every page localised first, then the planned
// outputs moved, then any other ".tmp" file. May throw only from the last walk.
void LocaliseAndCommitTree(Files& files, const std::string& folder);

}  // namespace setupext
