#include "support/text_guarantee.h"

#include <set>

#include "template/page_localiser.h"
#include "template/template_tree.h"

namespace setupext::testing {
namespace {

bool IsPageName(const std::string& name) { return name.find(".pag") != std::string::npos; }
bool IsOutputName(const std::string& name) { return name.find(".tmp") != std::string::npos; }

std::string InFolderOf(const std::string& path, const std::string& extension) {
  const std::size_t slash = path.rfind('/') + 1;  // 0 at the root
  return path.substr(0, slash) + ReplaceExtension(path.substr(slash), extension);
}

std::string BaseName(const std::string& path) { return path.substr(path.rfind('/') + 1); }

const std::string* Holds(const TreeSnapshot& tree, const std::string& path) {
  const auto found = tree.find(path);
  return found == tree.end() ? nullptr : &found->second;
}

bool Holds(const TreeSnapshot& tree, const std::string& path, const std::string& bytes) {
  const std::string* held = Holds(tree, path);
  return held && *held == bytes;
}

}  // namespace

TreeSnapshot GuaranteeTree() {
  std::string long_page = "Title: Input home\r\nPAGE {\r\nBack Next\r\n";
  for (int line = 0; long_page.size() < 5000; ++line)
    long_page += line % 3 ? "Input " + std::to_string(line) + " PowerByTORVEKEN\r\n" : "\xFE Home Sound\r\n";
  return {
      {"a.pag", "PAGE {\nHome\nInput \xFE" "back\n"},
      {"x.page", "head\nPAGE {\nVideo\nInput\n"},
      {"notes.tmp", "user notes\n"},
      {"readme.txt", "Input Home\n"},
      {"sub/b.pag", long_page},
      {"sub/c.pag", ""},
      {"sub/d.pag.bak", "PAGE {\nLink\n"},
  };
}

TreeSnapshot LocalisedTree(const TreeSnapshot& tree) {
  TreeSnapshot localised;
  for (const auto& [path, bytes] : tree) {
    const std::string& name = BaseName(path);
    if (IsPageName(name)) localised[InFolderOf(path, ".pag")] = LocalisePageText(bytes);
    else if (IsOutputName(name)) localised[InFolderOf(path, ".pag")] = bytes;
    else localised[path] = bytes;
  }
  return localised;
}

TextGuarantee::TextGuarantee(const TreeSnapshot& before) {
  for (const auto& [path, bytes] : before) {
    const std::string name = BaseName(path);
    if (IsPageName(name)) texts_.push_back({path, InFolderOf(path, ".pag"), InFolderOf(path, ".tmp"), bytes, LocalisePageText(bytes)});
    else if (IsOutputName(name)) texts_.push_back({path, InFolderOf(path, ".pag"), "", bytes, bytes});
    else others_[path] = bytes;
  }
}

std::string TextGuarantee::Check(const TreeSnapshot& after, bool clean) const {
  std::set<std::string> accounted;
  for (const Text& text : texts_) {
    const bool present = after.count(text.name) > 0;
    const bool english = Holds(after, text.name, text.english);
    // A stray ".tmp" file may stay under its name until the commit pass has moved it.
    const bool stray = text.output.empty();
    const bool unmoved = english && (!stray || !clean);
    const bool french = Holds(after, text.final_name, text.french) && (text.final_name == text.name || !present);
    const bool pending = !clean && !present && !stray && Holds(after, text.output, text.french);
    if (!unmoved && !french && !pending) return text.name + ": its text is lost";
    if (unmoved) accounted.insert(text.name);
    if (french) accounted.insert(text.final_name);
    if (pending || (present && !stray)) accounted.insert(text.output);
  }
  for (const auto& [path, bytes] : after) {
    if (accounted.count(path)) continue;
    if (!Holds(others_, path, bytes)) return path + ": not expected here";
  }
  for (const auto& [path, bytes] : others_) {
    if (!Holds(after, path, bytes)) return path + ": changed or gone";
  }
  return "";
}

}  // namespace setupext::testing
