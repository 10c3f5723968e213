#include "template/page_replace.h"

#include <cstring>
#include <utility>

#include "platform/system_error.h"
#include "template/page_text.h"

namespace setupext {
namespace {

PageTrouble TroubleOf(FileResult result) {
  switch (result) {
    case FileResult::kNotPlain: return PageTrouble::kNotPlain;
    case FileResult::kLink: return PageTrouble::kLink;
    case FileResult::kSecondName: return PageTrouble::kSecondName;
    case FileResult::kThroughLink: return PageTrouble::kThroughLink;
    case FileResult::kBusy: return PageTrouble::kBusy;
    case FileResult::kExists: return PageTrouble::kNameBusy;
    default: return PageTrouble::kCannotOpen;
  }
}

PageResult Done() { return {PageOutcome::kDone, PageTrouble::kNone}; }

// Takes the translation and keeps none of it.
class DiscardingSink final : public ByteSink {
 public:
  bool Write(std::string_view) noexcept override { return true; }
};

}  // namespace

PageTrouble PageWork::Failed(PageTrouble trouble) noexcept {
  if (error_ == 0) error_ = LastSystemError();
  return trouble;
}

PageResult PageWork::Kept(PageTrouble trouble) noexcept {
  PageResult kept{PageOutcome::kKept, trouble};
  kept.error = error_;
  return kept;
}

// A file refused for what it is (a link, a second name) has no system error to tell.
PageResult PageWork::DoneOr(FileResult result) noexcept {
  if (result == FileResult::kDone) return Done();
  return Kept(IsNotPlain(result) ? TroubleOf(result) : Failed(TroubleOf(result)));
}

// Gathers the translation into writes of the buffer's size.
class PageWork::OutputSink final : public ByteSink {
 public:
  OutputSink(PageWork& work, NativeFile output) : work_(work), output_(output) {}

  bool Write(std::string_view bytes) noexcept override {
    while (!bytes.empty()) {
      if (used_ == work_.buffer_size_ && !Drain()) return false;
      const std::size_t take = std::min(bytes.size(), work_.buffer_size_ - used_);
      std::memcpy(work_.write_buffer_ + used_, bytes.data(), take);
      used_ += take;
      bytes.remove_prefix(take);
    }
    return true;
  }
  [[nodiscard]] bool Drain() {
    if (used_ > 0 && !work_.files_.Write(output_, work_.write_buffer_, used_)) return false;
    used_ = 0;
    return true;
  }

 private:
  PageWork& work_;
  NativeFile output_;
  std::size_t used_ = 0;
};

// Compares what it is given with a file's bytes, read piece by piece from the start.
class ComparingSink final : public ByteSink {
 public:
  ComparingSink(Files& files, NativeFile file, std::uint64_t size, char* buffer, std::size_t buffer_size)
      : files_(files), file_(file), size_(size), buffer_(buffer), buffer_size_(buffer_size) {}

  bool Write(std::string_view bytes) noexcept override {
    while (!bytes.empty() && same_) {
      if (at_ == got_ && !Next()) return same_ = false;
      const std::size_t take = std::min(bytes.size(), got_ - at_);
      same_ = std::memcmp(buffer_ + at_, bytes.data(), take) == 0;
      at_ += take;
      bytes.remove_prefix(take);
    }
    return true;
  }
  bool same() const { return same_ && at_ == got_ && offset_ == size_; }

 private:
  bool Next() {
    if (offset_ == size_) return false;
    const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(buffer_size_, size_ - offset_));
    const std::ptrdiff_t got = files_.ReadAt(file_, offset_, buffer_, want);
    if (got <= 0) return false;
    got_ = static_cast<std::size_t>(got);
    at_ = 0;
    offset_ += got_;
    return true;
  }

  Files& files_;
  NativeFile file_;
  std::uint64_t size_, offset_ = 0;
  char* buffer_;
  std::size_t buffer_size_, at_ = 0, got_ = 0;
  bool same_ = true;
};

struct PageWork::Scan {
  bool read_failed = false;
  bool changed = false;
  bool page_line = false;
};

// The step's names as paths in the folder. `entry` is the entry's own name where it is an
// aside copy: then it is the name the page waits under.
bool PageWork::SetPaths(const Step& step, std::string_view entry) noexcept {
  error_ = 0;
  page_.Clear();
  output_.Clear();
  final_.Clear();
  aside_.Clear();
  marker_.Clear();
  const std::string_view aside = step.role == Role::kAside ? entry : step.aside;
  return page_.Append(dir_) && page_.Append(step.subject) && output_.Append(dir_) && output_.Append(step.output) &&
         final_.Append(dir_) && final_.Append(step.final_name) &&
         (aside.empty() || (aside_.Append(dir_) && aside_.Append(aside))) &&
         (step.marker.empty() || (marker_.Append(dir_) && marker_.Append(step.marker)));
}

// A long name's marker, before its output is made: one left by a cut call serves as well.
bool PageWork::MakeMarker() noexcept {
  if (marker_.empty()) return true;
  Opened made = files_.CreateNew(folder_, marker_);
  return made.result == FileResult::kDone ||
         (made.result == FileResult::kExists && files_.CheckPlainFile(folder_, marker_) == FileResult::kDone);
}

// Once the output is gone (at its final name, or removed), its marker says nothing more; where
// names are not kept in order, not before the output's move is on the disk.
bool PageWork::RemoveMarkerOnce(bool ordered) noexcept {
  if (marker_.empty()) return true;
  if (!ordered && !files_.SyncFolder(folder_)) {
    (void)Failed(PageTrouble::kFolderSync);
    return false;
  }
  // A file of that name that holds something was never the module's marker.
  const PageResult removed = RemoveEmpty(marker_);
  return removed.outcome == PageOutcome::kDone || removed.trouble == PageTrouble::kNotEmpty;
}

// A finished step whose marker stays says so, with the cause, and the next call removes it.
PageResult PageWork::AndMarkerGone(PageResult result, bool ordered) noexcept {
  if (!RemoveMarkerOnce(ordered)) {
    result.marker_stays = true;
    if (result.error == 0) result.error = error_;
  }
  return result;
}

// A marker is empty: a file of that name that holds anything is somebody else's.
PageResult PageWork::RemoveEmpty(std::string_view path) noexcept {
  std::uint64_t size = 0;
  Opened marker = files_.OpenPage(folder_, path, &size);
  // Gone already: the step that gave its output the page's name took it away.
  if (marker.result == FileResult::kFailed && files_.CheckPlainFile(folder_, path) == FileResult::kFailed) return Done();
  if (marker.result != FileResult::kDone) return DoneOr(marker.result);
  if (size != 0) return Kept(PageTrouble::kNotEmpty);
  if (files_.DeletePage(std::move(marker.file), marker.stamp, folder_, path, {}) == PageDeletion::kKept)
    return Kept(Failed(PageTrouble::kNotDeleted));
  return Done();
}

std::ptrdiff_t PageWork::Piece(NativeFile file, std::uint64_t offset, std::uint64_t size) noexcept {
  const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(buffer_size_, size - offset));
  if (file == held_file_ && offset == held_offset_ && held_size_ == want) return static_cast<std::ptrdiff_t>(held_size_);
  held_size_ = 0;
  // A read may give less than asked; the window is filled all the same. The page is held
  // against writers where the system can; a page that ends early has changed all the same,
  // and is left.
  if (!ReadFully(files_, file, offset, read_buffer_, want)) return -1;
  held_file_ = file;
  held_offset_ = offset;
  held_size_ = want;
  return static_cast<std::ptrdiff_t>(want);
}

// The translator's next window of the file, from the read buffer; false when a read failed.
bool PageWork::NextWindow(PageTranslator& translator, NativeFile file, std::uint64_t size, TextResult& text) noexcept {
  const std::uint64_t at = translator.next();
  const std::ptrdiff_t got = Piece(file, at, size);
  if (got < 0) return false;
  text = translator.Take({read_buffer_, static_cast<std::size_t>(got)}, at + static_cast<std::uint64_t>(got) == size);
  return true;
}

// Reads up to the page's first change, and no further.
PageWork::Scan PageWork::FirstChange(NativeFile page, std::uint64_t size) noexcept {
  DiscardingSink sink;
  PageTranslator translator(sink);
  Scan scan;
  TextResult text = TextResult::kDone;  // a sink that keeps nothing refuses nothing
  while (!translator.ended() && !translator.changed()) {
    if (!NextWindow(translator, page, size, text)) {
      scan.read_failed = true;
      return scan;
    }
  }
  scan.changed = translator.changed();
  scan.page_line = translator.found_page_line();
  return scan;
}

PageTrouble PageWork::WriteTranslation(NativeFile page, std::uint64_t size, NativeFile output) noexcept {
  OutputSink sink(*this, output);
  PageTranslator translator(sink);
  TextResult text = TextResult::kDone;
  while (!translator.ended()) {
    if (!NextWindow(translator, page, size, text)) return PageTrouble::kReadFailed;
  }
  return text == TextResult::kDone && sink.Drain() ? PageTrouble::kNone : PageTrouble::kWriteFailed;
}

// The page stays as it was; so does its folder, unless the unfinished output cannot go.
PageResult PageWork::Abandon(File& output, PageTrouble trouble) noexcept {
  PageResult result = Kept(trouble);
  if (output.is_open() && !files_.DeleteNew(std::move(output), folder_, output_)) result.outcome = PageOutcome::kOutputLeft;
  return result;
}

PageResult PageWork::Localise(const Step& step) noexcept {
  WaitingPage waiting;
  const PageResult prepared = Prepare(step, waiting);
  if (!waiting.output.is_open()) return prepared;
  const PageResult deleted = DeleteWaiting(waiting, SyncNames());
  return waiting.deleted ? MoveWaiting(waiting, SyncNames()) : deleted;
}

FolderSync PageWork::SyncNames() noexcept {
  if (ordered_ || files_.SyncFolder(folder_)) return {};
  return {false, LastSystemError()};
}

PageResult PageWork::Prepare(const Step& step, WaitingPage& waiting) noexcept {
  if (!SetPaths(step)) return Kept(PageTrouble::kNoMemory);
  held_size_ = 0;
  std::uint64_t size = 0;
  Opened page = files_.OpenPage(folder_, page_, &size);
  if (page.result != FileResult::kDone) return DoneOr(page.result);
  const Scan scan = FirstChange(page.file.get().native, size);
  if (scan.read_failed) return Kept(Failed(PageTrouble::kReadFailed));
  if (!scan.changed) {
    page.file.reset();
    PageResult unchanged{PageOutcome::kUnchanged, PageTrouble::kNone, false, !scan.page_line};
    if (final_.view() == page_.view()) return unchanged;
    const FileResult moved = Move(page_, final_);
    if (moved != FileResult::kDone) return DoneOr(moved);
    unchanged.moved = true;
    return unchanged;
  }
  if (!quiet_) {
    files_.SetQuietErrorMode();
    quiet_ = true;
  }
  if (!MakeMarker()) return Kept(Failed(PageTrouble::kOutputTaken));
  Opened created = files_.CreateNew(folder_, output_);
  if (created.result != FileResult::kDone) {
    return AndMarkerGone(Kept(Failed(PageTrouble::kOutputTaken)), true);
  }
  const PageTrouble written = WriteWhole(page, size, created.file.get().native);
  if (written != PageTrouble::kNone) return Ended(Abandon(created.file, written));
  waiting.step = &step;
  waiting.page = std::move(page);
  waiting.output = std::move(created.file);
  return {};
}

// The output whole on the disk, data and attributes, before the page may go: a failed flush
// may hide lost data. On any failure the page is whole.
PageTrouble PageWork::WriteWhole(Opened& page, std::uint64_t size, NativeFile out) noexcept {
  const PageTrouble written = WriteTranslation(page.file.get().native, size, out);
  if (written == PageTrouble::kWriteFailed || written == PageTrouble::kReadFailed) return Failed(written);
  if (written != PageTrouble::kNone) return written;
  if (!files_.KeepAttributes(out, page.stamp)) return Failed(PageTrouble::kAttributesFailed);
  if (!files_.Flush(out)) return Failed(PageTrouble::kFlushFailed);
  return PageTrouble::kNone;
}

// A step that ended takes its marker away, unless its output waits for the next call.
PageResult PageWork::Ended(PageResult result) noexcept {
  return result.outcome == PageOutcome::kOutputLeft ? result : AndMarkerGone(result, ordered_);
}

PageResult PageWork::DeleteWaiting(WaitingPage& waiting, FolderSync synced) noexcept {
  if (!SetPaths(*waiting.step)) return LeftWaiting(waiting, PageTrouble::kNoMemory);
  if (!synced.ok) {
    error_ = synced.error;
    return Ended(Abandon(waiting.output, PageTrouble::kFolderSync));
  }
  // The plan gives an aside name only where the page's name must be free at once and the
  // folder cannot free it so.
  if (files_.DeletePage(std::move(waiting.page.file), waiting.page.stamp, folder_, page_, aside_) == PageDeletion::kKept)
    return Ended(Abandon(waiting.output, Failed(PageTrouble::kNotDeleted)));
  waiting.deleted = true;
  return {};
}

// The output holds the page's whole text: whatever happens now it stays, under its own name
// at the worst, where the next call finishes it. Where the page's deletion cannot be put on
// the disk, the output keeps its own name: a cut then finds the page or its output, never a
// name the volume holds twice.
PageResult PageWork::MoveWaiting(WaitingPage& waiting, FolderSync synced) noexcept {
  if (!SetPaths(*waiting.step)) return LeftWaiting(waiting, PageTrouble::kNoMemory);
  if (!synced.ok) {
    error_ = synced.error;
    return LeftWaiting(waiting, PageTrouble::kNamesNotSynced);
  }
  const FileResult renamed = RenameIntoPlace(waiting.output.get().native);
  if (renamed != FileResult::kDone) return LeftWaiting(waiting, Failed(PageTrouble::kNameBusy));
  waiting.output.reset();
  return AndMarkerGone(Done(), ordered_);
}

PageResult PageWork::LeftWaiting(WaitingPage& waiting, PageTrouble trouble) noexcept {
  waiting.output.reset();
  PageResult left = Kept(trouble);
  left.outcome = PageOutcome::kOutputLeft;
  return left;
}

PageResult PageWork::Finish(const Step& step) noexcept {
  if (!SetPaths(step)) return Kept(PageTrouble::kNoMemory);
  const PageResult result = DoneOr(Move(output_, final_));
  return result.outcome == PageOutcome::kDone ? AndMarkerGone(result, ordered_) : result;
}

PageResult PageWork::Return(const Step& step) noexcept {
  if (!SetPaths(step)) return Kept(PageTrouble::kNoMemory);
  const PageResult result = DoneOr(Move(output_, page_));
  return result.outcome == PageOutcome::kDone ? AndMarkerGone(result, ordered_) : result;
}

PageResult PageWork::RemoveOutput(const Step& step) noexcept {
  if (!SetPaths(step)) return Kept(PageTrouble::kNoMemory);
  const PageResult result = DoneOr(files_.Remove(folder_, output_));
  // Its page holds the name: nothing waits on a sync.
  return result.outcome == PageOutcome::kDone ? AndMarkerGone(result, true) : result;
}

PageResult PageWork::RemoveMarker(std::string_view name, const Step& step) noexcept {
  if (!step.subject.empty()) {
    if (!SetPaths(step)) return Kept(PageTrouble::kNoMemory);
    if (files_.CheckPlainFile(folder_, output_) != FileResult::kFailed) return Kept(PageTrouble::kOutputStays);
    error_ = 0;
  }
  marker_.Clear();
  if (!marker_.Append(dir_) || !marker_.Append(name)) return Kept(PageTrouble::kNoMemory);
  return RemoveEmpty(marker_);
}

PageResult PageWork::Restore(std::string_view name, const Step& step) noexcept {
  if (!SetPaths(step, name)) return Kept(PageTrouble::kNoMemory);
  const FileResult back = Move(aside_, page_);
  if (back != FileResult::kDone) return DoneOr(back);
  // The page whole at its name must outlive a cut before its output is made.
  if (!ordered_ && !files_.SyncFolder(folder_)) {
    PageResult unsynced = Kept(Failed(PageTrouble::kFolderSync));
    unsynced.put_back = true;
    return unsynced;
  }
  PageResult result = Localise(step);
  result.put_back = true;
  return result;
}

bool PageWork::SameText(NativeFile copy, std::uint64_t copy_size, NativeFile page, std::uint64_t page_size,
                        bool translated) noexcept {
  ComparingSink compared(files_, page, page_size, write_buffer_, buffer_size_);
  if (translated) {
    PageTranslator translator(compared);
    TextResult text = TextResult::kDone;
    while (!translator.ended()) {
      if (!NextWindow(translator, copy, copy_size, text)) return false;
    }
    return text == TextResult::kDone && compared.same();
  }
  for (std::uint64_t offset = 0; offset < copy_size;) {
    const std::ptrdiff_t got = Piece(copy, offset, copy_size);
    if (got <= 0 || !compared.Write({read_buffer_, static_cast<std::size_t>(got)})) return false;
    offset += static_cast<std::uint64_t>(got);
  }
  return compared.same();
}

PageResult PageWork::RemoveCopy(std::string_view name, const Step& step) noexcept {
  if (!SetPaths(step, name)) return Kept(PageTrouble::kNoMemory);
  held_size_ = 0;
  std::uint64_t copy_size = 0, page_size = 0;
  Opened copy = files_.OpenPage(folder_, aside_, &copy_size);
  if (copy.result != FileResult::kDone) return DoneOr(copy.result);
  Opened at_name = files_.OpenPage(folder_, final_, &page_size);
  if (at_name.result != FileResult::kDone) return Kept(PageTrouble::kTextElsewhere);
  const NativeFile copy_file = copy.file.get().native, page_file = at_name.file.get().native;
  if (!SameText(copy_file, copy_size, page_file, page_size, true) && !SameText(copy_file, copy_size, page_file, page_size, false))
    return Kept(PageTrouble::kTextElsewhere);
  at_name.file.reset();
  if (files_.DeletePage(std::move(copy.file), copy.stamp, folder_, aside_, {}) == PageDeletion::kKept)
    return Kept(Failed(PageTrouble::kNotDeleted));
  return Done();
}

// A name held for a moment (a scanner, an indexer, the page's deletion still pending while
// another program holds it) is tried again for about two seconds per file at the most.
bool PageWork::Pause(int& waited, int step) noexcept {
  constexpr int kMostPerFile = 2000;
  if (waited >= kMostPerFile || pause_budget_ms_ <= 0) return false;
  files_.Pause(step);
  waited += step;
  pause_budget_ms_ -= step;
  return true;
}

FileResult PageWork::RenameIntoPlace(NativeFile output) noexcept {
  int waited = 0;
  for (int step = 10;; step = step * 2 > 250 ? 250 : step * 2) {
    const FileResult result = files_.RenameNew(output, folder_, output_, final_);
    const bool passing = result == FileResult::kBusy || result == FileResult::kExists;
    if (!passing || !Pause(waited, step)) return result;
  }
}

FileResult PageWork::Move(std::string_view from, std::string_view to) noexcept {
  int waited = 0;
  for (int step = 10;; step = step * 2 > 250 ? 250 : step * 2) {
    const FileResult result = files_.MoveNoReplace(folder_, from, to);
    if (result != FileResult::kBusy || !Pause(waited, step)) return result;
  }
}

const char* TroubleText(PageTrouble trouble) noexcept {
  switch (trouble) {
    case PageTrouble::kNone: return "";
    case PageTrouble::kNotPlain: return "not a regular file";
    case PageTrouble::kLink: return "a link: never followed";
    case PageTrouble::kSecondName: return "a file with a second name (a hard link)";
    case PageTrouble::kThroughLink: return "reached through a link: it lies elsewhere";
    case PageTrouble::kBusy: return "held by another program";
    case PageTrouble::kCannotOpen: return "cannot be opened";
    case PageTrouble::kOutputTaken: return "its output could not be created";
    case PageTrouble::kReadFailed: return "a read failed or the page changed while read";
    case PageTrouble::kWriteFailed: return "the output could not be written";
    case PageTrouble::kNoMemory: return "out of memory";
    case PageTrouble::kNotDeleted: return "could not be deleted";
    case PageTrouble::kNameBusy: return "its final name did not come free";
    case PageTrouble::kTextElsewhere: return "the page at its name holds other text";
    case PageTrouble::kFolderSync: return "the folder could not be put on the disk";
    case PageTrouble::kOutputStays: return "its page's output is still there";
    case PageTrouble::kNotEmpty: return "not empty: not the module's";
    case PageTrouble::kFlushFailed: return "the output could not be flushed";
    case PageTrouble::kAttributesFailed: return "the output could not be given the page's attributes";
    case PageTrouble::kNamesNotSynced: return "the page's deletion could not be put on the disk";
  }
  return "";
}

}  // namespace setupext
