#include "support/text_guarantee.h"

#include <set>

#include "support/page_text_in_memory.h"
#include "template/folder_plan.h"

namespace setupext::testing {
namespace {

std::string BaseName(const std::string& path) { return path.substr(path.rfind('/') + 1); }

std::string FinalOf(const std::string& path) {
  const std::size_t slash = path.rfind('/') + 1;  // 0 at the root
  PathText name;
  if (!AppendFinalName(std::string_view(path).substr(slash), name)) return "";
  return path.substr(0, slash) + std::string(name.view());
}

std::string Beside(const std::string& path, bool marker) {
  const std::size_t slash = path.rfind('/') + 1;
  PathText name;
  const std::string_view page = std::string_view(path).substr(slash);
  const FolderFacts facts;  // the crash model's folders
  if (marker ? !NeedsShortNames(page, facts) || !AppendMarkerName(page, facts, name) : !AppendOutputName(page, facts, name))
    return "";
  return path.substr(0, slash) + std::string(name.view());
}

bool Holds(const TreeSnapshot& tree, const std::string& path, const std::string& bytes) {
  const auto found = tree.find(path);
  return found != tree.end() && found->second == bytes;
}

}  // namespace

FolderFacts OrdinaryFacts() {
  FolderFacts facts;
  const bool windows = PathSeparator() == '\\';
  facts.case_sensitive = !windows;
  facts.name_unit = windows ? NameUnit::kUtf16 : NameUnit::kBytes;
  return facts;
}

TreeSnapshot GuaranteeTree() {
  std::string long_page = "Title: Input home\r\nPAGE {\r\nBack Next\r\n";
  for (int line = 0; long_page.size() < 5000; ++line)
    long_page += line % 3 ? "Input " + std::to_string(line) + " PowerByTORVEKEN\r\n" : "\xFE Home Sound Form\r\n";
  return {
      {"a.pag", "PAGE {\nHome\nInput \xFE" "back\n"},
      {"x.page", "head\nPAGE {\nVideo\nInput\n"},
      {"notes.tmp", "user notes\n"},
      {"mail.tmpl", "Input Home\n"},
      {"readme.txt", "Input Home\n"},
      {"sub/b.pag", long_page},
      {"sub/c.pag", ""},
      {"sub/d.pag.bak", "PAGE {\nLink\n"},
      {"sub/fr.pag", "PAGE {\nFormulaire Accueil\nChamp\n"},
      {"sub/" + std::string(245, 'L') + ".pag", "PAGE {\nNext\nInput\n"},
  };
}

TreeSnapshot LocalisedTree(const TreeSnapshot& tree) {
  TreeSnapshot localised;
  for (const auto& [path, bytes] : tree) {
    const std::string name = BaseName(path);
    if (IsPageName(name)) localised[FinalOf(path)] = TranslatedPage(bytes);
    else if (IsStrayName(name)) localised[FinalOf(path)] = TranslatedPage(bytes);
    else localised[path] = bytes;
  }
  return localised;
}

TextGuarantee::TextGuarantee(const TreeSnapshot& before) {
  for (const auto& [path, bytes] : before) {
    const std::string name = BaseName(path);
    if (IsPageName(name) || IsStrayName(name)) {
      const bool aside = name.ends_with(".pag") && !NeedsShortNames(name, FolderFacts());
      texts_.push_back({path, FinalOf(path), Beside(path, false), aside ? path + std::string(kAsideSuffix) : "",
                        Beside(path, true), bytes, TranslatedPage(bytes), IsStrayName(name)});
    } else {
      others_[path] = bytes;
    }
  }
}

std::string TextGuarantee::Check(const TreeSnapshot& after, bool clean) const {
  std::set<std::string> accounted;
  for (const Text& text : texts_) {
    const bool present = after.count(text.name) > 0;
    const bool stray = text.stray;
    // A page that needs no change may stay at its own name; a stray only until it is moved.
    const bool english = Holds(after, text.name, text.english) &&
                         (!clean || (!stray && text.english == text.french && text.name == text.final_name));
    const bool french = Holds(after, text.final_name, text.french) && (text.final_name == text.name || !present);
    const bool pending = !clean && !present && Holds(after, text.output, text.french);
    const bool aside = !clean && !stray && !present && !text.aside.empty() && Holds(after, text.aside, text.english);
    if (!english && !french && !pending && !aside) return text.name + ": its text is lost or not where it belongs";
    if (english) accounted.insert(text.name);
    if (french) accounted.insert(text.final_name);
    if (!clean) {
      // Whatever a cut call left beside the page's text is the next call's to finish; a long
      // name's marker must be there while its output waits without its page.
      if (pending || present || french) accounted.insert(text.output);
      if (french || pending || aside) accounted.insert(text.aside);
      if (pending && !text.marker.empty() && !after.count(text.marker)) return text.name + ": its output waits without its marker";
      accounted.insert(text.marker);
    }
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
