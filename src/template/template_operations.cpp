#include "template/template_operations.h"

#include <optional>
#include <string>

#include "platform/files.h"
#include "template/template_tree.h"

namespace setupext {
namespace {

// The host names the tree in its ANSI code page; a name that
// does not convert names no tree.
void LocaliseAndCommit(const std::string& host_root) {
  PathText root;
  if (!FolderFromHostText(host_root, root)) return;
  (void)LocaliseTree(SystemFiles(), root);
}

// The language changes nothing, but a value that does not fit means the table is not what the
// script meant: then nothing is touched.
bool LanguageFits(const HostVariableBlock& block) {
  std::string language;
  return GetHostVariable(block, "LANG", &language, kTextVariableBuffer) == HostRead::kValue;
}

}  // namespace

bool LocaliseTemplateFolder(HostVariableBlock& block) {
  std::string root;
  if (GetHostVariable(block, "TEMPLPATH", &root, kTextVariableBuffer) != HostRead::kValue) return true;
  if (!LanguageFits(block)) return true;
  LocaliseAndCommit(root);
  return true;
}

bool LocaliseApplicationTemplates(HostVariableBlock& block) {
  std::string main_dir;
  if (GetHostVariable(block, "MAINDIR", &main_dir, kTextVariableBuffer) != HostRead::kValue) return true;
  if (!LanguageFits(block)) return true;
  const char separator = PathSeparator();
  // A MAINDIR ending in a separator gives a doubled one, as the installer's scripts expect.
  std::string root = main_dir;
  root.append(1, separator).append("Material").append(1, separator).append("Template").append(1, separator);
  LocaliseAndCommit(root);
  return true;
}

}  // namespace setupext
