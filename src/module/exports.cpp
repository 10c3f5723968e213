// The operations the installer calls by name. Each is a thin shim over its subsystem.
#include "host/host_variables.h"
#include "module/operation_guard.h"
#include "platform/export.h"
#include "probe/library_probe.h"
#include "probe/window_probe.h"
#include "template/template_operations.h"

using setupext::HostVariableBlock;
using setupext::NothingDone;
using setupext::RunOperation;

extern "C" {

SETUPEXT_EXPORT int SETUPEXT_CALL fctLocaliseTemplate(HostVariableBlock* block) {
  return RunOperation(block, NothingDone::kAnswerOne, setupext::LocaliseTemplateFolder);
}

SETUPEXT_EXPORT int SETUPEXT_CALL fctRenLabelInTemplagePages(HostVariableBlock* block) {
  return RunOperation(block, NothingDone::kAnswerOne, setupext::LocaliseApplicationTemplates);
}

SETUPEXT_EXPORT int SETUPEXT_CALL IsLibInstalled(HostVariableBlock* block) {
  return RunOperation(block, NothingDone::kAnswerZero, setupext::FindLibraryInList);
}

SETUPEXT_EXPORT int SETUPEXT_CALL IsVBNETAppRunning(HostVariableBlock* block) {
  return RunOperation(block, NothingDone::kAnswerZero, setupext::FindFormsWindow);
}

}  // extern "C"
