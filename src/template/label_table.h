// English-to-French labels of the template pages and the replacement that applies them.
#pragma once

#include <array>
#include <span>
#include <string>
#include <string_view>

#include "text/replace.h"

namespace setupext {

struct Label {
  std::string_view source;
  std::string_view french;  // Windows-1252
};

// Applied in this order; matching is case-sensitive, so each form of a word has its entry.
inline constexpr std::array<Label, 15> LabelTable = {{
    {"home", "accueil"},
    {"next", "suivante"},
    {"back", "pr\xE9" "c\xE9" "dente"},
    {"link", "lien"},
    {"Home", "Accueil"},
    {"Next", "Suivante"},
    {"Back", "Pr\xE9" "c\xE9" "dente"},
    {"Link", "Lien"},
    {"Form", "Formulaire"},
    {"Sound", "Son"},
    {"Video", "Vid\xE9" "o"},
    {"HOME", "ACCUEIL"},
    {"NEXT", "SUIVANTE"},
    {"BACK", "PR\xC9" "C\xC9" "DENTE"},
    {"LINK", "LIEN"},
}};

// Applies each entry in table order, each to the line as the entries before it left it.
// `scratch` is the rebuilding space of ReplaceAll.
void ApplyLabelTable(std::string& line, std::string& scratch, std::span<const Label> table = LabelTable);
void ApplyLabelTable(std::string& line, std::span<const Label> table = LabelTable);

}  // namespace setupext
