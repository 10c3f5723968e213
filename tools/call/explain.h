// What an operation would do, worked out by the module's own code and shown, changing nothing.
#pragma once

#include <string>

#include "host/host_variables.h"

namespace setupext {

// Prints the explanation; the exit status of the tool: 0, 3 when `strict` and a page would
// stay English, or 2 for an unknown operation.
int Explain(const std::string& operation, const HostVariableBlock& block, bool strict);

}  // namespace setupext
