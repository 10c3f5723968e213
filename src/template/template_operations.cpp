#include "template/template_operations.h"

#include <optional>
#include <string>

#include "platform/files.h"
#include "template/template_tree.h"

namespace setupext {
namespace {

// The pages are all localised before any output takes a page's name, so a tree is never left
// with a page translated twice. The host names the tree in its ANSI code page; a name that
// does not convert names no tree.
void LocaliseAndCommit(const std::string& host_root) {
  const std::optional<std::string> root = FolderFromHostText(host_root);
  if (!root) return;
  LocaliseAndCommitTree(SystemFiles(), *root);
}

// The language changes nothing, but a value that does not fit means the table is not what the
// script meant: then nothing is touched.
bool LanguageFits(const HostVariableBlock& block) {
  TextVariable language;
  return GetHostVariable(block, "LANG", language) == HostRead::kValue;
}

}  // namespace

bool LocaliseTemplateFolder(HostVariableBlock& block) {
  TextVariable root;
  if (GetHostVariable(block, "TEMPLPATH", root) != HostRead::kValue) return true;
  if (!LanguageFits(block)) return true;
  LocaliseAndCommit(std::string(root.view()));
  return true;
}

bool LocaliseApplicationTemplates(HostVariableBlock& block) {
  TextVariable main_dir;
  if (GetHostVariable(block, "MAINDIR", main_dir) != HostRead::kValue) return true;
  if (!LanguageFits(block)) return true;
  const char separator = PathSeparator();
  // A MAINDIR ending in a separator gives a doubled one, as the installer's scripts expect.
  std::string root(main_dir.view());
  root.append(1, separator).append("Material").append(1, separator).append("Template").append(1, separator);
  LocaliseAndCommit(root);
  return true;
}

}  // namespace setupext
