// What a template tree may hold after a run of both passes that failed or was cut short at any
// point, and after a clean run that followed it: no page text is ever lost.
#pragma once

#include <string>
#include <vector>

#include "support/temp_tree.h"

namespace setupext::testing {

// Three pages in two folders (one of a few KB), "x.page", "d.pag.bak" (whose output is a page
// by its name too) and a stray "notes.tmp"; every text translates to itself a second time, so
// a page localised twice is still whole.
TreeSnapshot GuaranteeTree();
// The same tree after a clean run: every page French under its ".pag" name.
TreeSnapshot LocalisedTree(const TreeSnapshot& tree);

class TextGuarantee {
 public:
  explicit TextGuarantee(const TreeSnapshot& before);

  // Each page whole in English under its own name, or in French under its ".pag" name, or,
  // only when the page itself is gone, in French in its ".tmp" output. An output beside a page
  // still there may hold anything; every other file is as it was. Empty when this holds,
  // otherwise what broke it.
  std::string AfterAnyRun(const TreeSnapshot& after) const { return Check(after, false); }
  // As above, but no output takes the place of its page and no ".tmp" file is left except
  // beside its page.
  std::string AfterCleanRun(const TreeSnapshot& after) const { return Check(after, true); }

 private:
  struct Text {
    std::string name, final_name, output;  // output empty for a stray ".tmp" file
    std::string english, french;
  };
  std::string Check(const TreeSnapshot& after, bool clean) const;

  std::vector<Text> texts_;
  TreeSnapshot others_;
};

}  // namespace setupext::testing
