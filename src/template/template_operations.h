// The two template operations the installer calls. Both always answer 1.
#pragma once

#include "host/host_variables.h"

namespace setupext {

// Localises the tree that TEMPLPATH names.
bool LocaliseTemplateFolder(HostVariableBlock& block);

// Localises the application's own tree, "Material\Template\" below MAINDIR.
bool LocaliseApplicationTemplates(HostVariableBlock& block);

}  // namespace setupext
