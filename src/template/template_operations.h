// The two template operations the installer calls. Both always answer 1.
#pragma once

#include "host/host_variables.h"
#include "platform/buffers.h"

namespace setupext {

enum class TemplateVariable { kTemplPath, kMainDir };

// The tree an operation works on, as this layer's path: TEMPLPATH itself, or
// "Material\Template\" below MAINDIR. False when the variables name no tree: then nothing is
// touched.
[[nodiscard]] bool TemplateRoot(const HostVariableBlock& block, TemplateVariable variable, PathText& root);

// Localises the tree that TEMPLPATH names.
bool LocaliseTemplateFolder(HostVariableBlock& block);

// Localises the application's own tree, "Material\Template\" below MAINDIR.
bool LocaliseApplicationTemplates(HostVariableBlock& block);

}  // namespace setupext
