// The operations the installer calls by name. Each is a thin shim over its subsystem.
#include "host/host_variables.h"
#include "host/operation_guard.h"
#include "platform/export.h"
#include "probe/library_probe.h"
#include "probe/window_probe.h"
#include "template/template_operations.h"

using setupext::HostVariableBlock;
using setupext::RunOperation;

extern "C" {

SETUPEXT_EXPORT int SETUPEXT_CALL fctLocaliseTemplate(HostVariableBlock* block) {
  return RunOperation(block, true, setupext::LocaliseTemplate);
}

SETUPEXT_EXPORT int SETUPEXT_CALL fctRenLabelInTemplagePages(HostVariableBlock* block) {
  return RunOperation(block, true, setupext::RenLabelInTemplagePages);
}

SETUPEXT_EXPORT int SETUPEXT_CALL IsLibInstalled(HostVariableBlock* block) {
  return RunOperation(block, false, setupext::IsLibInstalled);
}

SETUPEXT_EXPORT int SETUPEXT_CALL IsVBNETAppRunning(HostVariableBlock* block) {
  return RunOperation(block, false, setupext::IsVBNETAppRunning);
}

}  // extern "C"
