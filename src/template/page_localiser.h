// Localises one template page into a new output file.
#pragma once

#include <string>

#include "platform/files.h"

namespace setupext {

// Writes the French version of the page at `source` into a new file at `output` (which must
// not exist yet) and then deletes the page. True only when the page is gone and `output`
// holds its complete translation; on every other path the page is left untouched and no
// output of this call is left behind.
bool LocalisePage(Files& files, const std::string& source, const std::string& output);

}  // namespace setupext
