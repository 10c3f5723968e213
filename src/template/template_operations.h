// The two template operations the installer calls. Both always answer 1.
#pragma once

#include "host/host_variables.h"
#include "platform/buffers.h"

namespace setupext {

enum class TemplateVariable { kTemplPath, kMainDir };

enum class [[nodiscard]] RootResult {
  kRoot,
  kEmpty,       // the variable is empty or absent
  kDoesNotFit,  // a value is longer than its buffer, or the path made from it
  kNotAFolder,  // the text does not convert from the ANSI code page, or is too long
  kUnwritable,  // the text holds the mark of a character the ANSI code page could not write
};
const char* RootResultText(RootResult result) noexcept;

// The tree an operation works on, as this layer's path: TEMPLPATH itself, or
// "Material\Template\" below MAINDIR. Anything but kRoot names no tree: then nothing is
// touched.
RootResult TemplateRoot(const HostVariableBlock& block, TemplateVariable variable, PathText& root);
// The same, reading the variable into `text`, which the caller keeps off the stack.
RootResult TemplateRoot(const HostVariableBlock& block, TemplateVariable variable, TextVariable& text, PathText& root);

// Localises the tree that TEMPLPATH names.
bool LocaliseTemplateFolder(HostVariableBlock& block);

// Localises the application's own tree, "Material\Template\" below MAINDIR.
bool LocaliseApplicationTemplates(HostVariableBlock& block);

}  // namespace setupext
