// The module as the installer meets it: the one beside the test program, loaded by file name,
// its operations found by name.
#pragma once

#include <string>

#include "host/operation.h"

namespace setupext::testing {

using setupext::Operation;

// The exported operation, or nullptr when the module does not load or lacks it. The module
// is loaded once and stays loaded for the rest of the test program.
Operation ModuleOperation(const char* name);

// Calls the module's fctLocaliseTemplate with TEMPLPATH set, as the installer does, and
// expects its answer 1.
void LocaliseThroughModule(const std::string& templpath);

}  // namespace setupext::testing
