// What every exported operation is: one block address in, one answer byte out, in the
// target's calling convention.
#pragma once

#include "host/host_variables.h"
#include "platform/export.h"

namespace setupext {

using Operation = int(SETUPEXT_CALL*)(HostVariableBlock*);

}  // namespace setupext
