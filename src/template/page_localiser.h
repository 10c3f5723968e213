// Localises one template page into a new output file.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/files.h"
#include "template/page_io.h"

namespace setupext {

// Writes the French version of the page at `source` into a new file at `output` (which must
// not exist yet) and then deletes the page. True only when the page is gone and `output`
// holds its complete translation; on every other path the page is left untouched and no
// output of this call is left behind. Never throws.
bool LocalisePage(Files& files, const std::string& source, const std::string& output);

// Translates a page one line at a time, in page order. The header, up to and including the
// first line holding "PAGE {", passes unchanged; the line after it gets the label table only;
// every later line gets "Input" -> "Champ", the French brand marker, and the label table when
// it holds the byte 0xFE.
class PageTranslator {
 public:
  void Translate(std::string& line);

 private:
  enum class Stage { kHeader, kTitle, kBody };
  Stage stage_ = Stage::kHeader;
};

// Reads every line, translates it and writes it. False on a read or write error; what was
// written is then incomplete.
bool TranslatePage(ReadBytes read, WriteBytes write, std::size_t buffer_size = kPageBufferSize);

// The same translation over text in memory. `buffer_size` is the size of the reading and
// writing buffers, so tests can put line ends across buffer boundaries.
std::string LocalisePageText(std::string_view page, std::size_t buffer_size = kPageBufferSize);

}  // namespace setupext
