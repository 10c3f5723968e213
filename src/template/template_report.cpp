#include "template/template_report.h"

#include "platform/system_error.h"
#include "text/decimal.h"

namespace setupext {
namespace {

class Line {
 public:
  Line(ByteBuffer& out, Tense tense) : out_(out), would_(tense == Tense::kWould) {}
  Line& operator<<(std::string_view text) {
    ok_ = ok_ && out_.Append(text);
    return *this;
  }
  Line& operator<<(std::size_t number) { return *this << Decimal(number).view(); }
  // The two forms of one verb: "would be removed" / "removed".
  Line& Verb(std::string_view would, std::string_view did) { return *this << (would_ ? would : did); }
  // What went wrong, with the system's own number where one is known: "could not be flushed:
  // disk full (error 112)".
  Line& Cause(const PageResult& result) { return (*this << TroubleText(result.trouble)).Error(result.error); }
  Line& Error(std::uint32_t error) {
    if (error == 0) return *this;
    const std::string_view words = SystemErrorWords(error);
    if (!words.empty()) *this << ": " << words;
    return *this << " (error " << static_cast<std::size_t>(error) << ")";
  }
  bool ok() const { return ok_; }

 private:
  ByteBuffer& out_;
  bool would_;
  bool ok_ = true;
};

// What localising a page came to, after the words that lead to it.
void PageWords(Line& line, std::string_view final_name, const PageResult& result) {
  switch (result.outcome) {
    case PageOutcome::kDone:
      line.Verb("would be localised into ", "localised into ") << final_name;
      return;
    case PageOutcome::kUnchanged:
      line << (result.no_page_line ? "no PAGE { line: no change needed" : "already French: no change needed");
      if (result.moved) line.Verb(", would be moved to ", ", moved to ") << final_name;
      return;
    case PageOutcome::kKept:
      line.Verb("would stay English: ", "stays English: ").Cause(result);
      return;
    case PageOutcome::kOutputLeft:
      line << "its French version " << (result.trouble == PageTrouble::kNameBusy || result.trouble == PageTrouble::kNamesNotSynced ? "waits" : "may wait")
           << " beside it for the next call: ";
      line.Cause(result);
      return;
  }
}

void LeftoverWords(Line& line, std::string_view would, std::string_view did, const PageResult& result) {
  if (result.outcome == PageOutcome::kDone) line.Verb(would, did);
  else line.Verb("would stay: ", "stays: ").Cause(result);
}

const char* FolderTroubleText(FolderTrouble trouble) {
  switch (trouble) {
    case FolderTrouble::kCannotList: return "cannot be listed";
    case FolderTrouble::kHeld: return "held by another call all the while";
    case FolderTrouble::kOtherVolume: return "on another volume or mount: never entered";
    case FolderTrouble::kChanged: return "replaced by a link or another folder since it was listed";
    case FolderTrouble::kTooDeep: return "holds a folder too deep to be listed";
    case FolderTrouble::kNotSynced: return "worked in, but its names could not be put on the disk (the next call finishes what a power cut leaves)";
  }
  return "";
}

}  // namespace

bool AppendEntryLine(ByteBuffer& out, Tense tense, std::string_view shown_dir, const Listing& listing, std::size_t i,
                     const Step& step, const PageResult& result, bool all) noexcept {
  const std::string_view name = listing.name(i);
  if (step.fate == Fate::kLeave && step.reason == Reason::kFolder) return true;
  if (!all && ((step.fate == Fate::kLocalise && result.outcome == PageOutcome::kUnchanged && !result.moved) ||
               (step.fate == Fate::kLeave && step.reason == Reason::kNotAPage)))
    return true;
  Line line(out, tense);
  line << shown_dir << name << ": ";
  switch (step.fate) {
    case Fate::kLocalise: PageWords(line, step.final_name, result); break;
    case Fate::kFinish:
      line << "left by a cut call, its page's only copy: ";
      LeftoverWords(line, "would take the name ", "took the name ", result);
      if (result.outcome == PageOutcome::kDone) line << step.final_name;
      break;
    case Fate::kReturn:
      line << "left by a cut call, its page's only copy, its final name held: ";
      LeftoverWords(line, "would go back to ", "went back to ", result);
      if (result.outcome == PageOutcome::kDone) line << step.subject;
      break;
    case Fate::kRemove:
      line << "left by a cut call, unfinished beside its page: ";
      LeftoverWords(line, "would be removed", "removed", result);
      break;
    case Fate::kRemoveMarker:
      line << "left by a cut call, the rest of a long page name: ";
      LeftoverWords(line, "would be removed", "removed", result);
      break;
    case Fate::kRemoveCopy:
      line << "left by a cut call, a copy of " << step.subject << ": ";
      LeftoverWords(line, "would be removed, its text being there", "removed, its text being there", result);
      break;
    case Fate::kRestore:
      line << "left by a cut call, its page's only copy: ";
      if (!result.put_back) {
        LeftoverWords(line, "", "", result);
        break;
      }
      line.Verb("would go back to ", "put back as ") << step.subject << ", then ";
      PageWords(line, step.final_name, result);
      break;
    case Fate::kLeave:
      if (listing.kind(i) == EntryKind::kFolder) line << "folder path over the limit: not walked";
      else if (step.reason == Reason::kNotAPage) line << "not a page: left as it is";
      else {
        if (name != step.subject) line << "left by a cut call: ";
        line << "left as it is: " << ReasonText(step.reason);
        if (ReasonNamesOther(step.reason)) line << " " << listing.name(step.other);
      }
      break;
  }
  // Its step done, the marker of a long name that should have gone with it waits for the next call.
  if (result.marker_stays) {
    line << "; the marker of its long name stays for the next call";
    if (result.outcome == PageOutcome::kDone) line.Error(result.error);  // else the cause is told above
  }
  return (line << "\n").ok();
}

bool AppendFolderLine(ByteBuffer& out, Tense tense, std::string_view shown_dir, FolderTrouble trouble) noexcept {
  Line line(out, tense);
  line << shown_dir << ": folder " << FolderTroubleText(trouble);
  if (trouble == FolderTrouble::kNotSynced) return (line << "\n").ok();
  line << ": ";
  line.Verb("would be skipped\n", "skipped\n");
  return line.ok();
}

bool AppendSummary(ByteBuffer& out, Tense tense, const TreeCounts& c, TreeResult result) noexcept {
  Line line(out, tense);
  line << "summary: " << c.localised;
  line.Verb(" would be localised, ", " localised, ") << c.unchanged;
  line.Verb(" need no change, ", " needed no change, ") << c.finished;
  line.Verb(" leftovers would be finished, ", " leftovers finished, ") << c.left;
  line.Verb(" would stay English, ", " stayed English, ") << c.leftovers_left;
  line.Verb(" leftovers would stay, ", " leftovers stayed, ") << c.folders_skipped << " folders skipped";
  if (c.folders_unlisted > 0)
    line << ", result unknown: " << c.folders_unlisted << " folders could not be listed, their pages not counted";
  if (result == TreeResult::kNoMemory) line << " (out of memory: the walk stopped early)";
  return (line << "\n").ok();
}

std::string_view TreeReport::Below(std::string_view dir) noexcept {
  if (!started_) {
    started_ = true;
    complete_ &= root_.Assign(dir);
    Line line(text_, tense_);
    complete_ &= (line << "tree: " << dir << "\n").ok();
  }
  return dir.starts_with(root_.view()) ? From(dir, root_.size()) : dir;
}

void TreeReport::Entry(std::string_view dir, const Listing& listing, std::size_t i, const Step& step,
                       const PageResult& result) noexcept {
  const std::string_view below = Below(dir);
  complete_ &= AppendEntryLine(text_, tense_, below, listing, i, step, result, all_);
}

void TreeReport::Folder(std::string_view dir, FolderTrouble trouble) noexcept {
  const std::string_view below = Below(dir);
  complete_ &= AppendFolderLine(text_, tense_, below.empty() ? dir : below, trouble);
}

void TreeReport::Finish(const TreeCounts& counts, TreeResult result) noexcept {
  if (result == TreeResult::kRootTooLong) {
    Line line(text_, tense_);
    complete_ &= (line << "the folder's path is over the limit of " << kMaxRootLength << " characters: ")
                     .Verb("nothing would be done\n", "nothing was done\n")
                     .ok();
    return;
  }
  if (result == TreeResult::kNoRoot) {
    Line line(text_, tense_);
    complete_ &= line.Verb("the folder does not exist or cannot be opened: nothing would be done\n",
                           "the folder does not exist or cannot be opened: nothing was done\n").ok();
    return;
  }
  complete_ &= AppendSummary(text_, tense_, counts, result);
}

void TreeReport::NoTree(std::string_view variable, std::string_view why) noexcept {
  Line line(text_, tense_);
  line << "no tree: " << variable << " " << why << ": ";
  complete_ &= line.Verb("nothing would be done\n", "nothing was done\n").ok();
}

}  // namespace setupext
