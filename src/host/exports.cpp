// The operations the installer calls by name. Each is a thin shim over its subsystem.
#include "host/host_variables.h"
#include "host/operation_guard.h"
#include "platform/export.h"

using setupext::HostVariableBlock;
using setupext::RunOperation;

extern "C" {

}  // extern "C"
