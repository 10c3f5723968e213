// One page replaced by its French version in one motion, the same on every system: the page
// is read up to its first change (a page that needs none is never rewritten); its output is
// created new beside it, the translation written from the start, flushed and given the page's
// attributes; then the page is deleted through its own handle and the output renamed onto the
// final name through its own (never replacing anything). Where the volume does not keep names
// in order, folder syncs put the output's name on the disk before the page goes and the
// page's deletion before the output takes its name.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/buffers.h"
#include "platform/files.h"
#include "template/folder_plan.h"
#include "template/page_text.h"

namespace setupext {

enum class PageOutcome : std::uint8_t {
  kDone,        // the step was carried out (a page: its French version is at the final name)
  kUnchanged,   // the page needs no change: not rewritten (moved only if its name must change)
  kKept,        // nothing changed, and nothing of this call is left
  kOutputLeft,  // the page is gone and its whole French version waits under its output
                // name (the next call gives it the final name), or the page is as it was
                // and its unfinished output could not be removed (the next call removes it)
};

// Why a step was not carried out.
enum class PageTrouble : std::uint8_t {
  kNone,
  kNotPlain,     // not a regular file (a folder, a FIFO, a device)
  kLink,         // a symbolic link or junction
  kSecondName,   // a file with a second name (a hard link)
  kThroughLink,  // reached through a link
  kBusy,         // another program holds it
  kCannotOpen,   // missing, or refused
  kOutputTaken,  // its output name could not be created
  kReadFailed,   // a read failed, or the page changed size while read
  kWriteFailed,  // the output could not be written
  kNoMemory,
  kNotDeleted,   // the page could not be deleted
  kNameBusy,     // the final name did not come free in time
  kTextElsewhere,// an aside copy whose text is not at its page's name
  kFolderSync,   // the folder's names could not be put on the disk
  kOutputStays,  // a marker whose page's output is still there
  kNotEmpty,     // a file named like a marker that holds something
  kFlushFailed,  // the output could not be put on the disk
  kAttributesFailed,  // the output could not be given the page's attributes
  kNamesNotSynced,    // the page is gone, but its deletion could not be put on the disk: the
                      // output keeps its own name for the next call
};

const char* TroubleText(PageTrouble trouble) noexcept;

struct PageResult {
  PageOutcome outcome = PageOutcome::kKept;
  PageTrouble trouble = PageTrouble::kNone;
  bool moved = false;         // unchanged, and moved onto its final name
  bool no_page_line = false;  // unchanged: the page has no "PAGE {" line
  bool put_back = false;      // an aside copy put back under its page's name
  bool marker_stays = false;  // a long name's marker that should have gone stays for the next call
  std::uint32_t error = 0;    // the system's error number behind the trouble, where one is known
};

// Whether a folder sync put the names made so far on the disk, and the system's error if not.
struct FolderSync {
  bool ok = true;
  std::uint32_t error = 0;
};

// A page whose French version is written, flushed and given its attributes beside it: what
// remains is the page's deletion and the output's move onto its final name. Where names are
// not kept in order, several pages wait together, so that one folder sync serves all their
// outputs' names and one all their deletions.
struct WaitingPage {
  const Step* step = nullptr;
  Opened page;
  File output;           // open while the page waits
  bool deleted = false;  // the page is gone: the output's move remains
};

// What one call of a template operation works with; the buffers are the caller's.
class PageWork {
 public:
  static constexpr std::size_t kDefaultBufferSize = 64 * 1024;

  // `buffers` holds 2 * `buffer_size` bytes: one piece read, one piece to write.
  PageWork(Files& files, char* buffers, std::size_t buffer_size) noexcept
      : files_(files), read_buffer_(buffers), write_buffer_(buffers + buffer_size), buffer_size_(buffer_size) {}
  PageWork(const PageWork&) = delete;
  PageWork& operator=(const PageWork&) = delete;

  Files& files() noexcept { return files_; }

  // The folder the steps below work in: its path (with the separator), the folder as opened,
  // and whether its volume keeps names in order (then no folder sync is needed).
  void EnterFolder(std::string_view dir, NativeFile folder, bool ordered) noexcept {
    dir_ = dir;
    folder_ = folder;
    ordered_ = ordered;
  }

  // Each carries out one step of the folder's plan for the entry `name`, with the names the
  // plan settled.
  // A page or stray into its final name.
  PageResult Localise(const Step& step) noexcept;
  // Localise in three parts, for pages that wait together: up to the output's flush (the
  // step has ended unless `waiting` holds the output), the page's deletion after a sync of
  // the outputs' names (ended unless `waiting.deleted`), and the move after a sync of the
  // deletions.
  PageResult Prepare(const Step& step, WaitingPage& waiting) noexcept;
  PageResult DeleteWaiting(WaitingPage& waiting, FolderSync synced) noexcept;
  PageResult MoveWaiting(WaitingPage& waiting, FolderSync synced) noexcept;
  // Syncs the folder where its volume does not keep names in order.
  [[nodiscard]] FolderSync SyncNames() noexcept;
  // A cut call's output whose page is gone: onto the page's final name.
  PageResult Finish(const Step& step) noexcept;
  // A cut call's output whose page is gone and whose final name another holds: back to its
  // page's own name.
  PageResult Return(const Step& step) noexcept;
  // A cut call's output beside its page: removed.
  PageResult RemoveOutput(const Step& step) noexcept;
  // A page's only copy, set aside by a cut call: back to its name, then localised.
  PageResult Restore(std::string_view name, const Step& step) noexcept;
  // A page's aside copy: removed when the page at its name holds its text or its
  // translation, byte for byte; otherwise kept.
  PageResult RemoveCopy(std::string_view name, const Step& step) noexcept;
  // A long page name's marker: removed unless its page's output is still there.
  PageResult RemoveMarker(std::string_view name, const Step& step) noexcept;

 private:
  class OutputSink;
  struct Scan;

  [[nodiscard]] bool SetPaths(const Step& step, std::string_view entry = {}) noexcept;
  Scan FirstChange(NativeFile page, std::uint64_t size) noexcept;
  PageTrouble WriteTranslation(NativeFile page, std::uint64_t size, NativeFile output) noexcept;
  PageTrouble WriteWhole(Opened& page, std::uint64_t size, NativeFile output) noexcept;
  PageResult Ended(PageResult result) noexcept;
  PageResult LeftWaiting(WaitingPage& waiting, PageTrouble trouble) noexcept;
  PageResult Abandon(File& output, PageTrouble trouble) noexcept;
  // The trouble, with the system's error number of the call that just failed.
  PageTrouble Failed(PageTrouble trouble) noexcept;
  PageResult Kept(PageTrouble trouble) noexcept;
  PageResult DoneOr(FileResult result) noexcept;
  [[nodiscard]] bool MakeMarker() noexcept;
  // False when a marker that should go stays (the next call removes it).
  [[nodiscard]] bool RemoveMarkerOnce(bool ordered) noexcept;
  PageResult AndMarkerGone(PageResult result, bool ordered) noexcept;
  FileResult Move(std::string_view from, std::string_view to) noexcept;
  PageResult RemoveEmpty(std::string_view path) noexcept;
  // The piece of the page at `offset`, from the read buffer when it holds it already.
  std::ptrdiff_t Piece(NativeFile file, std::uint64_t offset, std::uint64_t size) noexcept;
  [[nodiscard]] bool NextWindow(PageTranslator& translator, NativeFile file, std::uint64_t size, TextResult& text) noexcept;
  bool SameText(NativeFile copy, std::uint64_t copy_size, NativeFile page, std::uint64_t page_size, bool translated) noexcept;
  FileResult RenameIntoPlace(NativeFile output) noexcept;
  bool Pause(int& waited, int step) noexcept;

  Files& files_;
  char* read_buffer_;
  char* write_buffer_;
  std::size_t buffer_size_;
  // What the read buffer holds: the page's bytes from `held_offset_`, `held_size_` of them.
  NativeFile held_file_ = NoNativeFile();
  std::uint64_t held_offset_ = 0;
  std::size_t held_size_ = 0;
  std::string_view dir_;
  NativeFile folder_ = NoNativeFile();
  bool ordered_ = false;
  PathText page_, output_, final_, aside_, marker_;  // aside_, marker_: empty but where the step has one
  bool quiet_ = false;
  int pause_budget_ms_ = 30000;  // what all the waits of one call may take together
  std::uint32_t error_ = 0;      // of the step at hand's first failure
};

}  // namespace setupext
