#include "template/template_operations.h"

#include <string>

#include "platform/files.h"
#include "template/template_tree.h"

namespace setupext {
namespace {

// The language changes nothing, but a value that does not fit means the table is not what the
// script meant: then nothing is touched.
bool LanguageFits(const HostVariableBlock& block) {
  std::string language;
  return GetHostVariable(block, "LANG", &language, kTextVariableBuffer) == HostRead::kValue;
}

}  // namespace

// The host names the tree in its ANSI code page; a name that does not convert names no tree.
bool TemplateRoot(const HostVariableBlock& block, TemplateVariable variable, PathText& root) {
  const bool main_dir = variable == TemplateVariable::kMainDir;
  std::string text;
  if (GetHostVariable(block, main_dir ? "MAINDIR" : "TEMPLPATH", &text, kTextVariableBuffer) != HostRead::kValue)
    return false;
  if (!LanguageFits(block)) return false;
  if (main_dir) {
    // A MAINDIR ending in a separator gives a doubled one, as the installer's scripts expect.
    const char separator = PathSeparator();
    text.append(1, separator).append("Material").append(1, separator).append("Template").append(1, separator);
  }
  return FolderFromHostText(text, root);
}

bool LocaliseTemplateFolder(HostVariableBlock& block) {
  PathText root;
  if (TemplateRoot(block, TemplateVariable::kTemplPath, root)) (void)LocaliseTree(SystemFiles(), root);
  return true;
}

bool LocaliseApplicationTemplates(HostVariableBlock& block) {
  PathText root;
  if (TemplateRoot(block, TemplateVariable::kMainDir, root)) (void)LocaliseTree(SystemFiles(), root);
  return true;
}

}  // namespace setupext
