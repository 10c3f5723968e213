// One page replaced by its French version in one motion: the output is created new beside
// the page, written and flushed; then the page is deleted through its own handle and the
// output renamed onto the page's final name through its own (never replacing anything);
// then both are closed. Nobody can take the output from under the module in between.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/buffers.h"
#include "platform/files.h"

namespace setupext {

enum class PageOutcome : std::uint8_t {
  kLocalised,   // the French version is at the final name, the page gone
  kUnchanged,   // the page needs no change: not rewritten (moved only if its name must change)
  kKept,        // the page is as it was and nothing of this call is left
  kOutputLeft,  // the page is gone and its whole French version waits under its output
                // name (the next call gives it the final name), or the page is as it was
                // and its unfinished output could not be removed (the next call removes it)
};

// Why a page was kept.
enum class PageTrouble : std::uint8_t {
  kNone,
  kNotPlain,    // a link, a second name, or reached through a link
  kBusy,        // another program holds it
  kCannotOpen,  // missing, or refused
  kOutputTaken, // its output name could not be created
  kReadFailed,
  kWriteFailed,
  kNoMemory,
  kNotDeleted,  // the page could not be deleted
  kNameBusy,    // the final name did not come free in time
};

const char* TroubleText(PageTrouble trouble) noexcept;

struct PageResult {
  PageOutcome outcome = PageOutcome::kKept;
  PageTrouble trouble = PageTrouble::kNone;
};

// A page between its writing and its replacement: its output whole on the disk, both open.
struct PreparedPage {
  File page;
  File output;
  FileStamp stamp;
  std::uint32_t entry = 0;  // the page's index in its folder's listing
};

// What one call of a template operation works with: the buffers come from the heap once.
class PageWork {
 public:
  static constexpr std::size_t kBufferSize = 64 * 1024;
  static constexpr std::size_t kMostPrepared = 64;

  explicit PageWork(Files& files) noexcept : files_(files) {}
  PageWork(const PageWork&) = delete;
  PageWork& operator=(const PageWork&) = delete;

  Files& files() noexcept { return files_; }

  // Writes the French version of the page `dir``name` beside it, whole on the disk. kKept or
  // kUnchanged when there is nothing to replace (the page then closed, a needed move done).
  PageResult Prepare(std::string_view dir, std::string_view name, PreparedPage& prepared) noexcept;
  // What Prepare would find, changing nothing: kLocalised when the page would change,
  // kUnchanged when not, kKept with the reason when it would be kept.
  PageResult Examine(std::string_view dir, std::string_view name) noexcept;
  // Deletes the prepared page and gives its output the final name; closes both. In two
  // halves, so that where the system does not keep names in order, a folder sync can put
  // every deletion of a batch on the disk before any output takes a final name.
  PageResult Replace(std::string_view dir, std::string_view name, PreparedPage& prepared) noexcept;
  // False when the page is kept (then its output is gone too, or left in *result).
  bool DeletePage(std::string_view dir, std::string_view name, PreparedPage& prepared, PageResult* result) noexcept;
  PageResult RenameOutput(std::string_view dir, std::string_view name, PreparedPage& prepared) noexcept;
  // Moves a file onto a free name, retried while the system or another program holds
  // something for a moment.
  FileResult MoveIntoPlace(std::string_view from, std::string_view to) noexcept;

  // Paths of the page `dir``name`.
  [[nodiscard]] bool SetPaths(std::string_view dir, std::string_view name) noexcept;
  PathText& page_path() noexcept { return page_; }
  PathText& output_path() noexcept { return output_; }
  PathText& final_path() noexcept { return final_; }
  PathText& aside_path() noexcept { return aside_; }

  // Room for pages prepared and not yet replaced.
  PreparedPage batch[kMostPrepared];

 private:
  friend class OutputSink;
  FileResult RenameIntoPlace(NativeFile output) noexcept;
  PageResult Abandon(File& output, PageTrouble trouble) noexcept;
  bool Pause(int& waited, int step) noexcept;

  Files& files_;
  char read_buffer_[kBufferSize];
  char write_buffer_[kBufferSize];
  PathText page_, output_, final_, aside_;
  bool paths_set_ = false;  // the four paths are those of page_
  bool quiet_ = false;
  int pause_budget_ms_ = 30000;  // what all the waits of one call may take together
};

}  // namespace setupext
