#include "template/page_replace.h"

#include <cstring>
#include <utility>

#include "template/folder_plan.h"
#include "template/page_text.h"

namespace setupext {

// Gathers the translation into large writes. The output is created only once the translation
// differs from the page, so a page that needs no change costs only its reading. Text that
// outgrows the buffer before the first change is dropped; should a change come after it,
// the page is read again from the start with the output made at once.
class OutputSink final : public ByteSink {
 public:
  OutputSink(PageWork& work, char* buffer, bool at_once) : work_(work), buffer_(buffer), at_once_(at_once) {}

  void Follow(const PageTranslator& translator) { translator_ = &translator; }
  bool Write(std::string_view bytes) noexcept override {
    while (!bytes.empty()) {
      if (used_ == PageWork::kBufferSize && !Drain()) return false;
      const std::size_t take = std::min(bytes.size(), PageWork::kBufferSize - used_);
      std::memcpy(buffer_ + used_, bytes.data(), take);
      used_ += take;
      bytes.remove_prefix(take);
    }
    return true;
  }
  [[nodiscard]] bool Finish() { return Drain() && (output_.is_open() || Create()); }

  File& output() { return output_; }
  bool needs_restart() const { return restart_; }
  PageTrouble trouble() const { return trouble_; }

 private:
  bool Drain() {
    if (used_ == 0) return true;
    if (!output_.is_open()) {
      if (!at_once_ && !translator_->changed()) {
        dropped_ = true;
        used_ = 0;
        return true;
      }
      if (dropped_) {
        restart_ = true;
        return false;
      }
      if (!Create()) return false;
    }
    if (!work_.files().Write(output_.get().native, buffer_, used_)) return Fail(PageTrouble::kWriteFailed);
    used_ = 0;
    return true;
  }

  bool Create() {
    Files& files = work_.files();
    if (!work_.quiet_) {
      files.SetQuietErrorMode();
      work_.quiet_ = true;
    }
    Opened created = files.CreateNew(work_.output_path());
    if (created.result != FileResult::kDone) return Fail(PageTrouble::kOutputTaken);
    output_ = std::move(created.file);
    return true;
  }

  bool Fail(PageTrouble trouble) {
    trouble_ = trouble;
    return false;
  }

  PageWork& work_;
  char* buffer_;
  const PageTranslator* translator_ = nullptr;
  File output_;
  std::size_t used_ = 0;
  bool at_once_;
  bool dropped_ = false;
  bool restart_ = false;
  PageTrouble trouble_ = PageTrouble::kNone;
};

namespace {

PageTrouble TroubleOf(FileResult result) {
  switch (result) {
    case FileResult::kNotPlain: return PageTrouble::kNotPlain;
    case FileResult::kBusy: return PageTrouble::kBusy;
    default: return PageTrouble::kCannotOpen;
  }
}

PageResult Kept(PageTrouble trouble) { return {PageOutcome::kKept, trouble}; }

// The page's own name is its final name: it must be free before the output can take it.
bool EndsAtItsOwnName(std::string_view name) { return name.ends_with(".pag"); }

}  // namespace

bool PageWork::SetPaths(std::string_view dir, std::string_view name) noexcept {
  // A page's steps follow one another: its paths are made once, not at every step.
  const std::string_view page = page_.view();
  if (paths_set_ && page.size() == dir.size() + name.size() && page.starts_with(dir) && page.ends_with(name))
    return true;
  paths_set_ = false;
  page_.Clear();
  output_.Clear();
  final_.Clear();
  aside_.Clear();
  paths_set_ = page_.Append(dir) && page_.Append(name) && output_.Append(page_.view()) &&
               output_.Append(kOutputSuffix) && aside_.Append(page_.view()) && aside_.Append(kAsideSuffix) &&
               final_.Append(dir) && AppendFinalName(name, final_);
  return paths_set_;
}

// The page stays as it was; so does its folder, unless the unfinished output cannot go.
PageResult PageWork::Abandon(File& output, PageTrouble trouble) noexcept {
  if (output.is_open() && !files_.DeleteNew(std::move(output), output_)) return {PageOutcome::kOutputLeft, trouble};
  return Kept(trouble);
}

PageResult PageWork::Prepare(std::string_view dir, std::string_view name, PreparedPage& prepared) noexcept {
  if (!SetPaths(dir, name)) return Kept(PageTrouble::kNoMemory);
  std::uint64_t size = 0;
  Opened page = files_.OpenPage(page_, &size);
  if (page.result != FileResult::kDone) return Kept(TroubleOf(page.result));
  for (bool at_once = false;; at_once = true) {
    OutputSink sink(*this, write_buffer_, at_once);
    PageTranslator translator(sink);
    sink.Follow(translator);
    TextResult text = TextResult::kDone;
    // The page is held against writers, so its size is known: no read is made to find the end.
    for (std::uint64_t read = 0; read < size && text == TextResult::kDone;) {
      const std::ptrdiff_t got = files_.Read(page.file.get().native, read_buffer_, kBufferSize);
      if (got < 0 || static_cast<std::size_t>(got) > kBufferSize) return Abandon(sink.output(), PageTrouble::kReadFailed);
      if (got == 0) break;
      read += static_cast<std::uint64_t>(got);
      text = translator.Feed(std::string_view(read_buffer_, static_cast<std::size_t>(got)));
    }
    if (text == TextResult::kDone) text = translator.Finish();
    if (text != TextResult::kDone && sink.needs_restart()) {
      if (!files_.Rewind(page.file.get().native)) return Abandon(sink.output(), PageTrouble::kReadFailed);
      continue;
    }
    if (text == TextResult::kNoMemory) return Abandon(sink.output(), PageTrouble::kNoMemory);
    if (text != TextResult::kDone || (translator.changed() && !sink.Finish()))
      return Abandon(sink.output(), sink.trouble() == PageTrouble::kNone ? PageTrouble::kWriteFailed : sink.trouble());
    if (!translator.changed()) {
      page.file.reset();
      if (final_.view() == page_.view()) return {PageOutcome::kUnchanged, PageTrouble::kNone};
      const FileResult moved = MoveIntoPlace(page_, final_);
      return moved == FileResult::kDone ? PageResult{PageOutcome::kUnchanged, PageTrouble::kNone}
                                        : Kept(moved == FileResult::kBusy ? PageTrouble::kBusy : PageTrouble::kNameBusy);
    }
    // Whole on the disk before the page may go: a failed flush may hide lost data.
    if (!files_.Flush(sink.output().get().native)) return Abandon(sink.output(), PageTrouble::kWriteFailed);
    prepared.page = std::move(page.file);
    prepared.stamp = page.stamp;
    prepared.output = std::move(sink.output());
    return {PageOutcome::kLocalised, PageTrouble::kNone};
  }
}

namespace {

// Takes the translation and keeps none of it.
class DiscardingSink final : public ByteSink {
 public:
  bool Write(std::string_view) noexcept override { return true; }
};

}  // namespace

PageResult PageWork::Examine(std::string_view dir, std::string_view name) noexcept {
  if (!SetPaths(dir, name)) return Kept(PageTrouble::kNoMemory);
  std::uint64_t size = 0;
  const Opened page = files_.OpenPage(page_, &size);
  if (page.result != FileResult::kDone) return Kept(TroubleOf(page.result));
  DiscardingSink sink;
  PageTranslator translator(sink);
  TextResult text = TextResult::kDone;
  for (std::uint64_t read = 0; read < size && text == TextResult::kDone && !translator.changed();) {
    const std::ptrdiff_t got = files_.Read(page.file.get().native, read_buffer_, kBufferSize);
    if (got < 0) return Kept(PageTrouble::kReadFailed);
    if (got == 0) break;
    read += static_cast<std::uint64_t>(got);
    text = translator.Feed(std::string_view(read_buffer_, static_cast<std::size_t>(got)));
  }
  if (text == TextResult::kDone && !translator.changed()) text = translator.Finish();
  if (text != TextResult::kDone) return Kept(PageTrouble::kNoMemory);
  return {translator.changed() ? PageOutcome::kLocalised : PageOutcome::kUnchanged, PageTrouble::kNone};
}

PageResult PageWork::Replace(std::string_view dir, std::string_view name, PreparedPage& prepared) noexcept {
  PageResult result;
  if (!DeletePage(dir, name, prepared, &result)) return result;
  return RenameOutput(dir, name, prepared);
}

bool PageWork::DeletePage(std::string_view dir, std::string_view name, PreparedPage& prepared,
                          PageResult* result) noexcept {
  if (!SetPaths(dir, name)) {  // cannot fail: the page was prepared with these paths
    prepared.page.reset();
    *result = files_.DeleteNew(std::move(prepared.output), output_) ? Kept(PageTrouble::kNoMemory)
                                                                     : PageResult{PageOutcome::kOutputLeft, PageTrouble::kNoMemory};
    return false;
  }
  const std::string_view aside = EndsAtItsOwnName(name) ? aside_.view() : std::string_view();
  if (files_.DeletePage(std::move(prepared.page), prepared.stamp, page_, aside) != PageDeletion::kKept) return true;
  *result = files_.DeleteNew(std::move(prepared.output), output_) ? Kept(PageTrouble::kNotDeleted)
                                                                   : PageResult{PageOutcome::kOutputLeft, PageTrouble::kNotDeleted};
  return false;
}

PageResult PageWork::RenameOutput(std::string_view dir, std::string_view name, PreparedPage& prepared) noexcept {
  // The output holds the page's whole text: whatever happens it stays, under its own name
  // at the worst, where the next call finishes it.
  const FileResult renamed = SetPaths(dir, name) ? RenameIntoPlace(prepared.output.get().native) : FileResult::kFailed;
  prepared.output.reset();
  if (renamed != FileResult::kDone) return {PageOutcome::kOutputLeft, PageTrouble::kNameBusy};
  return {PageOutcome::kLocalised, PageTrouble::kNone};
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
    const FileResult result = files_.RenameNew(output, output_, final_);
    const bool passing = result == FileResult::kBusy || result == FileResult::kExists;
    if (!passing || !Pause(waited, step)) return result;
  }
}

FileResult PageWork::MoveIntoPlace(std::string_view from, std::string_view to) noexcept {
  int waited = 0;
  for (int step = 10;; step = step * 2 > 250 ? 250 : step * 2) {
    const FileResult result = files_.MoveNoReplace(from, to);
    if (result != FileResult::kBusy || !Pause(waited, step)) return result;
  }
}

const char* TroubleText(PageTrouble trouble) noexcept {
  switch (trouble) {
    case PageTrouble::kNone: return "";
    case PageTrouble::kNotPlain: return "a link, a file with a second name, or reached through a link";
    case PageTrouble::kBusy: return "held by another program";
    case PageTrouble::kCannotOpen: return "cannot be opened";
    case PageTrouble::kOutputTaken: return "its output could not be created";
    case PageTrouble::kReadFailed: return "a read failed";
    case PageTrouble::kWriteFailed: return "the output could not be written";
    case PageTrouble::kNoMemory: return "out of memory";
    case PageTrouble::kNotDeleted: return "could not be deleted";
    case PageTrouble::kNameBusy: return "its final name did not come free";
  }
  return "";
}

}  // namespace setupext
