// Localises one template page into a new output file.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/files.h"
#include "template/page_io.h"
#include "template/page_text.h"

namespace setupext {

enum class PageOutcome {
  kLocalised,   // the page is gone and the output holds its whole translation, on the disk
  kKept,        // the page is as it was, and no output of this call is left
  kOutputLeft,  // the page is as it was, but its unfinished output could not be removed
};

// Writes the French version of the page at `source` into a new file at `output` (which must
// not exist yet) and then deletes the page. Never throws.
PageOutcome LocalisePage(Files& files, const std::string& source, const std::string& output) noexcept;

// The same in two halves, so the outputs of many pages can be put on the disk by one folder
// sync before any of their pages is deleted. WriteOutput writes the output whole on the disk
// and answers kLocalised with the page still open in *held, not yet deleted; ReplacePage then
// deletes that page once `synced` says the output's name is on the disk, and otherwise (or on
// any failure) keeps the page and removes the output. Neither throws.
PageOutcome WriteOutput(Files& files, const std::string& source, const std::string& output, FileHandle* held) noexcept;
PageOutcome ReplacePage(Files& files, FileHandle held, const std::string& source, const std::string& output,
                        bool synced) noexcept;

// Reads the whole page, translates it and writes it. False on a read or write error; what was
// written is then incomplete.
bool TranslatePage(ReadBytes read, WriteBytes write, std::size_t buffer_size = kPageBufferSize);

// The same translation over text in memory. `buffer_size` is the size of the reading and
// writing buffers, so tests can put line ends across buffer boundaries.
std::string LocalisePageText(std::string_view page, std::size_t buffer_size = kPageBufferSize);

}  // namespace setupext
