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
RootResult TemplateRoot(const HostVariableBlock& block, TemplateVariable variable, PathText& root) {
  const bool main_dir = variable == TemplateVariable::kMainDir;
  TextVariable text;
  if (GetHostVariable(block, main_dir ? "MAINDIR" : "TEMPLPATH", text) != HostRead::kValue || !LanguageFits(block))
    return RootResult::kDoesNotFit;
  // An empty or absent variable names no tree: not even "\Material\Template\" on the
  // current drive.
  if (text.empty()) return RootResult::kEmpty;
  // A MAINDIR ending in a separator gives a doubled one, as the installer's scripts expect.
  const char separator = PathSeparator();
  if (main_dir && !(text.Append(separator) && text.Append("Material") && text.Append(separator) &&
                    text.Append("Template") && text.Append(separator)))
    return RootResult::kDoesNotFit;
  return FolderFromHostText(text, root) ? RootResult::kRoot : RootResult::kNotAFolder;
}

const char* RootResultText(RootResult result) noexcept {
  switch (result) {
    case RootResult::kRoot: return "";
    case RootResult::kEmpty: return "is empty or absent";
    case RootResult::kDoesNotFit: return "(or LANG) is longer than its buffer, or the folder's path is too long";
    case RootResult::kNotAFolder: return "does not convert from the ANSI code page or is too long";
  }
  return "";
}

bool LocaliseTemplateFolder(HostVariableBlock& block) {
  PathText root;
  if (TemplateRoot(block, TemplateVariable::kTemplPath, root) == RootResult::kRoot) (void)LocaliseTree(SystemFiles(), root);
  return true;
}

bool LocaliseApplicationTemplates(HostVariableBlock& block) {
  PathText root;
  if (TemplateRoot(block, TemplateVariable::kMainDir, root) == RootResult::kRoot) (void)LocaliseTree(SystemFiles(), root);
  return true;
}

}  // namespace setupext
