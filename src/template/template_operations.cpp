#include "template/template_operations.h"

#include "platform/files.h"
#include "template/template_tree.h"

namespace setupext {
namespace {

// The language changes nothing, but a value that does not fit means the table is not what the
// script meant: then nothing is touched.
bool LanguageFits(const HostVariableBlock& block) {
  TextVariable language;
  return GetHostVariable(block, "LANG", language) == HostRead::kValue;
}

}  // namespace

// The host names the tree in its ANSI code page; a name that does not convert names no tree.
bool TemplateRoot(const HostVariableBlock& block, TemplateVariable variable, PathText& root) {
  const bool main_dir = variable == TemplateVariable::kMainDir;
  TextVariable text;
  if (GetHostVariable(block, main_dir ? "MAINDIR" : "TEMPLPATH", text) != HostRead::kValue) return false;
  if (!LanguageFits(block)) return false;
  // A MAINDIR ending in a separator gives a doubled one, as the installer's scripts expect.
  const char separator = PathSeparator();
  if (main_dir && !(text.Append(separator) && text.Append("Material") && text.Append(separator) &&
                    text.Append("Template") && text.Append(separator)))
    return false;
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
