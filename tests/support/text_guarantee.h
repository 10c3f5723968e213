// What a template tree may hold after a call that failed or was cut short at any point, and
// after a clean call that followed it: no page text is ever lost.
#pragma once

#include <string>
#include <vector>

#include "support/temp_tree.h"

#include "platform/files.h"

namespace setupext::testing {

// Pages in two folders (one of a few KB, one already French, one empty, one whose name needs
// the short leftover names), "x.page", a stray "notes.tmp", and files that are neither
// ("d.pag.bak", "mail.tmpl", "readme.txt").
// The facts of an ordinary folder of the test's own system: on Windows names fold case and are
// measured in UTF-16 units; elsewhere they are bytes that keep their case.
FolderFacts OrdinaryFacts();

TreeSnapshot GuaranteeTree();
// The tree after a clean call: every page French under its final name, the stray moved.
TreeSnapshot LocalisedTree(const TreeSnapshot& tree);

class TextGuarantee {
 public:
  explicit TextGuarantee(const TreeSnapshot& before);

  // Each page whole in English under its own name, or in French under its final name, or,
  // only when the page itself is gone, in French under its output's name or in English under
  // its aside name. An output beside its page may hold anything; every other file is as it
  // was. Empty when this holds, otherwise what broke it.
  std::string AfterAnyRun(const TreeSnapshot& after) const { return Check(after, false); }
  // Every page French at its final name, nothing of a cut call left.
  std::string AfterCleanRun(const TreeSnapshot& after) const { return Check(after, true); }

 private:
  struct Text {
    std::string name, final_name, output, aside, marker;  // aside empty for a stray or a long
                                                          // name, marker but for a long name
    std::string english, french;
    bool stray = false;
  };
  std::string Check(const TreeSnapshot& after, bool clean) const;

  std::vector<Text> texts_;
  TreeSnapshot others_;
};

}  // namespace setupext::testing
